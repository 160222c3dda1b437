// RotatedSet.h - a log and the rotated files beside it (LOG.N[.gz] ...
// LOG.1, LOG.O, LOG) read as one history, oldest first, then followed in LOG.
#ifndef LOGREAD_ROTATEDSET_H
#define LOGREAD_ROTATEDSET_H

#include <string>
#include <vector>

#include "logread/LogReader.h"
#include "logread/LogSink.h"

class RotatedSet {
public:
  explicit RotatedSet(std::string path, int level = 0);

  // The rotated parts beside `path` that exist, oldest first (not `path`).
  static std::vector<std::string> parts_of(const std::string &path);

  // The first read gives the parts, then the log itself, after one
  // sink.restart(); later reads are the log's own, as LogReader follows it,
  // except that while the log has given no line (missing, say, until the
  // server starts it) the parts stand: its first lines follow them.
  // A part that cannot be read is skipped and named in notes(). The status
  // is the log's; when only the log cannot be read, the parts still stand
  // (kind Fresh, reason saying why the log could not be read).
  LogStatus read(LogSink &sink);
  // "F: why" for each part skipped, from the first read.
  const std::vector<std::string> &notes() const { return notes_; }
  // How many parts the first read gave besides the log.
  size_t parts_read() const { return parts_read_; }
  LogReader &live() { return live_; }
  // Where the line being given starts in the file it comes from (a part, or
  // the log); meaningful while LogSink::line() runs.
  off_t offset() const { return reading_ ? reading_->offset() : live_.offset(); }
  // Whether a read has found the log itself (not only its parts).
  bool found() const { return found_; }

private:
  std::string path_;
  int level_;
  LogReader live_;
  bool first_ = true;
  size_t parts_read_ = 0;
  bool found_ = false;
  bool live_given_ = false;  // the log itself gave a line since the last restart
  std::vector<std::string> notes_;
  const LogReader *reading_ = nullptr;  // the part being read, during the first read
};

#endif
