// genjournal.cxx - turns a log in the server's layout (genlog's) into the
// journal's export format, as the server would have logged it there: the
// level as PRIORITY, the time as the realtime stamp, job lines with a JID;
// systemd-journal-remote then writes the journal file.
//
//   genjournal HOSTS < LOG > EXPORT   (the entries go round HOSTS host names)
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

namespace {

const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";

int priority(char level) {
  const char *p = strchr("XACEWNID", level);
  return level == 'd' ? 7 : p && level ? (int)(p - "XACEWNID") : 6;
}

// "[09/Dec/2026:10:00:00 +0000]" at columns 2 to 29, as seconds; 0 if not.
time_t when(const char *l, size_t n) {
  if (n < 31 || l[2] != '[' || l[29] != ']') return 0;
  struct tm tm = {};
  const char *m = strstr(kMonths, std::string(l + 6, 3).c_str());
  if (!m) return 0;
  tm.tm_mday = atoi(l + 3);
  tm.tm_mon = (int)(m - kMonths) / 3;
  tm.tm_year = atoi(l + 10) - 1900;
  tm.tm_hour = atoi(l + 15);
  tm.tm_min = atoi(l + 18);
  tm.tm_sec = atoi(l + 21);
  long off = (atoi(l + 25) / 100) * 3600 + (atoi(l + 25) % 100) * 60;
  return timegm(&tm) - (l[24] == '-' ? -off : off);
}

void field(const char *name, const char *v, size_t n) {
  bool binary = false;
  for (size_t i = 0; i < n; i++)
    if ((unsigned char)v[i] < 0x20) binary = true;
  if (!binary) {
    printf("%s=%.*s\n", name, (int)n, v);
    return;
  }
  printf("%s\n", name);
  for (int i = 0; i < 8; i++) putchar((int)((n >> (8 * i)) & 0xff));
  fwrite(v, 1, n, stdout);
  putchar('\n');
}

}  // namespace

int main(int argc, char **argv) {
  int hosts = argc > 1 ? atoi(argv[1]) : 1;
  if (hosts < 1) hosts = 1;
  char *line = nullptr;
  size_t cap = 0;
  ssize_t n;
  uint64_t seq = 0, last = 0;
  while ((n = getline(&line, &cap, stdin)) > 0) {
    if (line[n - 1] == '\n') n--;
    time_t t = when(line, (size_t)n);
    if (!t) continue;
    // Strictly increasing, as a journal's clock would be.
    uint64_t usec = (uint64_t)t * 1000000;
    if (usec <= last) usec = last + 1;
    last = usec;
    int host = (int)(seq++ % (uint64_t)hosts);
    printf("__REALTIME_TIMESTAMP=%llu\n__MONOTONIC_TIMESTAMP=%llu\n", (unsigned long long)usec,
           (unsigned long long)(usec - 1700000000000000ull));
    printf("_BOOT_ID=%032x\n_HOSTNAME=print%d\nPRIORITY=%d\nSYSLOG_IDENTIFIER=tarnd\n", host + 1,
           host + 1, priority(line[0]));
    const char *msg = line + 31;
    long job;
    if (sscanf(msg, "[Job %ld] ", &job) == 1) printf("JID=%ld\n", job);
    field("MESSAGE", msg, (size_t)(n - 31));
    putchar('\n');
  }
  free(line);
  return 0;
}
