// LogLocation.cxx - reading the server's ErrorLog directive.
#include "logread/LogLocation.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <systemd/sd-daemon.h>

#include "base/open_regular.h"

namespace {

// The value of the last `directive` line of the file, in *value; false
// (errno set, or 0 when the file has no such line) when there is none.
bool directive(const std::string &path, const char *name, std::string *value) {
  FILE *f = fopen_regular(path.c_str());
  if (!f) return false;
  bool found = false;
  char *buf = nullptr;
  size_t cap = 0;
  ssize_t n;
  size_t len = strlen(name);
  while ((n = getline(&buf, &cap, f)) >= 0) {
    const char *p = buf;
    while (*p == ' ' || *p == '\t') p++;
    if (strncasecmp(p, name, len) || (p[len] != ' ' && p[len] != '\t')) continue;
    p += len;
    while (*p == ' ' || *p == '\t') p++;
    std::string v = p;
    while (!v.empty() && strchr(" \t\r\n", v.back())) v.pop_back();
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    *value = v;
    found = true;
  }
  free(buf);
  fclose(f);
  errno = 0;
  return found;
}

std::string server_name(const std::string &root) {
  std::string name;
  if (directive(root + "/tarnd.conf", "ServerName", &name) && !name.empty()) return name;
  char host[HOST_NAME_MAX + 1] = "";
  if (gethostname(host, sizeof host) != 0) return "localhost";
  host[HOST_NAME_MAX] = '\0';
  return host;
}

}  // namespace

LogLocation locate_log(const std::string &root, bool systemd) {
  LogLocation where;
  std::string conf = root + "/tarn-files.conf";
  std::string value;
  if (!directive(conf, "ErrorLog", &value)) {
    where.path = kDefaultLog;
    where.reason = std::string("Reading ") + kDefaultLog + ", the server's default: " + conf +
                   (errno ? std::string(" cannot be read (") + strerror(errno) + ")."
                          : " has no ErrorLog.");
    return where;
  }
  if (value.empty()) {
    where.path = kDefaultLog;
    where.reason = std::string("Reading ") + kDefaultLog + ", the server's default: the ErrorLog of " +
                   conf + " is empty.";
    return where;
  }
  if (!strcasecmp(value.c_str(), "syslog") || !strcasecmp(value.c_str(), "stderr")) {
    where.kind = LogLocation::Journal;
    bool syslog = !strcasecmp(value.c_str(), "syslog");
    where.reason = "Reading the system journal: ErrorLog " + value + " in " + conf +
                   (syslog ? " sends the server's messages to the system log, which systemd keeps there"
                           : " sends the server's messages to its standard error, which systemd keeps there");
    where.reason += systemd ? "." : "; but this host does not run systemd, so it may hold none of them.";
    return where;
  }
  // As the server does: relative to its root, %s its name.
  std::string path = value[0] == '/' ? "" : root + "/";
  std::string name;
  for (size_t i = 0; i < value.size(); i++) {
    if (value[i] == '%' && i + 1 < value.size() && (value[i + 1] == 's' || value[i + 1] == '%')) {
      if (value[++i] == 's') {
        if (name.empty()) name = server_name(root);
        path += name;
      } else {
        path += '%';
      }
    } else {
      path += value[i];
    }
  }
  where.path = path;
  where.reason = "Reading " + path + ", named by ErrorLog " + value + " in " + conf;
  where.reason += name.empty() ? "." : " (%s is the server's name, " + name + ").";
  return where;
}

LogLocation locate_log() {
  const char *root = getenv("TARN_SERVERROOT");
  return locate_log(root && *root ? root : "/etc/tarn", sd_booted() > 0);
}
