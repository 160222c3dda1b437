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

#endif
