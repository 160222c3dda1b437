// NameWatch.h - word from the system when a file takes a log's name or
// leaves it, so that a follower opens a file the server rotates away at
// once before a second rotation renames another over it.
#ifndef LOGREAD_NAMEWATCH_H
#define LOGREAD_NAMEWATCH_H

#include <atomic>
#include <string>

class NameWatch {
public:
  // Watches the directory of `path` for its last component being created,
  // renamed there or away, or deleted. Without the system's help (fd() < 0)
  // it only waits.
  explicit NameWatch(const std::string &path);
  ~NameWatch();
  NameWatch(const NameWatch &) = delete;
  NameWatch &operator=(const NameWatch &) = delete;

  // Readable when the directory changed: for a toolkit's event loop.
  int fd() const { return fd_; }
  // Whether the name was touched since the last look; never waits.
  bool touched();
  // Waits up to `ms` milliseconds, less when the name is touched or `stop`
  // is set (looked at every tenth of a second).
  void wait(int ms, const std::atomic<bool> &stop);

private:
  int fd_ = -1;
  std::string name_;
};

#endif
