// pattern.h - the matcher for knowledge base patterns: decides whether the
// message part of a log line fits an item's pattern.
#ifndef KNOWLEDGE_PATTERN_H
#define KNOWLEDGE_PATTERN_H

#include <memory>
#include <string>

// The pattern language:
//
//   ?          any one character (never the end of the text)
//   *          any run of characters, including none
//   [set]      one character of the set; a-b is a range (both ends included),
//              ^ or ! first negates, the first member is always literal
//              ("[]]", "[-a]"); members compare exactly, as unsigned bytes.
//              A "-" just before "]" is a plain member, so is "-" right after
//              a range ("[a-c-e]" is a..c, "-" and "e"); a reversed range
//              ("[b-a]") holds nothing; "\" and braces are plain members.
//              A set without its closing "]" matches nothing.
//   {a|b}      one of the alternatives, tried left to right, each followed by
//   {a,b}      the rest of the pattern after the group's closing "}".
//   , or |     met while matching: the alternative is over; matching goes on
//              after the first "}" that closes no group opened after this
//              character ("\" hides the next character from that search).
//              With no such "}" the pattern ends here and so must the text.
//   }          met while matching: nothing, it is skipped.
//   \c         c as a plain character; a "\" at the very end matches "\".
//   other      itself; A-Z and a-z match either case, other bytes exactly.
//
// An alternative that holds a group of its own and fails hands over to the
// next alternative of its own group: "{a{b|c}d|e}" matches "abd", "acd", "e".
//
// How it runs: a pattern without groups is first tried the quick way: every
// element but "*" takes one character, so on a mismatch only the latest "*"
// takes one more character and matching resumes after it (text that cannot
// start what follows a "*" is skipped at once; a "*" that ends the pattern
// takes the rest). A line made to nearly fit could make that cost |pattern|
// for every character, so after a bounded number of tries (and always for a
// pattern with groups) the set machine decides: its states are pattern
// positions, and it keeps the set of positions that the text read so far can
// reach, one bit per position. What each position reaches without reading
// text (into the alternatives of a group, past "}", separators and "*") is
// worked out when the pattern is compiled; each text character then moves
// every live position that accepts it, a word of positions at a time, and a
// step already taken from the same set on the same character is remembered
// (on long runs of alike text the set soon stops changing). Nothing
// backtracks without bound or recurses, nothing is read past either
// terminator, and the work stays within |pattern| x |text| (a set's members
// are scanned when it is tried).
class Pattern {
public:
  // Compiles the pattern; a null pattern matches nothing. The set machine of
  // a pattern with groups is built here; that of a pattern without groups
  // only the first time a line needs it (most never do), and then kept, so
  // a Pattern is not for two threads at once. A pattern whose tables cannot
  // be had (no memory) matches nothing.
  explicit Pattern(const char *pattern);
  ~Pattern();
  Pattern(Pattern &&other) noexcept;
  Pattern &operator=(Pattern &&other) noexcept;
  Pattern(const Pattern &) = delete;
  Pattern &operator=(const Pattern &) = delete;

  // Whether the pattern matches the whole of `text` (a null text: no).
  bool match(const char *text) const;

private:
  struct Machine;
  // NONE: null, matches nothing; END: empty, matches the empty text; ANY:
  // "*"; QUICK: no groups, tried the quick way first; GROUPS: the machine.
  enum Kind { NONE, END, ANY, QUICK, GROUPS };
  Kind kind_;
  std::string pattern_;
  mutable std::unique_ptr<Machine> machine_;
};

// Compiles `pattern` and matches it against `text` once; false when either is
// null. For patterns matched again and again, keep a Pattern.
bool pattern_match(const char *text, const char *pattern);

#endif
