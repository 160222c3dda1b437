// Gather.cxx - joining the pieces of long lines and holding back the line
// still being written.
#include "cli/Gather.h"

void Gather::restart() {
  lines_.clear();
  piece_ = 0;
  restarted_ = true;
  passing_ = true;
  switch_at_ = kNone;
}

bool Gather::keep(bool) {
  if (switch_at_ == kNone) switch_at_ = lines_.size();
  // The old file's unfinished line is never withdrawn now.
  piece_ = 0;
  return true;
}

void Gather::drop_unfinished() {
  // Taken already, or left out: nothing held to mend.
  if (lines_.empty() || !passing_) return;
  std::string &last = lines_.back();
  last.resize(last.size() > piece_ ? last.size() - piece_ : 0);
  if (last.empty()) lines_.pop_back();
  piece_ = 0;
}

void Gather::line(const char *text, size_t len, bool continued) {
  if (!continued) passing_ = !filter_ || filter_(text, len);
  if (!passing_) return;
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
  before_switch_ = switch_at_ == kNone ? out.size() : switch_at_;
  switch_at_ = kNone;
  if (hold && !out.empty() && (out.back().empty() || out.back().back() != '\n')) {
    lines_.push_back(std::move(out.back()));
    out.pop_back();
    if (before_switch_ > out.size()) before_switch_ = out.size();
  }
  return out;
}

void LineWalk::restart() {
  open_ = false;
  text_.clear();
  piece_ = 0;
  count_ = 0;
  if (restarted_) restarted_();
}

void LineWalk::drop_unfinished() {
  if (!open_) return;
  text_.resize(text_.size() > piece_ ? text_.size() - piece_ : 0);
  if (text_.empty()) open_ = false;
  piece_ = 0;
}

void LineWalk::line(const char *text, size_t len, bool continued) {
  if (continued && open_) {
    text_.append(text, len);
  } else {
    finish();
    text_.assign(text, len);
    open_ = true;
  }
  piece_ = len;
}

void LineWalk::finish() {
  if (!open_) return;
  open_ = false;
  if (count_++ < limit_) each_(text_);
}
