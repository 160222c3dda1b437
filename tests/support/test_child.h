// test_child.h - running a piece of a test in a forked child, optionally as
// the unprivileged user nobody, so that file permissions count although the
// tests run as root.
#ifndef TESTS_SUPPORT_TEST_CHILD_H
#define TESTS_SUPPORT_TEST_CHILD_H

#include <grp.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

const uid_t kNobody = 65534;

// Runs fn in a child, as nobody when `unprivileged` is set, and returns the
// text fn produced; a child that cannot drop its rights, fails or runs past
// 20 seconds gives a text that starts with "<".
inline std::string in_child(bool unprivileged, const std::function<std::string()> &fn) {
  int fds[2];
  if (pipe(fds) != 0) return "<no pipe>";
  pid_t pid = fork();
  if (pid < 0) return "<no fork>";
  if (pid == 0) {
    close(fds[0]);
    alarm(20);
    if (unprivileged) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(3);
      if (getuid() != kNobody || geteuid() != kNobody) _exit(3);
    }
    std::string out = fn();
    if (write(fds[1], out.data(), out.size()) != (ssize_t)out.size()) _exit(4);
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, (size_t)n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "<child ended badly: status " + std::to_string(status) + ">";
  return out;
}

inline std::string as_nobody(const std::function<std::string()> &fn) { return in_child(true, fn); }

#endif
