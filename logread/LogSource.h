// LogSource.h - the one source a view of the log reads, whatever it is: a
// log file alone, a log with its rotated parts as one history, or the
// server's journal entries; each line given with a place that tells it from
// the others of the same read.
#ifndef LOGREAD_LOGSOURCE_H
#define LOGREAD_LOGSOURCE_H

#include <sys/types.h>
#include <time.h>

#include <memory>
#include <string>
#include <vector>

#include "logread/JournalSource.h"
#include "logread/LogLocation.h"
#include "logread/LogReader.h"
#include "logread/LogSink.h"
#include "logread/RotatedSet.h"

// Which source to read, as a command line, a name picked by hand or the
// configuration names it.
struct SourceRef {
  enum Kind {
    File,             // `path`, with the rotated parts beside it unless !rotated
    Journal,          // this host's system journal
    JournalFile,      // the journal file `path`
    JournalDirectory  // the directory of journal files `path`
  } kind = File;
  std::string path;
  std::string host;     // journals: only this host's entries; "" every host's
  bool rotated = true;  // File: read LOG.N[.gz] ... LOG.O before LOG

  bool journal() const { return kind != File; }
  // "the system journal", "the journal file F", "the journal directory D",
  // or the file's path.
  std::string name() const;
  bool operator==(const SourceRef &o) const {
    return kind == o.kind && path == o.path && host == o.host && rotated == o.rotated;
  }
  bool operator!=(const SourceRef &o) const { return !(*this == o); }
};

// What a name picked by hand means: a directory is a directory of journal
// files, a file ending in ".journal" (or ".journal~") a journal file,
// anything else a log (with its rotated parts when `rotated`). The host and
// `rotated` are kept for the kinds they apply to.
SourceRef ref_for_path(const std::string &path, bool rotated = true, const std::string &host = "");
// Where the server's configuration says it writes: its file, or the system
// journal.
SourceRef ref_for(const LogLocation &where, bool rotated = true, const std::string &host = "");

class LogSource {
public:
  explicit LogSource(SourceRef ref = SourceRef(), int level = 0);
  LogSource(const LogSource &) = delete;
  LogSource &operator=(const LogSource &) = delete;

  const SourceRef &ref() const { return ref_; }
  // A change of either forgets the read mark: the next read is fresh.
  void ref(const SourceRef &s);
  int level() const { return level_; }
  void level(int l);

  // As LogReader::read: everything at first (after sink.restart()), then
  // what is new. A rotated set's later reads, and a journal's, go on where
  // the last one ended.
  LogStatus read(LogSink &sink);
  // Whether a read would find anything new: the log file's own test
  // (LogReader::changed, *mtime set as it sets it); for a journal, whether
  // its change notification fired since the last read (true before the
  // first read and while it cannot be opened).
  bool changed(time_t *mtime = nullptr);
  void forget();

  // Where the piece being given stands, meaningful while LogSink::line()
  // runs: a file alone gives its offset; a rotated set one offset over its
  // files as read one after the other; a journal the piece's number in the
  // read since the last restart. The same source read again afresh gives
  // each line the same place.
  off_t offset() const { return file_ ? file_->offset() : place_; }
  // A file alone, whose places are its bytes' offsets (a compressed one's in
  // its decompressed bytes).
  bool plain_file() const { return file_ != nullptr; }
  // The descriptor of a journal's change notification, for an event loop to
  // watch (then changed() and read()); -1 for files or a journal that
  // cannot be opened.
  int fd();
  // A rotated set's parts that could not be read, "F: why".
  std::vector<std::string> notes() const;
  // How many rotated parts the first read gave besides the log.
  size_t parts_read() const { return set_ ? set_->parts_read() : 0; }

private:
  struct Placed;
  SourceRef ref_;
  int level_;
  std::unique_ptr<LogReader> file_;
  std::unique_ptr<RotatedSet> set_;
  std::unique_ptr<JournalSource> journal_;
  bool journal_changed_ = true;
  bool set_read_ = false;
  off_t place_ = 0;
  // A rotated set: where the file being read starts in the one offset, and
  // the end of the last piece given in it; a place before that end starts
  // the next file.
  off_t base_ = 0, last_ = 0, last_end_ = 0;
  void build();
};

#endif
