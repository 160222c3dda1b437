// LogLine.h - the layout of a line of the server's log as the readers store
// it: the level letter in column 0, the time field in columns 2 to 30, the
// message part from column 31, newline kept.
#ifndef BASE_LOGLINE_H
#define BASE_LOGLINE_H

#include <stddef.h>

// Where the message part starts.
const size_t kMessageColumn = 31;
// A line longer than this (newline counted) arrives in pieces of this many
// bytes; only the last piece ends in the newline.
const size_t kPieceBytes = 10239;

// The job a line speaks of: N when its message part starts "[Job N] ", else 0.
inline int line_job(const char *line, size_t len) {
  static const char kPrefix[] = "[Job ";
  if (len < kMessageColumn + sizeof kPrefix) return 0;
  const char *p = line + kMessageColumn;
  for (size_t i = 0; i + 1 < sizeof kPrefix; i++)
    if (p[i] != kPrefix[i]) return 0;
  p += sizeof kPrefix - 1;
  const char *digits = p, *end = line + len;
  int n = 0;
  for (; p < end && *p >= '0' && *p <= '9' && p - digits < 9; p++) n = n * 10 + (*p - '0');
  if (p == digits || end - p < 2 || p[0] != ']' || p[1] != ' ' || n <= 0) return 0;
  return n;
}

#endif
