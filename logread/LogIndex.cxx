// LogIndex.cxx - one read of the log at every level, kept up to date, and a
// job's lines read back by their places.
#include "logread/LogIndex.h"

#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "base/LogLine.h"
#include "base/LogTime.h"
#include "base/open_regular.h"

struct LogIndex::Sink : LogSink {
  LogIndex &index;
  explicit Sink(LogIndex &i) : index(i) {}
  void restart() override { index.clear(); }
  // A file rotated away is still history: its places become texts.
  bool keep(bool elsewhere) override {
    if (!elsewhere) {
      index.clear();
      return false;
    }
    index.settle();
    return true;
  }
  void file_start(int fd) override {
    index.settle();
    index.fd_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  }
  void drop_unfinished() override { index.take_back(); }
  void line(const char *text, size_t len, bool continued) override {
    index.last_piece_ = continued;
    if (!continued) index.add(text, len, index.source_.offset());
  }
};

LogIndex::LogIndex(Unknown unknown)
    : unknown_test_(std::move(unknown)), source_(SourceRef{SourceRef::File, "", "", false}, 2) {}

LogIndex::~LogIndex() {
  if (fd_ >= 0) close(fd_);
}

namespace {
// The first piece of a line at its place; "" when it cannot be read.
std::string text_at(int fd, uint64_t offset, uint32_t len) {
  std::string text(len, '\0');
  ssize_t n = fd < 0 ? -1 : pread(fd, &text[0], len, (off_t)offset);
  text.resize(n > 0 ? strnlen(text.data(), (size_t)n) : 0);
  return text;
}
}  // namespace

// The file the places are in is left: its job lines are read into kept_,
// its error lines judged, and it is closed.
void LogIndex::settle() {
  if (fd_ < 0) return;
  for (auto &job : jobs_)
    for (Place &p : job.second)
      if (!p.kept) {
        kept_.push_back(text_at(fd_, p.offset, p.len));
        p = Place{kept_.size() - 1, p.len, true};
      }
  if (unknown_test_) judge_from(fd_, (size_t)-1);
  pending_.clear();
  judged_ = 0;
  close(fd_);
  fd_ = -1;
  // Nothing of that file is withdrawn now.
  last_ = Last();
  last_piece_ = false;
}

void LogIndex::clear() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  kept_.clear();
  count_[0] = count_[1] = count_[2] = 0;
  unknown_ = 0;
  jobs_.clear();
  job_texts_.clear();
  pending_.clear();
  judged_ = 0;
  newest_.clear();
  last_ = Last();
  last_piece_ = false;
}

// Room enough for the time field, columns 2 to 30.
static const size_t kTimeEnd = kMessageColumn;

void LogIndex::add(const char *text, size_t len, off_t offset) {
  unsigned char first = (unsigned char)text[0];
  last_ = Last();
  last_.counted = true;
  for (int level = 2; level >= 0 && LogReader::accepts(level, first); level--) {
    count_[level]++;
    last_.level = level;
  }
  if (last_.level == 0 && unknown_test_) {
    if (!reader_compressed_ && !texts_kept_) {
      pending_.push_back(Place{(uint64_t)offset, (uint32_t)len, false});
      last_.pending = true;
    } else if (unknown_test_(text, len)) {
      unknown_++;
      last_.unknown = true;
    }
  }
  if (int job = line_job(text, len)) {
    if (texts_kept_)
      job_texts_[job].emplace_back(text, len);
    else
      jobs_[job].push_back(Place{(uint64_t)offset, (uint32_t)len, false});
    last_.job = job;
  }
  if (len > kTimeEnd && text[2] == '[') {
    last_.timed = true;
    last_.newest_before = newest_;
    newest_.assign(text, kTimeEnd);
  }
}

void LogIndex::take_back() {
  // Of a long line only its last piece comes again: the line stands.
  if (last_piece_ || !last_.counted) return;
  for (int level = last_.level; level <= 2; level++) count_[level]--;
  if (last_.unknown) unknown_--;
  if (last_.pending) {
    // Judged meanwhile, it counted as it was then.
    if (judged_ == pending_.size()) {
      judged_--;
      if (last_judged_unknown_) unknown_--;
    }
    pending_.pop_back();
  }
  if (last_.job) {
    auto it = jobs_.find(last_.job);
    if (it != jobs_.end() && !it->second.empty()) it->second.pop_back();
    auto kept = job_texts_.find(last_.job);
    if (kept != job_texts_.end() && !kept->second.empty()) kept->second.pop_back();
  }
  if (last_.timed) newest_ = last_.newest_before;
  last_ = Last();
}

const LogStatus &LogIndex::update(const std::string &path) {
  return update(SourceRef{SourceRef::File, path, "", false});
}

const LogStatus &LogIndex::update(const SourceRef &ref) {
  if (ref != source_.ref()) {
    source_.ref(ref);
    clear();
  }
  if (!source_.changed()) {
    status_.kind = LogStatus::Unchanged;
    status_.added = 0;
    return status_;
  }
  Sink sink(*this);
  texts_kept_ = !source_.plain_file();
  reader_compressed_ = !texts_kept_ && is_gzip(ref.path);
  status_ = source_.read(sink);
  return status_;
}

bool LogIndex::is_gzip(const std::string &path) {
  int fd = open_regular(path.c_str());
  if (fd < 0) return false;
  unsigned char magic[2] = {0, 0};
  bool gz = pread(fd, magic, 2, 0) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
  close(fd);
  return gz;
}

size_t LogIndex::judge(size_t most) {
  if (judged_ == pending_.size()) return 0;
  judge_from(fd_, most);
  return unjudged();
}

void LogIndex::judge_from(int fd, size_t most) {
  for (size_t n = 0; n < most && judged_ < pending_.size(); n++, judged_++) {
    const Place &p = pending_[judged_];
    std::string text = text_at(fd, p.offset, p.len);
    last_judged_unknown_ = unknown_test_(text.c_str(), text.size());
    unknown_ += last_judged_unknown_;
  }
}

time_t LogIndex::newest() const {
  time_t t = 0;
  if (newest_.empty() || !line_time(newest_.data(), newest_.size(), &t)) return 0;
  return t;
}

size_t LogIndex::job_size(int job) const {
  auto kept = job_texts_.find(job);
  if (kept != job_texts_.end()) return kept->second.size();
  auto it = jobs_.find(job);
  return it == jobs_.end() ? 0 : it->second.size();
}

namespace {
// Keeps the texts of the pieces that start at the wanted offsets (ascending).
struct PickSink : LogSink {
  const LogReader &reader;
  std::vector<uint64_t> wanted;
  size_t next = 0;
  std::vector<std::string> texts;
  explicit PickSink(const LogReader &r) : reader(r) {}
  void restart() override {
    next = 0;
    texts.clear();
  }
  void drop_unfinished() override {}
  void line(const char *text, size_t len, bool continued) override {
    uint64_t at = (uint64_t)reader.offset();
    while (next < wanted.size() && wanted[next] < at) next++;
    if (!continued && next < wanted.size() && wanted[next] == at) {
      texts.emplace_back(text, len);
      next++;
    }
  }
};
}  // namespace

std::vector<std::string> LogIndex::job_lines(int job, size_t most) const {
  std::vector<std::string> out;
  auto kept = job_texts_.find(job);
  if (kept != job_texts_.end()) {
    const std::vector<std::string> &texts = kept->second;
    out.assign(texts.begin() + (long)(texts.size() > most ? texts.size() - most : 0), texts.end());
    return out;
  }
  auto it = jobs_.find(job);
  if (it == jobs_.end() || it->second.empty()) return out;
  const std::vector<Place> &places = it->second;
  size_t from = places.size() > most ? places.size() - most : 0;
  // The kept ones, of files rotated away, come before the rest.
  size_t k = from;
  for (; k < places.size() && places[k].kept; k++) out.push_back(kept_[places[k].offset]);
  if (!status_.compressed) {
    for (; k < places.size(); k++) {
      if (fd_ < 0) break;
      std::string text(places[k].len, '\0');
      ssize_t n = pread(fd_, &text[0], places[k].len, (off_t)places[k].offset);
      if (n < 0) break;
      text.resize(strnlen(text.data(), (size_t)n));
      out.push_back(std::move(text));
    }
    return out;
  }
  // A compressed log is read again, whole: its places are in the
  // decompressed bytes.
  LogReader again(source_.ref().path, 2);
  PickSink pick(again);
  for (; k < places.size(); k++) pick.wanted.push_back(places[k].offset);
  again.read(pick);
  for (std::string &t : pick.texts) out.push_back(std::move(t));
  return out;
}
