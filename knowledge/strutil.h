// strutil.h - small string helpers shared by every part of the program:
// bounded copies into fixed buffers.
#ifndef KNOWLEDGE_STRUTIL_H
#define KNOWLEDGE_STRUTIL_H
#include <stddef.h>

// Copies src into dst[size], cutting it short when it does not fit; dst is
// always terminated when size > 0. A null src gives an empty string. Returns
// the number of characters stored (not counting the terminator).
size_t copy_bounded(char *dst, size_t size, const char *src);

#endif
