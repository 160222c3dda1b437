// BackwardReader.h - reads a plain log file from its end in blocks and gives
// its lines newest first, each cut into the pieces the forward reader gives.
#ifndef LOGREAD_BACKWARDREADER_H
#define LOGREAD_BACKWARDREADER_H

#include <string>
#include <vector>

#include "logread/LogSink.h"

// Memory stays at a block and the longest line, whatever the file's size.
// Only plain files: a compressed one is for LogReader, which reads it whole.
class BackwardReader {
public:
  explicit BackwardReader(std::string path) : path_(std::move(path)) {}
  // False (errno set) when the file is not a readable regular file or holds
  // gzip data; nothing was given then. Otherwise every line goes to the sink,
  // newest first, its pieces in order, until `more` (when given) says stop
  // after a line. A read error midway ends the reading: error() tells it.
  bool open();
  template <class More>
  void read(LogSink &sink, More &&more);
  void read(LogSink &sink) { read(sink, [] { return true; }); }
  int error() const { return error_; }
  ~BackwardReader();
  BackwardReader(const BackwardReader &) = delete;
  BackwardReader &operator=(const BackwardReader &) = delete;

private:
  bool line(long long from, long long to, LogSink &sink);
  bool scan(LogSink &sink, bool (*more)(void *), void *ctx);
  std::string path_, text_;
  std::vector<char> held_;  // the block read last, from file offset held_at_
  long long held_at_ = 0;
  int fd_ = -1, error_ = 0;
  long long size_ = 0, base_ = 0;
};

template <class More>
void BackwardReader::read(LogSink &sink, More &&more) {
  scan(sink, [](void *m) { return (*static_cast<More *>(m))(); }, &more);
}

#endif
