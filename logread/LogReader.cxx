// LogReader.cxx - cutting the log into lines, filtering them by level, and
// telling a file that only grew from one that was replaced or rewritten.
#include "logread/LogReader.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include <zlib.h>

#include "logread/open_regular.h"

namespace {

const size_t kChunk = 1 << 20;   // bytes asked of the file at a time
const size_t kHead = 256;        // first bytes kept to recognise the file
const size_t kTail = 64;         // bytes kept from before the end of a read
const char kBom[] = "\xEF\xBB\xBF";

ssize_t pread_full(int fd, char *buf, size_t len, off_t at) {
  size_t got = 0;
  while (got < len) {
    ssize_t n = pread(fd, buf + got, len - got, at + (off_t)got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += (size_t)n;
  }
  return (ssize_t)got;
}

void fail(LogStatus &status, int error) {
  status.kind = LogStatus::Failed;
  status.error = error;
  if (error == EISDIR)
    status.reason = "is a directory";
  else if (error == EINVAL)
    status.reason = "is not a regular file";
  else
    status.reason = strerror(error);
}

bool same_time(const struct timespec &a, const struct timespec &b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Where a scan stands among the file's lines: inside a long line (after a
// piece of it without its newline), and whether the level took that line.
struct LineState {
  bool inside = false, taken = false;
};

// What a scan found: where its last complete line or piece ended, where its
// bytes ended, the line it ended inside of, and whether the unfinished line
// after them went to the sink.
struct Scan {
  off_t committed = 0, end = 0;
  LineState state;
  bool unfinished = false;
  size_t added = 0;
  int error = 0;
};

// Cuts what fill() gives, from file offset `from`, into pieces of at most
// kPiece bytes ending at a newline, and gives the sink those of the lines the
// level takes; `state` says whether `from` lies inside a line. A byte-order
// mark at offset 0 is skipped. `at` follows the offset of the piece given.
// When head and tail are given, they collect the first kHead bytes of the
// file and the last kTail bytes read, from the very bytes the lines were cut
// from.
template <class Fill>
Scan scan(Fill &&fill, off_t from, LineState state, int level, LogSink &sink, off_t &at,
          std::string *head, std::string *tail) {
  bool take[256];
  for (int c = 0; c < 256; c++) take[c] = LogReader::accepts(level, (unsigned char)c);
  Scan s;
  // Not a vector: zeroing a megabyte would cost a poll more than its read.
  std::unique_ptr<char[]> owned(new char[kChunk + LogReader::kPiece + 1]);
  char *buf = owned.get();
  // A piece continues the line it is inside of and goes with it; any other
  // starts a line, which its first byte lets through or not.
  auto give = [&](char *p, size_t len, off_t where) {
    bool continued = state.inside;
    if (!continued) state.taken = take[(unsigned char)p[0]];
    if (!state.taken) return false;
    char saved = p[len];
    p[len] = 0;
    at = where;
    sink.line(p, strnlen(p, len), continued);
    p[len] = saved;
    s.added++;
    return true;
  };

  size_t have = 0;          // bytes in buf not yet cut
  off_t pos = from;         // file offset of buf[0]
  bool at_start = from == 0;
  for (;;) {
    ssize_t n = fill(buf + have, kChunk);
    if (n < 0) {
      s.error = errno;
      break;
    }
    if (n == 0) break;
    off_t got_at = pos + (off_t)have;
    if (head && (size_t)got_at <= head->size() && head->size() < kHead &&
        (size_t)(got_at + n) > head->size()) {
      size_t upto = (size_t)(got_at + n) < kHead ? (size_t)(got_at + n) : kHead;
      head->append(buf + have + (head->size() - (size_t)got_at), upto - head->size());
    }
    if (tail) {
      if ((size_t)n >= kTail) {
        tail->assign(buf + have + n - kTail, kTail);
      } else {
        tail->append(buf + have, (size_t)n);
        if (tail->size() > kTail) tail->erase(0, tail->size() - kTail);
      }
    }
    have += (size_t)n;

    char *p = buf, *end = buf + have;
    if (at_start) {
      // Wait for three bytes before deciding on a byte-order mark.
      if (have < 3 && !memcmp(buf, kBom, have)) continue;
      if (!memcmp(buf, kBom, 3)) p += 3;
      at_start = false;
    }
    for (;;) {
      size_t avail = (size_t)(end - p);
      size_t lim = avail < LogReader::kPiece ? avail : LogReader::kPiece;
      char *nl = (char *)memchr(p, '\n', lim);
      size_t len;
      if (nl)
        len = (size_t)(nl - p) + 1;
      else if (avail >= LogReader::kPiece)
        len = LogReader::kPiece;
      else
        break;
      give(p, len, pos + (p - buf));
      state.inside = !nl;
      p += len;
    }
    pos += p - buf;
    have = (size_t)(end - p);
    memmove(buf, p, have);
  }
  // An unfinished last line is given as it stands; the next read withdraws
  // it and starts where it starts, inside its line or not, as here.
  s.committed = pos;
  s.end = pos + (off_t)have;
  s.state = state;
  if (have) s.unfinished = give(buf, have, pos);
  return s;
}

}  // namespace

LogReader::LogReader(std::string path, int level) : path_(std::move(path)), level_(level) {}

void LogReader::path(std::string p) {
  if (p != path_) forget();
  path_ = std::move(p);
}

void LogReader::level(int l) {
  if (l != level_) forget();
  level_ = l;
}

bool LogReader::accepts(int level, unsigned char c) {
  switch (level) {
    case 0: return c && strchr("XACE", c);
    case 1: return c && strchr("XACEWNI", c);
    case 2: return true;
    default: return false;
  }
}

// The file is the one read last time with bytes added at its end: the same
// file, no shorter, the same first and last bytes read, and, when it has not
// grown, not written since (a rewrite in place keeps the size, not the time).
bool LogReader::only_grown(int fd, const struct stat &st) const {
  if (!valid_ || compressed_ || st.st_dev != dev_ || st.st_ino != ino_ || st.st_size < end_)
    return false;
  if (st.st_size == end_ && !same_time(st.st_mtim, mtime_)) return false;
  char tail[kTail], head[kHead];
  return pread_full(fd, tail, tail_.size(), end_ - (off_t)tail_.size()) == (ssize_t)tail_.size() &&
         !memcmp(tail, tail_.data(), tail_.size()) &&
         pread_full(fd, head, head_.size(), 0) == (ssize_t)head_.size() &&
         !memcmp(head, head_.data(), head_.size());
}

void LogReader::remember_failure(int error) {
  valid_ = false;
  failed_ = true;
  fail_error_ = error;
  fail_seen_ = stat(path_.c_str(), &fail_st_) == 0;
}

bool LogReader::changed(time_t *mtime) {
  struct stat st;
  if (stat(path_.c_str(), &st) != 0) {
    int error = errno;
    return !(failed_ && !fail_seen_ && fail_error_ == error);
  }
  if (mtime) *mtime = st.st_mtime;
  if (failed_)
    return !(fail_seen_ && st.st_dev == fail_st_.st_dev && st.st_ino == fail_st_.st_ino &&
             st.st_mode == fail_st_.st_mode && st.st_size == fail_st_.st_size &&
             same_time(st.st_mtim, fail_st_.st_mtim) && same_time(st.st_ctim, fail_st_.st_ctim));
  if (!valid_ || st.st_dev != dev_ || st.st_ino != ino_ || !same_time(st.st_mtim, mtime_) ||
      st.st_size != (compressed_ ? size_ : end_))
    return true;
  // The same by its stat: only its bytes can tell, as a read would compare them.
  struct stat now;
  int fd = open_regular(path_.c_str(), &now);
  if (fd < 0) return true;
  bool same = compressed_ ? gzip_unchanged(fd, now) : only_grown(fd, now) && now.st_size == end_;
  close(fd);
  return !same;
}

LogStatus LogReader::read(LogSink &sink) {
  LogStatus status;
  struct stat st;
  int fd = open_regular(path_.c_str(), &st);
  if (fd < 0) {
    int error = errno;
    fail(status, error);
    remember_failure(error);
    sink.restart();
    return status;
  }
  failed_ = false;
  unsigned char magic[2];
  if (pread_full(fd, (char *)magic, 2, 0) == 2 && magic[0] == 0x1f && magic[1] == 0x8b) {
    status = read_gzip(fd, st, sink);
    close(fd);
    return status;
  }

  off_t from = 0;
  LineState state;
  if (only_grown(fd, st)) {
    if (st.st_size == end_) {
      close(fd);
      status.kind = LogStatus::Unchanged;
      return status;
    }
    // The unfinished line is read again with what follows it; a long line
    // goes on from its last piece.
    if (unfinished_) sink.drop_unfinished();
    from = committed_;
    state.inside = inside_;
    state.taken = inside_taken_;
    // The tail then ends where this read starts.
    size_t again = (size_t)(end_ - from);
    tail_.resize(again < tail_.size() ? tail_.size() - again : 0);
    status.kind = LogStatus::Appended;
  } else {
    sink.restart();
    head_.clear();
    tail_.clear();
    status.kind = LogStatus::Fresh;
  }

  off_t at = from;
  Scan s = scan(
      [&](char *dst, size_t max) {
        ssize_t n;
        do n = pread(fd, dst, max, at);
        while (n < 0 && errno == EINTR);
        if (n > 0) at += n;
        return n;
      },
      from, state, level_, sink, at_, &head_, &tail_);
  status.added = s.added;
  committed_ = s.committed;
  end_ = s.end;
  unfinished_ = s.unfinished;
  inside_ = s.state.inside;
  inside_taken_ = s.state.taken;
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  size_ = st.st_size;
  mtime_ = st.st_mtim;
  compressed_ = false;
  valid_ = true;
  // Cut short while it was read (a copy-truncate): the next read starts over.
  struct stat now;
  if (fstat(fd, &now) != 0 || now.st_size < end_)
    valid_ = false;
  else if (now.st_size == end_ && end_ != st.st_size)
    mtime_ = now.st_mtim;  // it grew while read; this is the time of what was read
  close(fd);
  if (s.error) {
    fail(status, s.error);
    status.added = s.added;
    valid_ = false;
  }
  return status;
}

// The compressed log read last, unchanged: its stat and its first and last
// bytes (the last hold the checksum) tell a rewrite within the same clock tick.
bool LogReader::gzip_unchanged(int fd, const struct stat &st) const {
  if (!(valid_ && compressed_ && st.st_dev == dev_ && st.st_ino == ino_ && st.st_size == size_ &&
        same_time(st.st_mtim, mtime_)))
    return false;
  char head[kHead], tail[kTail];
  size_t head_len = (size_t)pread_full(fd, head, kHead, 0);
  off_t tail_at = st.st_size > (off_t)kTail ? st.st_size - (off_t)kTail : 0;
  size_t tail_len = (size_t)pread_full(fd, tail, kTail, tail_at);
  return head_.compare(0, std::string::npos, head, head_len) == 0 &&
         tail_.compare(0, std::string::npos, tail, tail_len) == 0;
}

// A compressed log is read whole; it does not grow, so an unchanged file is
// not read again.
LogStatus LogReader::read_gzip(int fd, const struct stat &st, LogSink &sink) {
  LogStatus status;
  status.compressed = true;
  if (gzip_unchanged(fd, st)) {
    status.kind = LogStatus::Unchanged;
    status.damaged = damaged_;
    status.reason = damaged_reason_;
    return status;
  }
  sink.restart();
  valid_ = false;
  char head[kHead], tail[kTail];
  size_t head_len = (size_t)pread_full(fd, head, kHead, 0);
  off_t tail_at = st.st_size > (off_t)kTail ? st.st_size - (off_t)kTail : 0;
  size_t tail_len = (size_t)pread_full(fd, tail, kTail, tail_at);
  int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  gzFile gz = own < 0 ? nullptr : gzdopen(own, "rb");
  if (!gz) {
    if (own >= 0) close(own);
    fail(status, errno ? errno : ENOMEM);
    status.compressed = true;
    return status;
  }
  gzbuffer(gz, 1 << 17);
  Scan s = scan(
      [&](char *dst, size_t max) -> ssize_t {
        int n = gzread(gz, dst, (unsigned)max);
        if (n < 0) errno = EIO;
        return n;
      },
      0, LineState(), level_, sink, at_, nullptr, nullptr);
  int zerr = Z_OK;
  const char *message = gzerror(gz, &zerr);
  status.kind = LogStatus::Fresh;
  status.added = s.added;
  damaged_ = zerr != Z_OK;
  damaged_reason_.clear();
  if (damaged_) {
    damaged_reason_ = "compressed data is damaged";
    if (zerr == Z_ERRNO)
      damaged_reason_ += std::string(" (") + strerror(errno) + ")";
    else if (message && *message)
      damaged_reason_ += std::string(" (") + message + ")";
  }
  gzclose(gz);
  status.damaged = damaged_;
  status.reason = damaged_reason_;
  compressed_ = true;
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  size_ = st.st_size;
  mtime_ = st.st_mtim;
  end_ = committed_ = 0;
  unfinished_ = inside_ = false;
  head_.assign(head, head_len);
  tail_.assign(tail, tail_len);
  valid_ = true;
  return status;
}

LogStatus LogReader::read_stream(int fd, LogSink &sink) {
  LogStatus status;
  sink.restart();
  int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  gzFile gz = own < 0 ? nullptr : gzdopen(own, "rb");
  if (!gz) {
    if (own >= 0) close(own);
    fail(status, errno ? errno : ENOMEM);
    return status;
  }
  gzbuffer(gz, 1 << 17);
  Scan s = scan(
      [&](char *dst, size_t max) -> ssize_t {
        for (;;) {
          int n = gzread(gz, dst, (unsigned)max);
          if (n >= 0) return n;
          int zerr;
          gzerror(gz, &zerr);
          if (zerr != Z_ERRNO || (errno != EAGAIN && errno != EWOULDBLOCK)) return -1;
          // A non-blocking stream: wait for more, then go on.
          gzclearerr(gz);
          struct pollfd p = {fd, POLLIN, 0};
          poll(&p, 1, -1);
        }
      },
      0, LineState(), level_, sink, at_, nullptr, nullptr);
  int zerr = Z_OK;
  const char *message = gzerror(gz, &zerr);
  status.compressed = !gzdirect(gz);
  status.added = s.added;
  status.kind = LogStatus::Fresh;
  if (zerr == Z_ERRNO) {
    fail(status, errno);
    status.added = s.added;
  } else if (zerr != Z_OK) {
    status.damaged = true;
    status.reason = "compressed data is damaged";
    if (message && *message) status.reason += std::string(" (") + message + ")";
  }
  gzclose(gz);
  return status;
}
