// open_regular.h - opening a file for reading only when it is a regular file,
// without ever waiting on it: the one opener the log, the knowledge base and
// the rc file readers share.
#ifndef BASE_OPEN_REGULAR_H
#define BASE_OPEN_REGULAR_H

#include <stdio.h>
#include <sys/stat.h>

// Opens path read-only. A FIFO, device or directory is refused after an open
// that cannot block (a FIFO would otherwise wait for a writer). Returns a
// blocking, close-on-exec descriptor and fills *st when st is given; or -1
// with errno set: the open's own errno, EISDIR for a directory, EINVAL for
// anything else that is not a regular file.
int open_regular(const char *path, struct stat *st = nullptr);

// The same as a stdio stream, for line readers; null with errno set.
FILE *fopen_regular(const char *path);

#endif
