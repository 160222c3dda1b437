// LogSource.cxx - a log file, a rotated set or a journal behind one reader,
// and the place of each line given.
#include "logread/LogSource.h"

#include <string.h>
#include <sys/stat.h>

#include <utility>

std::string SourceRef::name() const {
  switch (kind) {
    case Journal: return "the system journal";
    case JournalFile: return "the journal file " + path;
    case JournalDirectory: return "the journal directory " + path;
    default: return path;
  }
}

static bool ends_with(const std::string &s, const char *tail) {
  size_t n = strlen(tail);
  return s.size() >= n && !s.compare(s.size() - n, n, tail);
}

SourceRef ref_for_path(const std::string &path, bool rotated, const std::string &host) {
  SourceRef s;
  s.path = path;
  s.rotated = rotated;
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    s.kind = SourceRef::JournalDirectory;
  else if (ends_with(path, ".journal") || ends_with(path, ".journal~"))
    s.kind = SourceRef::JournalFile;
  if (s.journal()) s.host = host;
  return s;
}

SourceRef ref_for(const LogLocation &where, bool rotated, const std::string &host) {
  SourceRef s;
  s.rotated = rotated;
  if (where.kind == LogLocation::Journal) {
    s.kind = SourceRef::Journal;
    s.host = host;
  } else {
    s.path = where.path;
  }
  return s;
}

// Passes everything on, noting each piece's place first.
struct LogSource::Placed : LogSink {
  LogSource &source;
  LogSink &to;
  Placed(LogSource &s, LogSink &t) : source(s), to(t) {}
  void restart() override {
    source.place_ = source.base_ = source.last_ = source.last_end_ = 0;
    to.restart();
  }
  bool keep(bool elsewhere) override { return to.keep(elsewhere); }
  void drop_unfinished() override {
    // The withdrawn piece comes again from where it started.
    source.last_end_ = source.last_;
    to.drop_unfinished();
  }
  void line(const char *text, size_t len, bool continued) override {
    LogSource &s = source;
    if (s.journal_) {
      s.place_ = s.last_++;
    } else {
      off_t at = s.set_->offset();
      // Within a file places only grow: one before the last end is the
      // next file's.
      if (at < s.last_end_) s.base_ += s.last_end_;
      s.last_ = at;
      s.last_end_ = at + (off_t)len;
      s.place_ = s.base_ + at;
    }
    to.line(text, len, continued);
  }
};

LogSource::LogSource(SourceRef ref, int level) : ref_(std::move(ref)), level_(level) { build(); }

void LogSource::build() {
  file_.reset();
  set_.reset();
  journal_.reset();
  journal_changed_ = true;
  set_read_ = false;
  place_ = base_ = last_ = last_end_ = 0;
  switch (ref_.kind) {
    case SourceRef::File:
      if (ref_.rotated)
        set_.reset(new RotatedSet(ref_.path, level_));
      else
        file_.reset(new LogReader(ref_.path, level_));
      return;
    case SourceRef::Journal:
      journal_.reset(new JournalSource(JournalSource::System, "", level_));
      break;
    case SourceRef::JournalFile:
      journal_.reset(new JournalSource(JournalSource::File, ref_.path, level_));
      break;
    case SourceRef::JournalDirectory:
      journal_.reset(new JournalSource(JournalSource::Directory, ref_.path, level_));
      break;
  }
  journal_->host(ref_.host);
}

void LogSource::ref(const SourceRef &s) {
  if (s == ref_) return;
  ref_ = s;
  build();
}

void LogSource::level(int l) {
  if (l == level_) return;
  level_ = l;
  if (file_)
    file_->level(l);
  else if (journal_)
    journal_->level(l);
  else
    build();  // the parts are read at the new level too
}

void LogSource::forget() {
  if (file_) {
    file_->forget();
  } else if (journal_) {
    journal_->forget();
    journal_changed_ = true;
  } else {
    build();
  }
}

LogStatus LogSource::read(LogSink &sink) {
  if (file_) {
    LogStatus st = file_->read(sink);
    place_ = file_->offset();
    return st;
  }
  Placed placed(*this, sink);
  if (set_) {
    bool first = !set_read_;
    set_read_ = true;
    LogStatus st = set_->read(placed);
    if (first || (st.kind != LogStatus::Fresh && st.kind != LogStatus::Failed)) return st;
    // The log was read afresh alone (cut short, replaced, gone): its parts,
    // which may now hold what it held, are read again before it.
    build();
    set_read_ = true;
    return set_->read(placed);
  }
  LogStatus st = journal_->read(placed);
  journal_changed_ = st.kind == LogStatus::Failed;
  return st;
}

bool LogSource::changed(time_t *mtime) {
  if (file_) return file_->changed(mtime);
  if (set_) return set_->live().changed(mtime);
  if (journal_changed_ || journal_->fd() < 0) return true;
  return journal_->wait(0);
}

int LogSource::fd() { return journal_ ? journal_->fd() : -1; }

std::vector<std::string> LogSource::notes() const {
  return set_ ? set_->notes() : std::vector<std::string>();
}
