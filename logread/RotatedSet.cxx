// RotatedSet.cxx - finding a log's rotated parts and reading them in turn.
#include "logread/RotatedSet.h"

#include <dirent.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <utility>

namespace {

// Passes all on but the restart each part's first read starts with: the
// parts are one history.
class Onward : public LogSink {
public:
  explicit Onward(LogSink &to) : to_(to) {}
  void restart() override {}
  bool keep(bool elsewhere) override { return to_.keep(elsewhere); }
  void file_start(int fd) override { to_.file_start(fd); }
  void drop_unfinished() override { to_.drop_unfinished(); }
  void line(const char *text, size_t len, bool continued) override { to_.line(text, len, continued); }

private:
  LogSink &to_;
};

// The log's own reads after the first. While the log has given no line
// since the history was given (it did not exist yet, or cannot be read),
// its reader's restart forgets nothing of the log's, and the history stands.
class Live : public LogSink {
public:
  Live(LogSink &to, bool &given) : to_(to), given_(given) {}
  void restart() override {
    if (given_) to_.restart(), restarted = true;
    given_ = false;
  }
  bool restarted = false;  // the restart reached the sink
  bool keep(bool elsewhere) override { return to_.keep(elsewhere); }
  void file_start(int fd) override { to_.file_start(fd); }
  void drop_unfinished() override { to_.drop_unfinished(); }
  void line(const char *text, size_t len, bool continued) override {
    given_ = true;
    to_.line(text, len, continued);
  }

private:
  LogSink &to_;
  bool &given_;
};

}  // namespace

RotatedSet::RotatedSet(std::string path, int level)
    : path_(std::move(path)), level_(level), live_(path_, level) {}

std::vector<std::string> RotatedSet::parts_of(const std::string &path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash ? slash : 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::vector<std::pair<long, std::string>> numbered;  // by N, the highest (oldest) first
  bool old = false;
  DIR *d = opendir(dir.c_str());
  if (!d) return {};
  while (struct dirent *e = readdir(d)) {
    const char *name = e->d_name;
    if (strncmp(name, base.c_str(), base.size()) || name[base.size()] != '.') continue;
    const char *rest = name + base.size() + 1;
    if (!strcmp(rest, "O")) {
      old = true;
      continue;
    }
    char *end;
    long n = strtol(rest, &end, 10);
    if (end == rest || *rest < '1' || *rest > '9' || (*end && strcmp(end, ".gz"))) continue;
    numbered.emplace_back(n, name);
  }
  closedir(d);
  std::sort(numbered.begin(), numbered.end(),
            [](const std::pair<long, std::string> &a, const std::pair<long, std::string> &b) {
              return a.first != b.first ? a.first > b.first : a.second < b.second;
            });
  std::string prefix = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::vector<std::string> parts;
  for (const auto &p : numbered) parts.push_back(prefix + p.second);
  if (old) parts.push_back(path + ".O");
  return parts;
}

LogStatus RotatedSet::read(LogSink &sink) {
  Live live(sink, live_given_);
  if (!first_) {
    LogStatus st = live_.read(live);
    if (st.kind != LogStatus::Failed) found_ = true;
    // To the sink, the log's first lines are added to the history.
    if (st.kind == LogStatus::Fresh && !live.restarted) st.kind = LogStatus::Appended;
    return st;
  }
  first_ = false;
  sink.restart();
  Onward onward(sink);
  LogStatus damaged;  // the first part read in part, if any
  bool was_damaged = false;
  size_t added = 0;
  for (const std::string &part : parts_of(path_)) {
    LogReader reader(part, level_);
    reading_ = &reader;
    LogStatus st = reader.read(onward);
    reading_ = nullptr;
    added += st.added;
    if (st.kind == LogStatus::Failed) {
      notes_.push_back(part + ": " + st.reason);
      continue;
    }
    parts_read_++;
    if (st.damaged && !was_damaged) {
      damaged = st;
      damaged.reason = part + ": " + st.reason;
      was_damaged = true;
    }
  }
  LogStatus st = live_.read(live);
  found_ = st.kind != LogStatus::Failed;
  if (st.kind == LogStatus::Failed && parts_read_) {
    st.kind = LogStatus::Fresh;
    notes_.push_back(path_ + ": " + st.reason);
  }
  if (was_damaged && !st.damaged) {
    st.damaged = true;
    st.reason = damaged.reason;
    st.damage_at = damaged.damage_at;
  }
  st.added += added;
  return st;
}
