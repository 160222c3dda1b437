// open_regular.cxx - the opener shared by every reader of files.
#include "base/open_regular.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

// 0 for a regular file; otherwise the errno that refuses it.
static int refusal(const struct stat &st) {
  if (S_ISREG(st.st_mode)) return 0;
  return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
}

int open_regular(const char *path, struct stat *st) {
  if (!path) {
    errno = ENOENT;
    return -1;
  }
  struct stat own;
  if (!st) st = &own;
  // A name that is not a regular file now is not opened at all: even an open
  // that cannot block makes a FIFO's writer see a reader that is not there.
  if (stat(path, st) != 0) return -1;
  int error = refusal(*st);
  if (error) {
    errno = error;
    return -1;
  }
  // The name may be swapped between the look and the open: the open cannot
  // block, and the descriptor is looked at again.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  error = fstat(fd, st) != 0 ? errno : refusal(*st);
  if (error) {
    close(fd);
    errno = error;
    return -1;
  }
  // A regular file never blocks anyway; readers that wait on it stay simple.
  int flags = fcntl(fd, F_GETFL);
  if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

FILE *fopen_regular(const char *path) {
  int fd = open_regular(path);
  if (fd < 0) return nullptr;
  FILE *fp = fdopen(fd, "r");
  if (!fp) {
    int error = errno;
    close(fd);
    errno = error;
  }
  return fp;
}
