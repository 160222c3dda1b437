// JournalSink.h - what a line read from the journal knows beyond its text:
// the host that wrote it, its job, its time and priority.
#ifndef LOGREAD_JOURNALSINK_H
#define LOGREAD_JOURNALSINK_H

#include <stdint.h>

#include <string>

struct JournalEntry {
  std::string host;       // _HOSTNAME; empty when the entry has none
  long job = -1;          // JID; -1 when the entry has none
  uint64_t realtime = 0;  // microseconds since the epoch
  int priority = -1;      // PRIORITY, 0 to 7; -1 when missing or not a number in that range
};

class JournalSink {
public:
  virtual ~JournalSink() = default;
  // One accepted entry, given just before the LogSink's line() calls for its
  // pieces: every line() until the next entry() belongs to it.
  virtual void entry(const JournalEntry &e) = 0;
};

#endif
