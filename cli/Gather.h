// Gather.h - the reader's lines for the terminal: the pieces of a long line
// joined into the one line they are, over one read or many while following.
#ifndef CLI_GATHER_H
#define CLI_GATHER_H

#include <stddef.h>

#include <functional>
#include <string>
#include <vector>

#include "logread/LogSink.h"

class Gather : public LogSink {
public:
  void restart() override;
  // The lines of a file that went from the path stand: they were written.
  bool keep(bool elsewhere) override;
  void drop_unfinished() override;
  void line(const char *text, size_t len, bool continued) override;

  // Lines whose first piece the test turns down are left out, all their
  // pieces with them. The test sees every line, in file order.
  void filter(std::function<bool(const char *text, size_t len)> test) { filter_ = std::move(test); }

  // The lines gathered since the last take, whole, in file order. With
  // `hold`, a last line without its newline stays behind: a later read may
  // withdraw its end or go on with it; when that read brings other lines
  // instead, it stands as it is and comes first then. (A caller passes the
  // reader's word that the line is open: a line holding a NUL byte is
  // stored without its newline.)
  std::vector<std::string> take(bool hold);
  // Whether a read started over (restart()) since the last take, and
  // whether a line is held back.
  bool restarted() const { return restarted_; }
  bool holding() const { return !lines_.empty(); }
  // How many lines of the last take came from the file followed before
  // another took its path; all of them when none did.
  size_t before_switch() const { return before_switch_; }

private:
  std::vector<std::string> lines_;
  size_t piece_ = 0;  // bytes of the last piece given: what a withdrawal takes back
  bool restarted_ = false;
  bool passing_ = true;  // the filter took the line of the last piece given
  static constexpr size_t kNone = (size_t)-1;
  size_t switch_at_ = kNone, before_switch_ = 0;
  std::function<bool(const char *, size_t)> filter_;
};

// The same joining for a reading that keeps no line: each whole line is
// handed on once the next one begins, or at finish(). A piece of the last
// line may still be withdrawn until then. A read from the start calls
// `restarted`: whatever was made of the lines handed on is to be forgotten.
// Lines after the first `limit` are passed over, so that a second reading
// of a file that grew meanwhile hands on the same lines.
class LineWalk : public LogSink {
public:
  using Each = std::function<void(const std::string &line)>;
  explicit LineWalk(Each each, std::function<void()> restarted = nullptr)
      : each_(std::move(each)), restarted_(std::move(restarted)) {}
  void restart() override;
  bool keep(bool) override { return true; }
  void drop_unfinished() override;
  void line(const char *text, size_t len, bool continued) override;
  // Hands on the last line.
  void finish();
  void limit(size_t lines) { limit_ = lines; }
  // Lines handed on (or passed over for the limit) since the last restart.
  size_t count() const { return count_; }

private:
  Each each_;
  std::function<void()> restarted_;
  std::string text_;
  bool open_ = false;  // text_ holds a line not handed on yet
  size_t piece_ = 0;
  size_t count_ = 0, limit_ = (size_t)-1;
};

#endif
