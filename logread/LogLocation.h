// LogLocation.h - where the print server writes its log, as its own
// configuration says: a file, or the system journal.
#ifndef LOGREAD_LOGLOCATION_H
#define LOGREAD_LOGLOCATION_H

#include <string>

// The server's log when its configuration names none.
inline constexpr char kDefaultLog[] = "/var/log/tarn/error_log";

struct LogLocation {
  enum Kind { File, Journal } kind = File;
  std::string path;    // File: the log to read
  std::string reason;  // which source, and why, in one sentence
};

// Reads the ErrorLog directive of tarn-files.conf in the directory `root`:
// a path (relative ones under `root`; %s stands for the server's name, %% for
// %), or syslog or stderr, which the journal keeps on a host that runs
// systemd (`systemd`). No file or no directive: the default log. The server's
// name is ServerName in tarnd.conf beside it, else the host's name.
LogLocation locate_log(const std::string &root, bool systemd);
// The same for this host: $TARN_SERVERROOT, else /etc/tarn.
LogLocation locate_log();

#endif
