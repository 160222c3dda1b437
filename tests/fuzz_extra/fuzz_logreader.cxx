// fuzz_logreader.cxx - feeds arbitrary bytes to the log list as a log that
// grows, shrinks or is rewritten between two reads, and checks that following
// the file always lists what a fresh read of it lists.
//
// Input: byte 0 chooses the filter level, byte 1 how the file changes, bytes
// 2-3 where the bytes are split into "before" and "after"; the rest is the log.
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "logview/ErrorBrowser.h"

static char path[64];

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  snprintf(path, sizeof path, "/tmp/veklog-fuzz-log-%d", (int)getpid());
  return 0;
}

static void put(const uint8_t *data, size_t size, int flags) {
  int fd = open(path, O_WRONLY | O_CREAT | flags, 0644);
  if (fd < 0) abort();
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) abort();
    done += (size_t)n;
  }
  close(fd);
}

static void load(ErrorBrowser &list, int level) {
  list.level_ = level;
  snprintf(list.filename_, sizeof list.filename_, "%s", path);
  list.load();
}

// Every listed line is a piece of at most 10239 bytes that the level lets through.
static void check_lines(ErrorBrowser &list, int level) {
  for (int i = 1; i <= list.size(); i++) {
    const char *t = list.text(i);
    if (!t) abort();
    size_t n = strlen(t);
    if (n > 10239) abort();
    if (level == 0 && !(n && strchr("XACE", t[0]))) abort();
    if (level == 1 && !(n && strchr("XACEWNI", t[0]))) abort();
    if (level > 2) abort();
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4) return 0;
  int level = data[0] % 4;
  int how = data[1] % 3;
  size_t split = ((size_t)data[2] << 8 | data[3]);
  data += 4;
  size -= 4;
  if (split > size) split = size;

  ErrorBrowser list(0, 0, 400, 300);
  put(data, split, O_TRUNC);
  load(list, level);
  check_lines(list, level);
  switch (how) {
    case 0:  // grows
      put(data + split, size - split, O_APPEND);
      break;
    case 1:  // cut back to its first half, then grows again
      put(data, split / 2, O_TRUNC);
      load(list, level);
      put(data + split, size - split, O_APPEND);
      break;
    case 2:  // replaced in place by the second part
      put(data + split, size - split, O_TRUNC);
      break;
  }
  load(list, level);
  check_lines(list, level);

  ErrorBrowser fresh(0, 0, 400, 300);
  load(fresh, level);
  if (fresh.size() != list.size()) abort();
  for (int i = 1; i <= list.size(); i++)
    if (strcmp(fresh.text(i), list.text(i)) != 0) abort();
  unlink(path);
  return 0;
}
