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
// How it runs: a leading run of plain characters is compared directly. For
// the rest, patterns without groups are first tried the quick way: every
// element but "*" takes one character, so on a mismatch only the latest "*"
// takes one more character and matching resumes after it. A line made to
// nearly fit could make that cost |pattern| for every character, so after a
// bounded number of tries (and at the first group) the set machine decides:
// its states are pattern positions, and it keeps the set of positions that
// the text read so far can reach, one bit per position. What each position
// reaches without reading text (into the alternatives of a group, past "}",
// separators and "*") is worked out once; each text character then moves
// every live position that accepts it, a word of positions at a time. A step
// already taken from the same set on the same character is remembered.
// Nothing backtracks without bound or recurses, nothing is read past either
// terminator, and the work stays within |pattern| x |text| (a set's members
// are scanned when it is tried). A "*" that ends the pattern accepts at once.
// Patterns of up to 256 characters never allocate; the set machine takes two
// heap blocks for longer ones (and matches nothing if it cannot have them).
bool pattern_match(const char *text, const char *pattern);

#endif
