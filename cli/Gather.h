// Gather.h - the reader's lines for the terminal: the pieces of a long line
// joined into the one line they are, over one read or many while following.
#ifndef CLI_GATHER_H
#define CLI_GATHER_H

#include <stddef.h>

#include <string>
#include <vector>

#include "logread/LogSink.h"

class Gather : public LogSink {
public:
  void restart() override;
  void drop_unfinished() override;
  void line(const char *text, size_t len, bool continued) override;

  // The lines gathered since the last take, whole, in file order. With
  // `hold`, a last line without its newline stays behind: a later read may
  // withdraw its end or go on with it; when that read brings other lines
  // instead, it stands as it is and comes first then.
  std::vector<std::string> take(bool hold);
  // Whether a read started over (restart()) since the last take, and
  // whether a line is held back.
  bool restarted() const { return restarted_; }
  bool holding() const { return !lines_.empty(); }

private:
  std::vector<std::string> lines_;
  size_t piece_ = 0;  // bytes of the last piece given: what a withdrawal takes back
  bool restarted_ = false;
};

#endif
