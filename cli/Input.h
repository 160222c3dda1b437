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

class Input {
public:
  // Reads every level; the sink filters. A Located source must have been
  // settled (settle()) first.
  explicit Input(const Options &o);

  // Where the lines come from, for messages: "standard input", the file's
  // path, "the system journal", ...
  std::string name() const;
  bool journal() const { return journal_ != nullptr; }
  LogReader *file() { return file_.get(); }
  JournalSource *journal_source() { return journal_.get(); }

  // Everything at first, then what is new; journal entries reach `extra`.
  LogStatus read(LogSink &sink, JournalSink *extra = nullptr);
  // Whether the last read's final line may still grow.
  bool line_open() const { return file_ && file_->line_open(); }

private:
  bool stdin_ = false;
  std::unique_ptr<LogReader> file_;
  std::unique_ptr<JournalSource> journal_;
};

// Without a source named, the server's configuration decides: sets o.log or
// o.source, and gives the sentence that says which source and why.
std::string settle(Options &o);

#endif
