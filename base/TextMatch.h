// TextMatch.h - a text looked for in log lines as someone types it: a plain
// substring, with the letters A to Z matching either case and every other
// byte (UTF-8 included) matching only itself.
#ifndef BASE_TEXTMATCH_H
#define BASE_TEXTMATCH_H

#include <stddef.h>
#include <string.h>

#include <string>

class TextMatch {
public:
  static constexpr size_t npos = (size_t)-1;
  // Texts are cut at this many bytes: nobody types more into a search.
  static constexpr size_t kMax = 255;

  // An empty text is found everywhere, at 0.
  explicit TextMatch(const char *text = "");

  const std::string &text() const { return text_; }
  bool empty() const { return text_.empty(); }

  // Where the text first occurs in s[0, len), or npos.
  size_t find(const char *s, size_t len) const;
  size_t find(const char *s) const { return find(s, strlen(s)); }
  bool in(const char *s, size_t len) const { return find(s, len) != npos; }

  // Whether a stored log line (or a piece that continues one) holds the text
  // where the list shows it: a line from its third character on, after its
  // level letter and the blank; a piece whole.
  bool in_line(const char *line, size_t len, bool piece = false) const;

  // True when every text that holds `other`'s text also holds this one's,
  // because this one's occurs in it: narrowing a filter from this text to
  // `other` only takes lines away.
  bool covers(const TextMatch &other) const {
    return find(other.text_.data(), other.text_.size()) != npos;
  }

private:
  std::string text_;   // as given, cut
  std::string lower_;  // with A to Z folded to lower case
  size_t anchor_ = 0, anchor2_ = 0;  // the bytes of the text scanned for: the rarest two
};

// Lets through the lines that hold a filter's text, for the readers of the
// log: a piece that continues a long line goes with its line, which is judged
// by its first piece.
class LineGate {
public:
  explicit LineGate(const TextMatch *match = nullptr) : match_(match) {}
  // Whether to take this line or piece. `continued` as the log reader gives it.
  bool take(const char *text, size_t len, bool continued) {
    if (!continued) open_ = !match_ || match_->empty() || match_->in_line(text, len);
    return open_;
  }
  // Whether the last line judged was let through.
  bool open() const { return open_; }
  void open(bool o) { open_ = o; }

private:
  const TextMatch *match_;
  bool open_ = true;
};

#endif
