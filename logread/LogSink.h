// LogSink.h - where a LogReader delivers the lines it accepts.
#ifndef LOGREAD_LOGSINK_H
#define LOGREAD_LOGSINK_H

#include <stddef.h>

class LogSink {
public:
  virtual ~LogSink() = default;
  // A read from the start of the file follows (or the file cannot be read):
  // forget every line given so far.
  virtual void restart() = 0;
  // The unfinished last line given by the previous read is withdrawn (it
  // comes again, longer).
  virtual void drop_unfinished() = 0;
  // One accepted line (or a piece of a long line), in file order.
  // text[len] == '\0'; the text ends at its first NUL byte if it holds one
  // (len counts to that NUL). A trailing "\r\n" is kept as read: what is
  // stored is what the patterns see.
  virtual void line(const char *text, size_t len) = 0;
};

#endif
