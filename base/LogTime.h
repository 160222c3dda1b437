// LogTime.h - the times of log lines and of the --since/--until arguments.
#ifndef BASE_LOGTIME_H
#define BASE_LOGTIME_H

#include <stddef.h>
#include <time.h>

#include <string>

// The time a log line carries in columns 2 to 30, "[09/Dec/2026:10:00:00
// +0000]", as seconds since the epoch. False when the field is not such a
// time (a piece of a long line, a blank line, a line of another layout).
bool line_time(const char *line, size_t len, time_t *t);

// A time as an administrator writes it: "2026-12-09", "2026-12-09 10:00",
// "2026-12-09 10:00:30" (or with a T for the blank), optionally followed by
// "Z" or an offset ("+01:00", "+0100", "-05"), or in the log's own form
// "09/Dec/2026:10:00:30 +0000" (brackets and offset optional). Without an
// offset the time is local (TZ). Also, relative to now: "now", "today" and
// "yesterday" (local midnight), a time of today alone ("10:00", "10:00:30"),
// and spans back or forth: "-1h", "+30min", "1 hour ago", "30 min ago",
// "2 days ago", "1h 30min ago" (units s, m or min, h, d, w, in short or in
// words). False when it is none of these.
bool parse_time(const std::string &text, time_t *t);
// The same against a given now, for tests.
bool parse_time(const std::string &text, time_t now, time_t *t);

// "2026-12-09T10:00:30Z".
std::string iso_time(time_t t);

#endif
