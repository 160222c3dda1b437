// JournalSource.cxx - reading the server's journal entries through sd-journal
// and turning each into a line of the server's own log.
#include "logread/JournalSource.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <queue>
#include <utility>

#include <systemd/sd-journal.h>

#include "base/Levels.h"
#include "base/open_regular.h"

const char kJournalGroups[] = "systemd-journal or adm";

namespace {

// The server's entries: those it logs through syslog, and those of its unit.
const char kIdentifier[] = "SYSLOG_IDENTIFIER=tarnd";
const char kUnit[] = "_SYSTEMD_UNIT=tarn.service";

// The level letter of each syslog priority.
const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";

// The prefix "L [dd/Mon/yyyy:hh:mm:ss +zzzz] " is 31 bytes.
const size_t kPrefix = 31;

bool starts(const char *d, size_t len, const char *field, size_t flen) {
  return len >= flen && !memcmp(d, field, flen);
}

void two(char *p, int v) {
  p[0] = (char)('0' + v / 10 % 10);
  p[1] = (char)('0' + v % 10);
}

// "[dd/Mon/yyyy:hh:mm:ss +zzzz]" for t in local time, into p (28 bytes).
void stamp(time_t t, char *p) {
  struct tm tm;
  if (!localtime_r(&t, &tm)) memset(&tm, 0, sizeof tm);
  int year = tm.tm_year + 1900;
  long off = tm.tm_gmtoff / 60;
  char sign = off < 0 ? '-' : '+';
  if (off < 0) off = -off;
  p[0] = '[';
  two(p + 1, tm.tm_mday);
  p[3] = '/';
  memcpy(p + 4, kMonths + 3 * (tm.tm_mon >= 0 && tm.tm_mon < 12 ? tm.tm_mon : 0), 3);
  p[7] = '/';
  two(p + 8, year / 100);
  two(p + 10, year % 100);
  p[12] = ':';
  two(p + 13, tm.tm_hour);
  p[15] = ':';
  two(p + 16, tm.tm_min);
  p[18] = ':';
  two(p + 19, tm.tm_sec);
  p[21] = ' ';
  p[22] = sign;
  two(p + 23, (int)(off / 60));
  two(p + 25, (int)(off % 60));
  p[27] = ']';
}

// A message that already is a line of the server's log (its standard error
// kept by the journal): "E [09/Dec/2026:10:00:00 +0000] ...", the time
// perhaps with microseconds.
bool in_layout(const char *m, size_t len) {
  if (len < kPrefix || !((m[0] >= 'A' && m[0] <= 'Z') || (m[0] >= 'a' && m[0] <= 'z')))
    return false;
  if (m[1] != ' ' || m[2] != '[' || m[5] != '/' || m[9] != '/' || m[14] != ':' || m[17] != ':' ||
      m[20] != ':')
    return false;
  if (m[23] == ' ') return m[29] == ']' && m[30] == ' ';
  return m[23] == '.' && len >= kPrefix + 7 && m[36] == ']' && m[37] == ' ';
}

// The files of a journal directory as sd-journal takes them: *.journal and
// *.journal~ in it, and in its subdirectories named by a machine id.
bool journal_name(const char *name) {
  size_t n = strlen(name);
  return (n > 8 && !strcmp(name + n - 8, ".journal")) ||
         (n > 9 && !strcmp(name + n - 9, ".journal~"));
}

bool machine_id(const char *name) {
  if (strlen(name) != 32) return false;
  for (const char *p = name; *p; p++)
    if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f'))) return false;
  return true;
}

void list_journals(const std::string &dir, bool descend, std::vector<std::string> &out) {
  DIR *d = opendir(dir.c_str());
  if (!d) return;
  while (struct dirent *e = readdir(d)) {
    std::string p = dir + "/" + e->d_name;
    if (journal_name(e->d_name))
      out.push_back(p);
    else if (descend && machine_id(e->d_name))
      list_journals(p, false, out);
  }
  closedir(d);
}

std::string reason_of(int error) {
  switch (error) {
    case EISDIR: return "is a directory";
    case ENOTDIR: return "is not a directory";
    case ENODATA:
    case EBADMSG:
    case EPROTONOSUPPORT: return "is not a journal file";
    case EACCES:
    case EPERM:
      return std::string(strerror(error)) + " (the journal is for root and the groups " +
             kJournalGroups + ")";
    default: return strerror(error);
  }
}

}  // namespace

JournalSource::JournalSource(Kind kind, std::string path, int level)
    : kind_(kind), path_(std::move(path)), level_(level) {}

JournalSource::~JournalSource() { close_all(); }

std::string JournalSource::name() const {
  switch (kind_) {
    case System: return path_.empty() ? "the system journal" : "the system journal under " + path_;
    case File: return "the journal file " + path_;
    default: return "the journal directory " + path_;
  }
}

void JournalSource::level(int l) {
  if (l != level_) fresh_ = true;
  level_ = l;
}

void JournalSource::host(std::string name) {
  if (name != host_) fresh_ = true;
  host_ = std::move(name);
}

void JournalSource::job(long id) {
  if (id != job_) fresh_ = true;
  job_ = id;
}

void JournalSource::close_all() {
  for (Part &p : parts_)
    if (p.j != watch_) sd_journal_close(p.j);
  parts_.clear();
  if (watch_) sd_journal_close(watch_);
  watch_ = nullptr;
  opened_ = false;
}

// (the server's identifier OR its unit) AND the host AND the job.
bool JournalSource::matches(sd_journal *j) const {
  sd_journal_flush_matches(j);
  bool ok = sd_journal_add_match(j, kIdentifier, 0) >= 0 && sd_journal_add_disjunction(j) >= 0 &&
            sd_journal_add_match(j, kUnit, 0) >= 0;
  if (!host_.empty() || job_ >= 0) ok = ok && sd_journal_add_conjunction(j) >= 0;
  if (!host_.empty()) ok = ok && sd_journal_add_match(j, ("_HOSTNAME=" + host_).c_str(), 0) >= 0;
  if (job_ >= 0) ok = ok && sd_journal_add_match(j, ("JID=" + std::to_string(job_)).c_str(), 0) >= 0;
  // Messages longer than the default threshold would arrive cut.
  sd_journal_set_data_threshold(j, 0);
  return ok;
}

bool JournalSource::open() {
  if (opened_) return true;
  int r = 0;
  error_ = 0;
  switch (kind_) {
    case System:
      r = path_.empty()
              ? sd_journal_open(&watch_, SD_JOURNAL_LOCAL_ONLY | SD_JOURNAL_SYSTEM)
              : sd_journal_open_directory(&watch_, path_.c_str(), SD_JOURNAL_OS_ROOT | SD_JOURNAL_SYSTEM);
      break;
    case File: {
      int fd = open_regular(path_.c_str());
      if (fd < 0) {
        r = -errno;
        break;
      }
      close(fd);
      const char *files[] = {path_.c_str(), nullptr};
      r = sd_journal_open_files(&watch_, files, 0);
      break;
    }
    case Directory: {
      DIR *d = opendir(path_.c_str());
      if (!d) {
        r = -errno;
        break;
      }
      closedir(d);
      r = sd_journal_open_directory(&watch_, path_.c_str(), 0);
      break;
    }
  }
  if (r < 0) {
    watch_ = nullptr;
    error_ = -r;
    failure_ = reason_of(error_);
    return false;
  }
  // Armed before the first read, so that no change after it goes unseen.
  sd_journal_get_fd(watch_);
  if (kind_ != Directory) {
    parts_.push_back(Part{watch_});
    matches(watch_);
  }
  opened_ = true;
  fresh_ = rescan_ = true;
  return true;
}

// Each file of the directory is read through a handle of its own: one merged
// handle skips, when followed, entries a late sender writes with times
// earlier than those already read from another.
void JournalSource::scan_directory() {
  rescan_ = false;
  std::vector<std::string> files;
  list_journals(path_, true, files);
  std::sort(files.begin(), files.end());
  for (Part &p : parts_) p.live = false;
  size_t failed = 0;
  std::string first;
  for (const std::string &f : files) {
    struct stat st;
    if (stat(f.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    auto known = std::find_if(parts_.begin(), parts_.end(), [&](const Part &p) {
      return p.dev == st.st_dev && p.ino == st.st_ino;
    });
    if (known != parts_.end()) {
      known->live = true;
      continue;
    }
    const char *one[] = {f.c_str(), nullptr};
    Part p;
    int r = sd_journal_open_files(&p.j, one, 0);
    if (r < 0) {
      if (!failed++) first = f + ": " + reason_of(-r);
      rescan_ = true;  // perhaps still being written: try again
      continue;
    }
    p.dev = st.st_dev;
    p.ino = st.st_ino;
    matches(p.j);
    sd_journal_seek_head(p.j);
    parts_.push_back(p);
  }
  unreadable_.clear();
  if (failed)
    unreadable_ = std::to_string(failed) + " of " + std::to_string(files.size()) +
                  " journal files cannot be read; " + first;
}

// Gives the entry under j's read pointer to the sinks when its level is
// taken. True when it was.
bool JournalSource::take(sd_journal *j, LogSink &sink, JournalSink *extra) {
  uint64_t usec;
  if (sd_journal_get_realtime_usec(j, &usec) < 0) return false;
  entry_.host.clear();
  entry_.job = -1;
  entry_.priority = -1;
  entry_.realtime = usec;
  line_.assign(kPrefix, ' ');

  const void *data;
  size_t len;
  sd_journal_restart_data(j);
  while (sd_journal_enumerate_available_data(j, &data, &len) > 0) {
    const char *d = (const char *)data;
    if (starts(d, len, "MESSAGE=", 8)) {
      // A NUL ends the text, as it ends a line read from a file; a newline
      // inside would start a line without a level.
      const char *m = d + 8;
      size_t n = len - 8;
      if (const char *nul = (const char *)memchr(m, 0, n)) n = (size_t)(nul - m);
      while (n && (m[n - 1] == '\n' || m[n - 1] == '\r')) n--;
      size_t at = line_.size();
      line_.append(m, n);
      std::replace(line_.begin() + (long)at, line_.end(), '\n', ' ');
    } else if (starts(d, len, "PRIORITY=", 9)) {
      if (len == 10 && d[9] >= '0' && d[9] <= '7') entry_.priority = d[9] - '0';
    } else if (starts(d, len, "_HOSTNAME=", 10)) {
      entry_.host.assign(d + 10, len - 10);
    } else if (starts(d, len, "JID=", 4)) {
      long v = 0;
      size_t i = 4;
      for (; i < len && i < 22 && d[i] >= '0' && d[i] <= '9'; i++) v = v * 10 + (d[i] - '0');
      if (i == len && len > 4) entry_.job = v;
    }
  }

  if (in_layout(line_.data() + kPrefix, line_.size() - kPrefix)) {
    line_.erase(0, kPrefix);
  } else {
    time_t sec = (time_t)(usec / 1000000);
    if (sec != stamp_second_ || !stamp_valid_) {
      stamp(sec, stamp_);
      stamp_second_ = sec;
      stamp_valid_ = true;
    }
    line_[0] = entry_.priority < 0 ? 'I' : kPriorityLetters[entry_.priority];
    memcpy(&line_[2], stamp_, 28);
  }
  if (!LogReader::accepts(level_, (unsigned char)line_[0])) return false;
  line_ += '\n';

  if (extra) extra->entry(entry_);
  char *p = &line_[0];
  size_t total = line_.size();
  for (size_t at = 0; at < total;) {
    size_t n = std::min(total - at, LogReader::kPiece);
    if (at + n < total) {
      char saved = p[at + n];
      p[at + n] = '\0';
      sink.line(p + at, n, at > 0);
      p[at + n] = saved;
    } else {
      sink.line(p + at, n, at > 0);
    }
    at += n;
  }
  return true;
}

// The system journal's files are there but none can be opened by us.
bool JournalSource::system_unreadable() const {
  bool found = false;
  for (const char *dir : {"/var/log/journal", "/run/log/journal"}) {
    std::vector<std::string> files;
    list_journals(path_ + dir, true, files);
    for (const std::string &f : files) {
      const char *base = strrchr(f.c_str(), '/') + 1;
      if (strncmp(base, "system", 6)) continue;
      found = true;
      int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
      if (fd >= 0) {
        close(fd);
        return false;
      }
    }
  }
  return found;
}

LogStatus JournalSource::read(LogSink &sink, JournalSink *extra) {
  LogStatus status;
  if (!open()) {
    sink.restart();
    status.error = error_;
    status.reason = failure_;
    return status;
  }
  if (sd_journal_process(watch_) == SD_JOURNAL_INVALIDATE) rescan_ = true;
  bool fresh = fresh_;
  if (fresh) {
    sink.restart();
    stamp_valid_ = false;  // the zone may have changed since
    for (Part &p : parts_) {
      matches(p.j);
      sd_journal_seek_head(p.j);
    }
  }
  if (kind_ == Directory && (rescan_ || fresh)) scan_directory();

  // The entries after each handle's read pointer, merged by time.
  size_t seen = 0;
  int error = 0;
  auto next = [&](Part &p) {
    int r = sd_journal_next(p.j);
    if (r < 0) error = -r;
    return r > 0;
  };
  auto give = [&](Part &p) {
    seen++;
    if (take(p.j, sink, extra)) status.added++;
  };
  if (parts_.size() == 1) {
    while (next(parts_[0])) give(parts_[0]);
  } else {
    typedef std::pair<uint64_t, size_t> At;  // time, part
    std::priority_queue<At, std::vector<At>, std::greater<At>> queue;
    auto push = [&](size_t i) {
      uint64_t usec;
      if (next(parts_[i]) && sd_journal_get_realtime_usec(parts_[i].j, &usec) >= 0)
        queue.push(At(usec, i));
    };
    for (size_t i = 0; i < parts_.size(); i++) push(i);
    while (!queue.empty()) {
      size_t i = queue.top().second;
      queue.pop();
      give(parts_[i]);
      push(i);
    }
  }
  // Files gone from the directory were read to their end above.
  for (size_t i = parts_.size(); i-- > 0;)
    if (!parts_[i].live) {
      sd_journal_close(parts_[i].j);
      parts_.erase(parts_.begin() + (long)i);
    }
  fresh_ = false;

  status.kind = fresh ? LogStatus::Fresh : seen ? LogStatus::Appended : LogStatus::Unchanged;
  if (fresh && kind_ == System && !seen && system_unreadable()) {
    status.kind = LogStatus::Failed;
    status.error = EACCES;
    status.reason = reason_of(EACCES);
    fresh_ = true;
  } else if (!unreadable_.empty() || error) {
    status.damaged = true;
    status.reason = !unreadable_.empty() ? unreadable_ : "cannot go on reading: " + reason_of(error);
  }
  return status;
}

bool JournalSource::wait(uint64_t usec) {
  if (!open()) return false;
  // A file of the directory could not be opened yet: look again soon.
  if (rescan_ && kind_ == Directory) {
    sd_journal_wait(watch_, std::min<uint64_t>(usec, 100000));
    return true;
  }
  int r = sd_journal_wait(watch_, usec);
  if (r == SD_JOURNAL_INVALIDATE) rescan_ = true;
  return r == SD_JOURNAL_APPEND || r == SD_JOURNAL_INVALIDATE;
}

int JournalSource::fd() { return open() ? sd_journal_get_fd(watch_) : -1; }
