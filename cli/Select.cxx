// Select.cxx - the text filter and the newest lines.
#include "cli/Select.h"

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

}  // namespace

LineMatch::LineMatch(const std::string &text, bool regex) : given_(!text.empty()), regex_(regex) {
  if (!given_) return;
  if (regex_) {
    compiled_ = regcomp(&re_, text.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB) == 0;
    return;
  }
  for (char c : text) folded_ += lower(c);
}

LineMatch::~LineMatch() {
  if (compiled_) regfree(&re_);
}

bool LineMatch::operator()(const char *line, size_t len) const {
  if (!given_) return true;
  if (len && line[len - 1] == '\n') len--;
  if (regex_) {
    if (!compiled_) return false;
    // The line need not end at len: REG_STARTEND gives the range.
    regmatch_t range[1];
    range[0].rm_so = 0;
    range[0].rm_eo = (regoff_t)len;
    return regexec(&re_, line, 1, range, REG_STARTEND) == 0;
  }
  size_t n = folded_.size();
  if (n > len) return false;
  char first = folded_[0];
  for (size_t i = 0; i + n <= len; i++) {
    if (lower(line[i]) != first) continue;
    size_t k = 1;
    while (k < n && lower(line[i + k]) == folded_[k]) k++;
    if (k == n) return true;
  }
  return false;
}

void keep_newest(std::vector<bool> &marked, long n) {
  if (n < 0) return;
  for (size_t i = marked.size(); i-- > 0;) {
    if (!marked[i]) continue;
    if (n > 0)
      n--;
    else
      marked[i] = false;
  }
}
