// Gather.cxx - joining the pieces of long lines and holding back the line
// still being written.
#include "cli/Gather.h"

void Gather::restart() {
  lines_.clear();
  piece_ = 0;
  restarted_ = true;
}

void Gather::drop_unfinished() {
  if (lines_.empty()) return;  // taken already: nothing held to mend
  std::string &last = lines_.back();
  last.resize(last.size() > piece_ ? last.size() - piece_ : 0);
  if (last.empty()) lines_.pop_back();
  piece_ = 0;
}

void Gather::line(const char *text, size_t len, bool continued) {
  if (continued && !lines_.empty())
    lines_.back().append(text, len);
  else
    lines_.emplace_back(text, len);
  piece_ = len;
}

std::vector<std::string> Gather::take(bool hold) {
  std::vector<std::string> out;
  out.swap(lines_);
  restarted_ = false;
  if (hold && !out.empty() && (out.back().empty() || out.back().back() != '\n')) {
    lines_.push_back(std::move(out.back()));
    out.pop_back();
  }
  return out;
}
