// Job.h - a job's story: the lines of the log that belong to one job.
#ifndef CLI_JOB_H
#define CLI_JOB_H

#include <string>
#include <vector>

#include "knowledge/ErrorXML.h"

// Marks the lines (whole, in file order) that belong to job `job` as
// Diagnose reads them: those written for it ("[Job N]"), its recorded
// messages among them. Weighs every line once to find out.
std::vector<bool> lines_of_job(ErrorXML &kb, const std::vector<std::string> &lines, int job);

#endif
