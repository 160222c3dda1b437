// LogReader.cxx - cutting the log into lines, filtering them by level, and
// telling a file that only grew from one that was replaced or rewritten.
#include "logread/LogReader.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <poll.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include <zlib.h>

#include "base/Levels.h"
#include "base/open_regular.h"

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
          std::string *head, std::string *tail, const bool *cut = nullptr) {
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
  // it and starts where it starts, inside its line or not, as here. Where
  // the data was cut by damage, it is no line at all.
  s.committed = pos;
  s.end = pos + (off_t)have;
  s.state = state;
  if (have && !(cut && *cut)) s.unfinished = give(buf, have, pos);
  return s;
}

// Gzip data read from a descriptor, member after member, inflated; or, when
// `either` and the data does not start as gzip, its bytes as they are. Every
// byte inflated before damage is given; where the data stops making sense
// (a bad checksum, a cut, bytes after the last member, a failed read) is
// told, with the offset in the bytes read.
class Inflater {
public:
  Inflater(int fd, bool either, bool wait) : fd_(fd), either_(either), wait_(wait) {
    ok_ = inflateInit2(&z_, 15 + 16) == Z_OK;
    if (ok_) inflateGetHeader(&z_, &head_);
    else error_ = ENOMEM;
  }
  ~Inflater() {
    if (ok_) inflateEnd(&z_);
  }
  Inflater(const Inflater &) = delete;
  Inflater &operator=(const Inflater &) = delete;

  // Up to `max` bytes; 0 at the end or from the damage on; -1 (errno set)
  // when nothing could be read at all.
  ssize_t fill(char *dst, size_t max);
  bool compressed() const { return mode_ == Gzip; }
  bool damaged = false;
  std::string reason;
  off_t at = -1;
  int error() const { return error_; }

private:
  enum Mode { Unknown, Gzip, Plain };
  int fd_;
  bool either_, wait_, ok_ = false, done_ = false, given_ = false;
  int error_ = 0;
  Mode mode_ = Unknown;
  z_stream z_ = {};
  gz_header head_ = {};
  std::unique_ptr<unsigned char[]> in_{new unsigned char[1 << 17]};
  size_t have_ = 0, used_ = 0;  // plain bytes in in_, and given of them
  off_t read_ = 0;              // bytes read from the descriptor
  off_t member_start_ = 0;
  size_t members_ = 0;          // members inflated to their end
  off_t member_in_ = 0;         // bytes of the current member taken in
  // Inflated bytes not yet given: from_ to len_, of which those before
  // good_ passed their member's check.
  static constexpr size_t kHold = 1 << 20;
  std::unique_ptr<char[]> out_;
  size_t from_ = 0, len_ = 0, good_ = 0;
  void inflate_more();
  bool length_matches();

  ssize_t more(size_t at);
  void damage(const std::string &why, off_t where) {
    if (!damaged) {
      damaged = true;
      reason = why;
      at = where;
    }
    done_ = true;
  }
};

ssize_t Inflater::more(size_t at) {
  for (;;) {
    ssize_t n = ::read(fd_, in_.get() + at, (1 << 17) - at);
    if (n >= 0) {
      read_ += n;
      return n;
    }
    if (errno == EINTR) continue;
    if (wait_ && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A non-blocking stream: wait for more, then go on.
      struct pollfd p = {fd_, POLLIN, 0};
      poll(&p, 1, -1);
      continue;
    }
    error_ = errno;
    return -1;
  }
}

ssize_t Inflater::fill(char *dst, size_t max) {
  if (!ok_) {
    errno = error_;
    return -1;
  }
  if (mode_ == Unknown) {
    while (have_ < 2) {
      ssize_t n = more(have_);
      if (n <= 0) break;
      have_ += (size_t)n;
    }
    mode_ = !either_ || (have_ >= 2 && in_[0] == 0x1f && in_[1] == 0x8b) ? Gzip : Plain;
    if (mode_ == Gzip) {
      z_.next_in = in_.get();
      z_.avail_in = (uInt)have_;
      have_ = 0;
      out_.reset(new char[2 * kHold]);
    }
  }
  ssize_t got = 0;
  if (mode_ == Plain) {
    if (used_ == have_ && !done_) {
      ssize_t n = more(0);
      have_ = n > 0 ? (size_t)n : 0;
      used_ = 0;
      if (n < 0 && given_) damage(std::string("reading failed midway (") + strerror(error_) + ")", read_);
      if (n <= 0) done_ = true;
    }
    got = (ssize_t)std::min(max, have_ - used_);
    memcpy(dst, in_.get() + used_, (size_t)got);
    used_ += (size_t)got;
  } else {
    for (;;) {
      // Bytes go out once kHold more have been inflated after them, or once
      // their member's check has been read.
      size_t ready = std::max(len_ - from_ > kHold ? len_ - kHold : from_, good_) - from_;
      if (done_) ready = len_ - from_;
      if (ready) {
        got = (ssize_t)std::min(max, ready);
        memcpy(dst, out_.get() + from_, (size_t)got);
        from_ += (size_t)got;
        break;
      }
      if (done_) break;
      if (from_) {
        memmove(out_.get(), out_.get() + from_, len_ - from_);
        len_ -= from_;
        good_ = good_ > from_ ? good_ - from_ : 0;
        from_ = 0;
      }
      inflate_more();
    }
  }
  if (got > 0) given_ = true;
  if (!got && !given_ && error_) {
    errno = error_;
    return -1;
  }
  return got;
}

// After a wrong checksum: whether the member's trailer, in the four bytes
// after it, gives the length that was inflated.
bool Inflater::length_matches() {
  size_t have = z_.avail_in;
  memmove(in_.get(), z_.next_in, have);
  while (have < 4) {
    ssize_t n = more(have);
    if (n <= 0) break;
    have += (size_t)n;
  }
  z_.next_in = in_.get();
  z_.avail_in = (uInt)have;
  if (have < 4) return false;
  const unsigned char *p = in_.get();
  uint32_t size = p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
  return size == (uint32_t)z_.total_out;
}

void Inflater::inflate_more() {
  z_.next_out = (Bytef *)out_.get() + len_;
  z_.avail_out = (uInt)(2 * kHold - len_);
  while (z_.avail_out > 0 && !done_) {
    if (z_.avail_in == 0) {
      ssize_t n = more(0);
      if (n < 0 && (given_ || len_))
        damage(std::string("reading failed midway (") + strerror(error_) + ")", read_);
      else if (n == 0 && member_in_ > 0)
        damage("compressed data is damaged (cut short)", read_);
      if (n <= 0) {
        done_ = true;
        break;
      }
      z_.next_in = in_.get();
      z_.avail_in = (uInt)n;
    }
    uInt before = z_.avail_in;
    int r = inflate(&z_, Z_NO_FLUSH);
    member_in_ += before - z_.avail_in;
    off_t here = read_ - (off_t)z_.avail_in;
    len_ = 2 * kHold - z_.avail_out;
    if (r == Z_STREAM_END) {
      good_ = len_;
      members_++;
      member_start_ = here;
      member_in_ = 0;
      inflateReset(&z_);
      head_ = gz_header();
      inflateGetHeader(&z_, &head_);
    } else if (r != Z_OK && r != Z_BUF_ERROR) {
      std::string what = z_.msg ? z_.msg : "corrupt";
      if (members_ && head_.done != 1) {
        damage("bytes after the end of the compressed data are not compressed data", member_start_);
      } else {
        damage("compressed data is damaged (" + what + ")", here);
        // A wrong checksum beside the right length is a damaged checksum:
        // the bytes stand. Other damage may have been inflated into
        // nonsense before it was seen, so the last bytes before it are left
        // out (what came earlier is out already: memory stays bounded).
        if (!(what == "incorrect data check" && length_matches()))
          len_ = std::max(good_, len_ > kHold ? len_ - kHold : from_);
      }
      done_ = true;
    }
    len_ = std::max(len_, from_);
  }
  len_ = done_ ? len_ : 2 * kHold - z_.avail_out;
}

}  // namespace

LogReader::LogReader(std::string path, int level) : path_(std::move(path)), level_(level) {}

LogReader::~LogReader() { release(); }

void LogReader::release() {
  if (held_ >= 0) close(held_);
  held_ = -1;
  told_ = false;
}

void LogReader::forget() {
  valid_ = failed_ = mark_kept_ = cut_ = false;
  release();
}

void LogReader::path(std::string p) {
  if (p != path_) forget();
  path_ = std::move(p);
}

void LogReader::level(int l) {
  if (l != level_) forget();
  level_ = l;
}

bool LogReader::accepts(int level, unsigned char c) { return level_accepts(level, c); }

// The file is the one read last time with bytes added at its end: the same
// file, no shorter, the same first and last bytes read. A newer time at the
// same size is no rewrite by itself: a write sets the time before the size,
// so a writer caught between the two shows just that.
bool LogReader::only_grown(int fd, const struct stat &st) const {
  if (!valid_ || compressed_ || st.st_dev != dev_ || st.st_ino != ino_ || st.st_size < end_)
    return false;
  char tail[kTail], head[kHead];
  return pread_full(fd, tail, tail_.size(), end_ - (off_t)tail_.size()) == (ssize_t)tail_.size() &&
         !memcmp(tail, tail_.data(), tail_.size()) &&
         pread_full(fd, head, head_.size(), 0) == (ssize_t)head_.size() &&
         !memcmp(head, head_.data(), head_.size());
}

void LogReader::remember_failure(int error, bool keep_mark) {
  valid_ = valid_ && keep_mark;
  mark_kept_ = valid_;
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

namespace {
bool is_gzip(int fd) {
  unsigned char magic[2];
  return pread_full(fd, (char *)magic, 2, 0) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
}
}  // namespace

// Scans a plain file from the read mark (the unfinished line withdrawn and
// read again with what follows it; a long line going on from its last
// piece) or from its start, and sets the mark where the scan ended.
size_t LogReader::scan_file(int fd, const struct stat &st, bool from_mark, LogSink &sink,
                            int *error) {
  off_t from = 0;
  LineState state;
  if (from_mark) {
    if (unfinished_) sink.drop_unfinished();
    from = committed_;
    state.inside = inside_;
    state.taken = inside_taken_;
    // The tail then ends where this read starts.
    size_t again = (size_t)(end_ - from);
    tail_.resize(again < tail_.size() ? tail_.size() - again : 0);
  } else {
    head_.clear();
    tail_.clear();
  }
  if (!from_mark || !told_) sink.file_start(fd);
  told_ = true;
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
  cut_ = false;
  // Cut short while it was read (a copy-truncate): the next read starts over.
  struct stat now;
  if (fstat(fd, &now) != 0 || now.st_size < end_)
    valid_ = false, cut_ = true;
  else if (now.st_size == end_ && end_ != st.st_size)
    mtime_ = now.st_mtim;  // it grew while read; this is the time of what was read
  if (s.error) valid_ = false;
  *error = s.error;
  return s.added;
}

// What was written to the file followed since the last read, through its
// descriptor: nothing when it did not only grow.
size_t LogReader::drain(LogSink &sink, struct stat *old) {
  old->st_nlink = 0;
  if (fstat(held_, old) != 0 || !only_grown(held_, *old) || old->st_size == end_) return 0;
  int error = 0;
  return scan_file(held_, *old, true, sink, &error);
}

// A file rotated away between two reads, never seen at the path: NAME.O,
// neither the old file nor the new one (`now`, null when there is none),
// renamed there since the old one was last found at the path. Its
// descriptor, or -1.
int LogReader::open_between(const struct stat *now, struct stat *st) const {
  int fd = open_regular((path_ + ".O").c_str(), st);
  if (fd < 0) return -1;
  if ((st->st_dev == dev_ && st->st_ino == ino_) ||
      (now && st->st_dev == now->st_dev && st->st_ino == now->st_ino) ||
      (older_there_ && st->st_dev == older_.st_dev && st->st_ino == older_.st_ino &&
       st->st_size == older_.st_size && same_time(st->st_ctim, older_.st_ctim) &&
       same_time(st->st_mtim, older_.st_mtim)) ||
      is_gzip(fd)) {
    close(fd);
    return -1;
  }
  return fd;
}

LogStatus LogReader::read(LogSink &sink) {
  LogStatus status;
  struct stat older;
  bool older_there = stat((path_ + ".O").c_str(), &older) == 0;
  struct stat st;
  int fd = open_regular(path_.c_str(), &st);
  int open_error = fd < 0 ? errno : 0;
  bool restart = true;  // a read from the start forgets what the sink holds
  size_t drained = 0;
  if (held_ >= 0 && !(fd >= 0 && st.st_dev == dev_ && st.st_ino == ino_)) {
    // The file followed has left the path, or the path fails: what was
    // written to it before comes first.
    struct stat old;
    drained = drain(sink, &old);
    bool elsewhere = old.st_nlink > 0;
    bool gone = fd < 0 && open_error == ENOENT;
    if (gone && elsewhere) {
      // Renamed away with nothing in its place yet: still the file written.
      failed_ = false;
      status.kind = drained ? LogStatus::Appended : LogStatus::Unchanged;
      status.added = drained;
      return status;
    }
    release();
    struct stat bs;
    int between = open_between(fd >= 0 ? &st : nullptr, &bs);
    bool kept = sink.keep(elsewhere || between >= 0);
    if (between >= 0 && kept) {
      int error = 0;
      drained += scan_file(between, bs, false, sink, &error);
      if (gone) {
        // Rotated again, and nothing in its place yet: it is the file
        // written now.
        held_ = between;
        older_ = bs;
        older_there_ = true;
        failed_ = false;
        status.kind = LogStatus::Appended;
        status.change = LogStatus::Rotated;
        status.added = drained;
        return status;
      }
    }
    if (between >= 0) close(between);
    if (fd < 0) {
      fail(status, open_error);
      status.added = drained;
      remember_failure(open_error, kept && elsewhere);
      return status;
    }
    restart = !kept;
    valid_ = false;
    status.change = elsewhere || (between >= 0 && kept) ? LogStatus::Rotated : LogStatus::Replaced;
  }
  if (fd < 0) {
    fail(status, open_error);
    if (!mark_kept_) sink.restart();
    remember_failure(open_error, mark_kept_);
    return status;
  }
  failed_ = mark_kept_ = false;
  if (is_gzip(fd)) {
    release();
    status = read_gzip(fd, st, sink, restart);
    close(fd);
    status.added += drained;
    return status;
  }

  bool from_mark = only_grown(fd, st);
  if (from_mark) {
    status.kind = st.st_size == end_ ? LogStatus::Unchanged : LogStatus::Appended;
  } else {
    if (status.change == LogStatus::First && (valid_ || cut_))
      status.change = !valid_ || (st.st_dev == dev_ && st.st_ino == ino_)
                          ? (cut_ || st.st_size < end_ ? LogStatus::CutShort : LogStatus::Rewritten)
                          : LogStatus::Replaced;
    if (restart) sink.restart();
    status.kind = restart ? LogStatus::Fresh : LogStatus::Appended;
  }
  if (held_ != fd) {
    release();
    held_ = fd;
  }
  older_ = older;
  older_there_ = older_there;
  if (status.kind == LogStatus::Unchanged) {
    mtime_ = st.st_mtim;
    return status;
  }
  int error = 0;
  status.added = drained + scan_file(fd, st, from_mark, sink, &error);
  if (error && !from_mark && !end_) {
    fail(status, error);  // not a byte could be read
  } else if (error) {
    // Read midway: what came before the failure stands.
    status.damaged = true;
    status.error = error;
    status.reason = std::string("reading failed midway (") + strerror(error) + ")";
    status.damage_at = end_;
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

namespace {
// What an inflater found, told as the status says it.
void tell_damage(LogStatus &status, const Inflater &z, size_t added) {
  if (z.damaged) {
    status.damaged = true;
    status.reason = z.reason;
    status.damage_at = z.at;
    if (z.error()) status.error = z.error();
  } else if (z.error() && !added) {
    fail(status, z.error());
  }
}
}  // namespace

// A compressed log is read whole; it does not grow, so an unchanged file is
// not read again.
LogStatus LogReader::read_gzip(int fd, const struct stat &st, LogSink &sink, bool restart) {
  LogStatus status;
  status.compressed = true;
  if (gzip_unchanged(fd, st)) {
    status.kind = LogStatus::Unchanged;
    status.damaged = damaged_;
    status.reason = damaged_reason_;
    status.damage_at = damage_at_;
    return status;
  }
  if (restart) sink.restart();
  valid_ = false;
  char head[kHead], tail[kTail];
  size_t head_len = (size_t)pread_full(fd, head, kHead, 0);
  off_t tail_at = st.st_size > (off_t)kTail ? st.st_size - (off_t)kTail : 0;
  size_t tail_len = (size_t)pread_full(fd, tail, kTail, tail_at);
  Inflater z(fd, false, false);
  Scan s = scan([&](char *dst, size_t max) { return z.fill(dst, max); }, 0, LineState(), level_,
                sink, at_, nullptr, nullptr, &z.damaged);
  status.kind = restart ? LogStatus::Fresh : LogStatus::Appended;
  status.added = s.added;
  tell_damage(status, z, s.added);
  if (status.kind == LogStatus::Failed) return status;
  damaged_ = status.damaged;
  damaged_reason_ = status.reason;
  damage_at_ = status.damage_at;
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
  Inflater z(fd, true, true);
  Scan s = scan([&](char *dst, size_t max) { return z.fill(dst, max); }, 0, LineState(), level_,
                sink, at_, nullptr, nullptr, &z.damaged);
  status.kind = LogStatus::Fresh;
  status.compressed = z.compressed();
  status.added = s.added;
  tell_damage(status, z, s.added);
  return status;
}
