// NameWatch.cxx - the log's name watched through inotify.
#include "logread/NameWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

NameWatch::NameWatch(const std::string &path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash ? path.substr(0, slash) : "/";
  name_ = slash == std::string::npos ? path : path.substr(slash + 1);
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ >= 0 &&
      inotify_add_watch(fd_, dir.c_str(), IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE) < 0) {
    close(fd_);
    fd_ = -1;
  }
}

NameWatch::~NameWatch() {
  if (fd_ >= 0) close(fd_);
}

bool NameWatch::touched() {
  if (fd_ < 0) return false;
  alignas(struct inotify_event) char buf[4096];
  ssize_t n;
  bool mine = false;
  while ((n = read(fd_, buf, sizeof buf)) > 0)
    for (char *at = buf; at < buf + n;) {
      const struct inotify_event *e = (const struct inotify_event *)at;
      if (e->len && name_ == e->name) mine = true;
      at += sizeof *e + e->len;
    }
  return mine;
}

void NameWatch::wait(int ms, const std::atomic<bool> &stop) {
  for (int left = ms; left > 0 && !stop; left -= 100) {
    int slice = left < 100 ? left : 100;
    if (fd_ < 0) {
      struct timespec nap = {0, slice * 1000000L};
      nanosleep(&nap, nullptr);
      continue;
    }
    struct pollfd p = {fd_, POLLIN, 0};
    if (poll(&p, 1, slice) > 0 && touched()) return;
  }
}
