// Job.h - a job's story: the lines of the log that belong to one job.
#ifndef CLI_JOB_H
#define CLI_JOB_H

#include <string>
#include <vector>

#include "knowledge/ErrorXML.h"
#include "logread/JournalSink.h"

// Marks the lines (whole, in file order) that belong to job `job` as
// Diagnose reads them: those written for it ("[Job N]"), its recorded
// messages among them. Weighs every line once to find out. `jids`, when it
// holds one number per line, is the JID field of each journal entry (-1 for
// none): where an entry has one, it decides, whatever its message says.
std::vector<bool> lines_of_job(ErrorXML &kb, const std::vector<std::string> &lines, int job,
                               const std::vector<long> &jids = {});

// The JID of each journal entry read, in order, one per line gathered.
class EntryJobs : public JournalSink {
public:
  void entry(const JournalEntry &e) override { ids.push_back(e.job); }
  std::vector<long> ids;
};

#endif
