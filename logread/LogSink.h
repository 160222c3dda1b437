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
  // comes again, longer). Of a long line only its last piece is withdrawn:
  // the pieces before it stand.
  virtual void drop_unfinished() = 0;
  // One accepted line, or one piece of a long line, in file order.
  // text[len] == '\0'; the text ends at its first NUL byte if it holds one
  // (len counts to that NUL). A trailing "\r\n" is kept as read: what is
  // stored is what the patterns see. `continued`: the piece continues the
  // line given just before it (in this read or an earlier one) and has no
  // level letter of its own; it comes only when its line was accepted.
  virtual void line(const char *text, size_t len, bool continued) = 0;
};

#endif
