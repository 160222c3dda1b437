// JournalSource.h - the print server's entries in the systemd journal, given
// as lines in the server's own layout, "L [dd/Mon/yyyy:hh:mm:ss +zzzz] text",
// and followed through the journal's change notification.
#ifndef LOGREAD_JOURNALSOURCE_H
#define LOGREAD_JOURNALSOURCE_H

#include <stdint.h>
#include <sys/types.h>
#include <time.h>

#include <string>
#include <vector>

#include "logread/JournalSink.h"
#include "logread/LogReader.h"
#include "logread/LogSink.h"

typedef struct sd_journal sd_journal;

// Reading the journal needs root or membership of one of these groups.
extern const char kJournalGroups[];

class JournalSource {
public:
  enum Kind {
    System,    // this host's system journal; `path`, when given, is an OS root to look in
    File,      // one journal file
    Directory  // a directory of journal files, such as a collector's, one per sender
  };

  explicit JournalSource(Kind kind, std::string path = "", int level = 0);
  ~JournalSource();
  JournalSource(const JournalSource &) = delete;
  JournalSource &operator=(const JournalSource &) = delete;

  Kind kind() const { return kind_; }
  const std::string &path() const { return path_; }
  // "the system journal", "the journal file F", "the journal directory D".
  std::string name() const;

  // The level filter of LogReader, applied to each entry's level letter.
  int level() const { return level_; }
  void level(int l);
  // Only entries of this host (_HOSTNAME), or of this job (JID); "" and -1
  // take all. A change, like one of the level, makes the next read fresh.
  void host(std::string name);
  void job(long id);

  // Reads what is new since the last read; the first read (and the first
  // after a change or forget()) gives everything, after sink.restart().
  // Every accepted entry reaches `extra` first, when given, then `sink` as
  // one line, or as pieces of at most LogReader::kPiece bytes when longer.
  // Failed when the journal cannot be opened; `damaged` when some of its
  // files could not be read (the rest was).
  LogStatus read(LogSink &sink, JournalSink *extra = nullptr);
  void forget() { fresh_ = true; }

  // Waits at most `usec` microseconds for the journal to change; true when
  // it did (then read()). False at once when it cannot be opened.
  bool wait(uint64_t usec);
  // A descriptor that becomes readable when the journal changes, for an
  // event loop to watch (then read()); -1 when it cannot be opened.
  int fd();

private:
  struct Part {
    sd_journal *j = nullptr;
    dev_t dev = 0;  // the file of a directory's part, to know it again
    ino_t ino = 0;
    bool live = true;  // still in the directory
  };

  Kind kind_;
  std::string path_;
  int level_;
  std::string host_;
  long job_ = -1;

  bool opened_ = false;
  bool fresh_ = true;
  bool rescan_ = true;       // look for new files in the directory
  sd_journal *watch_ = nullptr;  // the handle whose notification is followed
  std::vector<Part> parts_;  // one handle per file of a directory; else the watch itself
  std::string failure_;      // why the journal cannot be opened
  int error_ = 0;
  std::string unreadable_;   // files of the directory that cannot be read, and why

  // Reused for every entry; the time field of the last second formatted.
  std::string line_;
  JournalEntry entry_;
  char stamp_[28];
  time_t stamp_second_ = 0;
  bool stamp_valid_ = false;

  bool open();
  void close_all();
  bool matches(sd_journal *j) const;
  void scan_directory();
  bool take(sd_journal *j, LogSink &sink, JournalSink *extra);
  bool system_unreadable() const;
};

#endif
