// LogIndex.h - what the whole log holds, at every level, kept up to date as
// the log grows: lines per level, the error lines a caller's test calls
// unknown, the newest line's time, and where each job's lines are.
#ifndef LOGREAD_LOGINDEX_H
#define LOGREAD_LOGINDEX_H

#include <stdint.h>
#include <sys/types.h>
#include <time.h>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "logread/LogReader.h"
#include "logread/LogSource.h"

class LogIndex {
public:
  // Judges a line of the Errors level (X, A, C, E; its first piece, newline
  // kept): true counts it among the unknown ones.
  using Unknown = std::function<bool(const char *line, size_t len)>;

  explicit LogIndex(Unknown unknown = nullptr);
  ~LogIndex();
  LogIndex(const LogIndex &) = delete;
  LogIndex &operator=(const LogIndex &) = delete;

  // Brings the index up to date with the file at `path`: reads only what was
  // appended when the file only grew, nothing when it is unchanged, all of it
  // otherwise (a file that cannot be read leaves an empty index). A file
  // rotated away (renamed, another in its place) stays indexed, as a
  // follow keeps its lines, and the new one's lines are added. Gives what
  // the read found.
  const LogStatus &update(const std::string &path);
  // The same for any source (a rotated set, a journal: their error lines are
  // judged as they are read, and their jobs' lines kept as read).
  const LogStatus &update(const SourceRef &ref);
  const LogStatus &status() const { return status_; }

  // Lines at the filter level (0, 1 or 2), a long line counted once.
  size_t lines(int level) const { return level >= 0 && level <= 2 ? count_[level] : 0; }
  // Error lines the test called unknown, of those judged. A plain file's
  // error lines are judged when asked, `most` at a time, so that a caller
  // can spread a big log's over idle moments; a compressed log's as it is
  // read. Gives how many are left to judge.
  size_t unknown() const { return unknown_; }
  size_t judge(size_t most = (size_t)-1);
  size_t unjudged() const { return pending_.size() - judged_; }
  // The time of the newest line that has one; 0 when none does. And that
  // time as the line writes it ("08/Dec/2026:12:39:21 +0000"), "" for none.
  time_t newest() const;
  std::string newest_field() const { return newest() ? newest_.substr(3, 26) : ""; }

  // The lines of job N ("[Job N] " at the message part), at every level,
  // oldest first, each as its first piece (a long line's later pieces are
  // left out), read back from the file the index was brought up to date
  // with (those of a file rotated away were read when it went); `most`
  // keeps the newest that many. Empty for a job with no lines.
  std::vector<std::string> job_lines(int job, size_t most = (size_t)-1) const;
  // How many lines job N has.
  size_t job_size(int job) const;

private:
  struct Place {
    uint64_t offset;  // of the line's first piece in the (decompressed) file; or of kept_
    uint32_t len;     // that piece's length
    bool kept;        // of a file rotated away: its text is kept_[offset]
  };
  struct Sink;
  Unknown unknown_test_;
  LogSource source_;
  LogStatus status_;
  size_t count_[3] = {0, 0, 0};
  size_t unknown_ = 0;
  std::unordered_map<int, std::vector<Place>> jobs_;
  std::unordered_map<int, std::vector<std::string>> job_texts_;  // a source not a file alone
  std::vector<Place> pending_;  // error lines to judge, from judged_ on
  size_t judged_ = 0;
  std::string newest_;  // the start of the newest line with a time field
  // What the last line given added, for taking it back when it comes again
  // longer; whether the last thing given was a piece of a long line.
  struct Last {
    bool counted = false;
    int level = 3;  // the lowest level that lists it
    bool unknown = false;
    bool pending = false;  // it waits to be judged
    int job = 0;
    bool timed = false;  // it has a time field, which newest_ now holds
    std::string newest_before;
  } last_;
  bool last_piece_ = false;
  bool reader_compressed_ = false;  // the file being read is compressed
  bool texts_kept_ = false;  // nothing can be read back by its place: a rotated set, a journal
  bool last_judged_unknown_ = false;
  int fd_ = -1;  // the plain file the places are in, open since its start was read
  std::vector<std::string> kept_;  // job lines of files rotated away
  static bool is_gzip(const std::string &path);
  void clear();
  void settle();
  void judge_from(int fd, size_t most);
  void add(const char *text, size_t len, off_t offset);
  void take_back();
};

#endif
