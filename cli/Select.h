// Select.h - which of the log's lines veklog-explain lists: the text they
// must hold (--grep, -E) and the newest N of them (--lines).
#ifndef CLI_SELECT_H
#define CLI_SELECT_H

#include <regex.h>
#include <stddef.h>

#include <string>
#include <vector>

// A line holds the text in any case (ASCII letters), or matches the
// extended regular expression, also in any case. Without a text every line
// matches. The newline ending a line is no part of what is matched.
class LineMatch {
public:
  // An expression that does not compile matches nothing; the command line
  // refuses it before (see parse_options).
  explicit LineMatch(const std::string &text = "", bool regex = false);
  ~LineMatch();
  LineMatch(const LineMatch &) = delete;
  LineMatch &operator=(const LineMatch &) = delete;

  bool all() const { return !given_; }  // no text: every line matches
  bool operator()(const char *line, size_t len) const;
  bool operator()(const std::string &line) const { return (*this)(line.data(), line.size()); }

private:
  bool given_ = false;  // a text was given
  bool regex_ = false, compiled_ = false;
  std::string folded_;  // the text in lower case
  regex_t re_;
};

// Of the lines marked, leaves the last n marked (n < 0: all).
void keep_newest(std::vector<bool> &marked, long n);

#endif
