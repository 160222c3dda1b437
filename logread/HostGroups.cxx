// HostGroups.cxx - grouping lines by host and ordering the hosts.
#include "logread/HostGroups.h"
#include "base/Levels.h"

#include <string.h>

#include <algorithm>
#include <tuple>

void HostGroups::restart() {
  groups_.clear();
  current_ = nullptr;
}

void HostGroups::drop_unfinished() {
  if (current_ && !current_->lines.empty()) current_->lines.pop_back();
}

void HostGroups::entry(const JournalEntry &e) {
  Group &g = groups_[e.host];
  g.host = e.host;
  current_ = &g;
  when_ = (time_t)(e.realtime / 1000000);
}

void HostGroups::line(const char *text, size_t len, bool continued) {
  if (!current_) {
    current_ = &groups_[""];
    when_ = 0;
  }
  // A long entry's later pieces go on its line: they are not lines of their own.
  if (continued && !current_->lines.empty()) {
    current_->lines.back().append(text, len);
    return;
  }
  current_->lines.emplace_back(text, len);
  if (len && is_error_letter((unsigned char)text[0])) {
    current_->errors++;
    if (when_ > current_->last_error) current_->last_error = when_;
  }
}

std::vector<const HostGroups::Group *> HostGroups::groups() const {
  std::vector<const Group *> all;
  for (const auto &g : groups_) all.push_back(&g.second);
  return all;
}

const HostGroups::Group *HostGroups::find(const std::string &host) const {
  auto it = groups_.find(host);
  return it == groups_.end() ? nullptr : &it->second;
}

void worst_first(std::vector<HostRow> &rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const HostRow &a, const HostRow &b) {
    return std::make_tuple(b.rank, b.score, b.last_error, a.host) <
           std::make_tuple(a.rank, a.score, a.last_error, b.host);
  });
}
