// fuzz_logreader.cxx - feeds arbitrary bytes to the log reader as a log that
// grows, shrinks or is rewritten between two reads, and checks that following
// the file always gives what a fresh read of it gives.
//
// Input: byte 0 chooses the filter level, byte 1 how the file changes, bytes
// 2-3 where the bytes are split into "before" and "after"; the rest is the log.
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "logread/LogReader.h"
#include "tests/support/test_util.h"

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

// Every line is a piece of at most 10239 bytes, ending at its first NUL, of
// a line that the level lets through: a line's first piece has a letter the
// level takes, and a piece that continues a line follows one without its
// newline.
static void check_lines(const LineSink &sink, int level) {
  for (size_t i = 0; i < sink.lines.size(); i++) {
    const std::string &t = sink.lines[i];
    if (t.size() > LogReader::kPiece || memchr(t.data(), 0, t.size())) abort();
    if (sink.continued[i] == '+') {
      if (i == 0 || (!sink.lines[i - 1].empty() && sink.lines[i - 1].back() == '\n')) abort();
      continue;
    }
    if (level == 2) continue;
    if (level > 2 || t.empty() || !LogReader::accepts(level, (unsigned char)t[0])) abort();
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

  LogReader reader(path, level);
  LineSink list;
  put(data, split, O_TRUNC);
  reader.read(list);
  check_lines(list, level);
  switch (how) {
    case 0:  // grows
      put(data + split, size - split, O_APPEND);
      break;
    case 1:  // cut back to its first half, then grows again
      put(data, split / 2, O_TRUNC);
      reader.read(list);
      put(data + split, size - split, O_APPEND);
      break;
    case 2:  // replaced in place by the second part
      put(data + split, size - split, O_TRUNC);
      break;
  }
  reader.read(list);
  check_lines(list, level);

  LineSink fresh;
  LogReader(path, level).read(fresh);
  if (fresh.lines != list.lines || fresh.continued != list.continued) abort();
  unlink(path);
  return 0;
}
