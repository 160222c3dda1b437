// BackwardReader.cxx - the log read from its end, block by block, as tac does.
#include "logread/BackwardReader.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/LogLine.h"
#include "base/open_regular.h"

namespace {
const size_t kBlock = 1 << 16;
const char kBom[] = "\xEF\xBB\xBF";

bool pread_all(int fd, char *dst, size_t len, long long at) {
  while (len) {
    ssize_t n = pread(fd, dst, len, (off_t)at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;  // the file shrank under us
      return false;
    }
    dst += n, len -= (size_t)n, at += n;
  }
  return true;
}
}  // namespace

BackwardReader::~BackwardReader() {
  if (fd_ >= 0) close(fd_);
}

bool BackwardReader::open() {
  struct stat st;
  fd_ = open_regular(path_.c_str(), &st);
  if (fd_ < 0) return false;
  size_ = (long long)st.st_size;
  char head[3] = {0, 0, 0};
  size_t got = size_ < 3 ? (size_t)size_ : 3;
  if (got && !pread_all(fd_, head, got, 0)) return false;
  if (got >= 2 && (unsigned char)head[0] == 0x1f && (unsigned char)head[1] == 0x8b) {
    errno = EINVAL;
    return false;
  }
  // A byte-order mark at the start is no part of the first line.
  base_ = got == 3 && !memcmp(head, kBom, 3) ? 3 : 0;
  return true;
}

// The line [from, to) in pieces of kPieceBytes from its start; each ends at
// its first NUL byte, as the forward reader gives it.
bool BackwardReader::line(long long from, long long to, LogSink &sink) {
  text_.resize((size_t)(to - from));
  if (from >= held_at_ && to <= held_at_ + (long long)held_.size()) {
    // Most lines lie in the block at hand: no second read.
    memcpy(&text_[0], held_.data() + (from - held_at_), text_.size());
  } else if (!pread_all(fd_, &text_[0], text_.size(), from)) {
    error_ = errno;
    return false;
  }
  for (size_t at = 0; at < text_.size(); at += kPieceBytes) {
    size_t len = text_.size() - at < kPieceBytes ? text_.size() - at : kPieceBytes;
    char saved = text_[at + len];  // text_[size()] is the string's own NUL
    text_[at + len] = 0;
    sink.line(&text_[at], strnlen(&text_[at], len), at > 0);
    text_[at + len] = saved;
  }
  return true;
}

bool BackwardReader::scan(LogSink &sink, bool (*more)(void *), void *ctx) {
  if (fd_ < 0) return false;
  std::vector<char> &block = held_;
  long long end = size_, pos = size_;  // end: where the line being sought ends
  while (pos > base_) {
    long long start = pos - (long long)kBlock > base_ ? pos - (long long)kBlock : base_;
    block.resize((size_t)(pos - start));
    held_at_ = start;
    if (!pread_all(fd_, block.data(), block.size(), start)) {
      error_ = errno;
      return false;
    }
    for (long long q = pos - 1; q >= start; q--) {
      if (block[(size_t)(q - start)] != '\n' || q + 1 == end) continue;
      if (!line(q + 1, end, sink)) return false;
      end = q + 1;
      if (!more(ctx)) return true;
    }
    pos = start;
  }
  if (end > base_ && line(base_, end, sink)) more(ctx);
  return error_ == 0;
}
