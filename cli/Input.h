// Input.h - what veklog-explain reads, as its command line chose: a log file
// (or standard input) or a journal, given to a LogSink the same way.
#ifndef CLI_INPUT_H
#define CLI_INPUT_H

#include <stdint.h>

#include <memory>
#include <string>

#include "cli/Options.h"
#include "logread/JournalSink.h"
#include "logread/JournalSource.h"
#include "logread/LogReader.h"
#include "logread/LogSink.h"
#include "logread/RotatedSet.h"

class Input {
public:
  // Reads every level; the sink filters. A Located source must have been
  // settled (settle()) first.
  explicit Input(const Options &o);

  // Where the lines come from, for messages: "standard input", the file's
  // path, "the system journal", ...
  std::string name() const;
  bool journal() const { return journal_ != nullptr; }
  LogReader *file() { return set_ ? &set_->live() : file_.get(); }
  JournalSource *journal_source() { return journal_.get(); }

  // Everything at first, then what is new; journal entries reach `extra`.
  LogStatus read(LogSink &sink, JournalSink *extra = nullptr);
  // Whether the last read's final line may still grow.
  bool line_open() const { return set_ ? set_->live().line_open() : file_ && file_->line_open(); }
  // Whether the log named has not been found yet (its rotated parts were read).
  bool log_missing() const { return set_ && !set_->found(); }
  // The rotated parts that could not be read, and why.
  std::vector<std::string> notes() const { return set_ ? set_->notes() : std::vector<std::string>(); }

private:
  bool stdin_ = false;
  std::unique_ptr<LogReader> file_;  // standard input, or a file alone (--no-rotated)
  std::unique_ptr<RotatedSet> set_;  // a file and its rotated parts
  std::unique_ptr<JournalSource> journal_;
};

// Without a source named, the server's configuration decides: sets o.log or
// o.source, and gives the sentence that says which source and why.
std::string settle(Options &o);

#endif
