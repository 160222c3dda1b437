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
  // The file followed has gone from the path (renamed away, replaced,
  // deleted) or cannot be read now, and the lines given so far are all it
  // held, read through the descriptor still open. `elsewhere`: it is still
  // there under another name, the lines are still history. A sink that
  // keeps them returns true; the lines that follow come from the file then
  // at the path, from its start (or, when the same file is back after a
  // failure, from where the reading stopped). By default they are
  // forgotten, as by restart().
  virtual bool keep(bool elsewhere) {
    (void)elsewhere;
    restart();
    return false;
  }
  // The lines that follow, until the next call, are read from the plain
  // file open at `fd`: the log read afresh, a file rotated in between, the
  // one that took the log's name, or the log open again after it could not
  // be read. A sink that reads lines back by their offsets may keep a
  // duplicate of it; `fd` is valid only during the call.
  virtual void file_start(int fd) { (void)fd; }
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
