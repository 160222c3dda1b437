// Input.cxx - opening the source the command line chose.
#include "cli/Input.h"

#include <unistd.h>

#include "logread/LogLocation.h"

Input::Input(const Options &o) {
  switch (o.source) {
    case Options::Journal:
      journal_.reset(new JournalSource(JournalSource::System, "", 2));
      break;
    case Options::JournalFile:
      journal_.reset(new JournalSource(JournalSource::File, o.journal, 2));
      break;
    case Options::JournalDir:
      journal_.reset(new JournalSource(JournalSource::Directory, o.journal, 2));
      break;
    default:
      stdin_ = o.log == "-";
      if (!stdin_ && o.rotated)
        set_.reset(new RotatedSet(o.log, 2));
      else
        file_.reset(new LogReader(stdin_ ? "" : o.log, 2));
      return;
  }
  journal_->host(o.host);
}

std::string Input::name() const {
  if (journal_) return journal_->name();
  return stdin_ ? "standard input" : set_ ? set_->live().path() : file_->path();
}

LogStatus Input::read(LogSink &sink, JournalSink *extra) {
  if (journal_) return journal_->read(sink, extra);
  if (set_) return set_->read(sink);
  return stdin_ ? file_->read_stream(STDIN_FILENO, sink) : file_->read(sink);
}

std::string settle(Options &o) {
  if (o.source != Options::Located) return "";
  LogLocation where = locate_log();
  if (where.kind == LogLocation::Journal)
    o.source = Options::Journal;
  else {
    o.log = where.path;
    o.source = Options::Named;
  }
  return where.reason;
}
