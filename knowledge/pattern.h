// pattern.h - the matcher for knowledge base patterns: decides whether the
// message part of a log line fits an item's pattern.
#ifndef KNOWLEDGE_PATTERN_H
#define KNOWLEDGE_PATTERN_H

// Returns true when `pattern` matches the whole of `text` (a null text or
// pattern matches nothing). The pattern language:
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
// How it runs: the pattern is read as a small machine whose states are
// pattern positions, and matching keeps the set of positions that the text
// read so far can reach, one bit per position. Before reading, it works out
// once what each position reaches without reading text (into the
// alternatives of a group, past "}", past separators, past "*"). Each text
// character then moves every live position that accepts it, a word of
// positions at a time, and adds what the new positions reach. Nothing
// backtracks or recurses, and nothing is read past either terminator, so the
// work is bounded by |pattern| x |text| (a set's members are scanned when it
// is tried). A step already taken from the same set of positions on the same
// character is remembered, so long runs of similar text cost little. A
// leading run of plain characters is compared directly first, and a "*" that
// ends the pattern accepts at once. Patterns of up to 256 characters are
// matched without allocating; longer ones take two heap blocks per call (and
// match nothing if those cannot be had).
bool pattern_match(const char *text, const char *pattern);

#endif
