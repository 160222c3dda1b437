// open_regular.cxx - the opener shared by every reader of files.
#include "logread/open_regular.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

int open_regular(const char *path, struct stat *st) {
  if (!path) {
    errno = ENOENT;
    return -1;
  }
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat own;
  if (!st) st = &own;
  int error = 0;
  if (fstat(fd, st) != 0)
    error = errno;
  else if (S_ISDIR(st->st_mode))
    error = EISDIR;
  else if (!S_ISREG(st->st_mode))
    error = EINVAL;
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
