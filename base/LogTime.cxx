// LogTime.cxx - reading the log's time field and the times given as options.
#include "base/LogTime.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

namespace {

const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// n decimal digits at s (stopping at the terminator), or -1.
int digits(const char *s, int n) {
  int v = 0;
  for (int i = 0; i < n; i++) {
    if (s[i] < '0' || s[i] > '9') return -1;
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

struct tm tm_of(int year, int mon, int day, int h, int m, int s) {
  struct tm tm;
  memset(&tm, 0, sizeof tm);
  tm.tm_year = year - 1900;
  tm.tm_mon = mon;
  tm.tm_mday = day;
  tm.tm_hour = h;
  tm.tm_min = m;
  tm.tm_sec = s;
  return tm;
}

// Turns the broken-down time into seconds: UTC less offset_s when `zoned`,
// else local time. False for times that do not exist (31 April, 24:00).
bool to_time(struct tm tm, bool zoned, long offset_s, time_t *t) {
  if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 ||
      tm.tm_min > 59 || tm.tm_sec > 60)
    return false;
  int day = tm.tm_mday;
  time_t v;
  if (zoned) {
    v = timegm(&tm) - offset_s;
  } else {
    tm.tm_isdst = -1;
    v = mktime(&tm);
  }
  if (tm.tm_mday != day) return false;
  *t = v;
  return true;
}

// "+0100", "+01:00", "-05" or "Z": the whole of s. False for anything else.
bool offset(const char *s, long *seconds) {
  if (!strcmp(s, "Z") || !strcmp(s, "z")) {
    *seconds = 0;
    return true;
  }
  if (*s != '+' && *s != '-') return false;
  long sign = *s == '-' ? -1 : 1;
  s++;
  int h = digits(s, 2), m = 0;
  if (h < 0) return false;
  s += 2;
  if (*s == ':') s++;
  if (*s) {
    m = digits(s, 2);
    if (m < 0 || s[2]) return false;
  }
  if (h > 23 || m > 59) return false;
  *seconds = sign * (h * 3600L + m * 60L);
  return true;
}

// The log's form, "09/Dec/2026:10:00:00", at the start of s (20 characters
// at least, not checked here).
bool log_form(const char *s, struct tm *tm) {
  int day = digits(s, 2), year = digits(s + 7, 4);
  int h = digits(s + 12, 2), m = digits(s + 15, 2), sec = digits(s + 18, 2);
  if (day < 0 || year < 0 || h < 0 || m < 0 || sec < 0 || s[2] != '/' || s[6] != '/' ||
      s[11] != ':' || s[14] != ':' || s[17] != ':')
    return false;
  for (int mon = 0; mon < 12; mon++)
    if (!strncmp(s + 3, kMonths[mon], 3)) {
      *tm = tm_of(year, mon, day, h, m, sec);
      return true;
    }
  return false;
}

// Local midnight of the day `days` after the one `now` falls on.
time_t midnight(time_t now, int days) {
  struct tm tm;
  localtime_r(&now, &tm);
  tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
  tm.tm_mday += days;
  tm.tm_isdst = -1;
  return mktime(&tm);
}

// Seconds in a unit of a span, or 0 for no unit.
long unit_seconds(const std::string &u) {
  static const struct {
    const char *names[5];
    long seconds;
  } kUnits[] = {{{"s", "sec", "secs", "second", "seconds"}, 1},
                {{"m", "min", "mins", "minute", "minutes"}, 60},
                {{"h", "hr", "hrs", "hour", "hours"}, 3600},
                {{"d", "day", "days", nullptr, nullptr}, 86400},
                {{"w", "week", "weeks", nullptr, nullptr}, 7 * 86400}};
  for (const auto &unit : kUnits)
    for (const char *name : unit.names)
      if (name && u == name) return unit.seconds;
  return 0;
}

// "-1h", "+30min", "1 hour ago", "1h 30min ago": a span back (a leading
// minus or a trailing "ago") or forth (a leading plus) from now.
bool span_time(std::string s, time_t now, time_t *t) {
  int sign = 0;
  if (s.size() > 4 && s.compare(s.size() - 4, 4, " ago") == 0) {
    sign = -1;
    s.resize(s.size() - 4);
  } else if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    sign = s[0] == '-' ? -1 : 1;
    s.erase(0, 1);
  }
  if (!sign) return false;
  long long total = 0;
  size_t i = 0, n = s.size();
  bool any = false;
  while (i < n) {
    while (i < n && s[i] == ' ') i++;
    if (i == n) break;
    size_t start = i;
    long long v = 0;
    while (i < n && isdigit((unsigned char)s[i]) && i - start < 9) v = v * 10 + (s[i++] - '0');
    if (i == start || (i < n && isdigit((unsigned char)s[i]))) return false;
    while (i < n && s[i] == ' ') i++;
    size_t u = i;
    while (i < n && isalpha((unsigned char)s[i])) i++;
    long per = unit_seconds(s.substr(u, i - u));
    if (!per) return false;
    total += v * per;
    any = true;
  }
  if (!any || total > 100LL * 366 * 86400) return false;
  *t = now + sign * (time_t)total;
  return true;
}

// "10:00" or "10:00:30" alone: that time today, local.
bool clock_time(const std::string &s, time_t now, time_t *t) {
  const char *p = s.c_str();
  int h = digits(p, 2), m, sec = 0;
  if (h < 0 || p[2] != ':') return false;
  m = digits(p + 3, 2);
  if (m < 0) return false;
  if (p[5] == ':') {
    sec = digits(p + 6, 2);
    if (sec < 0 || p[8]) return false;
  } else if (p[5]) {
    return false;
  }
  struct tm tm;
  localtime_r(&now, &tm);
  return to_time(tm_of(tm.tm_year + 1900, tm.tm_mon, tm.tm_mday, h, m, sec), false, 0, t);
}

// Times given relative to now; false when `s` is none of them.
bool relative_time(const std::string &text, time_t now, time_t *t) {
  size_t b = text.find_first_not_of(' '), e = text.find_last_not_of(' ');
  std::string s = b == std::string::npos ? "" : text.substr(b, e - b + 1);
  for (char &c : s) c = (char)tolower((unsigned char)c);
  if (s == "now") {
    *t = now;
    return true;
  }
  if (s == "today" || s == "yesterday" || s == "tomorrow") {
    *t = midnight(now, s == "today" ? 0 : s == "yesterday" ? -1 : 1);
    return true;
  }
  return clock_time(s, now, t) || span_time(s, now, t);
}

}  // namespace

bool line_time(const char *line, size_t len, time_t *t) {
  // "E [09/Dec/2026:10:00:00 +0000] ": the field is columns 2 to 30.
  if (len < 30 || line[2] != '[' || line[23] != ' ' || line[29] != ']') return false;
  struct tm tm;
  if (!log_form(line + 3, &tm)) return false;
  char zone[6];
  memcpy(zone, line + 24, 5);
  zone[5] = '\0';
  long off;
  return strlen(zone) == 5 && offset(zone, &off) && to_time(tm, true, off, t);
}

bool parse_time(const std::string &text, time_t *t) { return parse_time(text, time(nullptr), t); }

bool parse_time(const std::string &text, time_t now, time_t *t) {
  if (relative_time(text, now, t)) return true;
  std::string s = text;
  if (!s.empty() && s.front() == '[' && s.back() == ']') s = s.substr(1, s.size() - 2);
  struct tm tm;
  std::string rest;
  if (s.size() >= 20 && log_form(s.c_str(), &tm)) {
    rest = s.substr(20);
  } else {
    // 2026-12-09[( |T)10:00[:00]]
    const char *p = s.c_str();
    if (s.size() < 10) return false;
    int y = digits(p, 4), mo = digits(p + 5, 2), d = digits(p + 8, 2);
    if (y < 0 || mo < 0 || d < 0 || p[4] != '-' || p[7] != '-') return false;
    int h = 0, mi = 0, sec = 0;
    size_t i = 10;
    if (s.size() >= i + 6 && (s[i] == ' ' || s[i] == 'T' || s[i] == 't')) {
      h = digits(p + i + 1, 2);
      mi = digits(p + i + 4, 2);
      if (h < 0 || mi < 0 || p[i + 3] != ':') return false;
      i += 6;
      if (i < s.size() && s[i] == ':') {
        if (s.size() < i + 3) return false;
        sec = digits(p + i + 1, 2);
        if (sec < 0) return false;
        i += 3;
      }
    }
    tm = tm_of(y, mo - 1, d, h, mi, sec);
    rest = s.substr(i);
  }
  if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  if (rest.empty()) return to_time(tm, false, 0, t);
  long off;
  return offset(rest.c_str(), &off) && to_time(tm, true, off, t);
}

std::string iso_time(time_t t) {
  struct tm tm;
  char buf[32];
  if (!gmtime_r(&t, &tm) || !strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm)) return "";
  return buf;
}
