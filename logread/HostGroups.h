// HostGroups.h - the lines of many servers kept apart by host, and the order
// that lists the worst host first.
#ifndef LOGREAD_HOSTGROUPS_H
#define LOGREAD_HOSTGROUPS_H

#include <stddef.h>
#include <time.h>

#include <map>
#include <string>
#include <vector>

#include "logread/JournalSink.h"
#include "logread/LogSink.h"

// Takes what a JournalSource gives: each entry's host, then its lines. Lines
// that come without an entry (a file's) belong to the host "".
class HostGroups : public LogSink, public JournalSink {
public:
  struct Group {
    std::string host;
    std::vector<std::string> lines;  // in the order read; a long line's pieces one by one
    size_t errors = 0;               // entries at X, A, C or E
    time_t last_error = 0;           // the time of the latest of them; 0 when none
  };

  void restart() override;
  void drop_unfinished() override;
  void line(const char *text, size_t len, bool continued) override;
  void entry(const JournalEntry &e) override;

  // By host name.
  std::vector<const Group *> groups() const;
  const Group *find(const std::string &host) const;

private:
  std::map<std::string, Group> groups_;
  Group *current_ = nullptr;  // the group of the last entry
  time_t when_ = 0;
};

// One host's answer, for listing hosts worst first.
struct HostRow {
  std::string host;
  int rank = 0;            // Diagnose's rank of the named remedy: higher is worse
  long score = 0;          // its score within the rank
  size_t errors = 0;
  time_t last_error = 0;
  std::string remedy;      // the remedy Diagnose names; "" when none
};

// Worst first: by rank, then score, then the latest error line; hosts equal
// in all three by name.
void worst_first(std::vector<HostRow> &rows);

#endif
