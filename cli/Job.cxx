// Job.cxx - finding a job's lines through Diagnose's own reading of them.
#include "cli/Job.h"

#include "knowledge/Diagnosis.h"

std::vector<bool> lines_of_job(ErrorXML &kb, const std::vector<std::string> &lines, int job) {
  Diagnosis d(kb, lines.size());
  for (const std::string &l : lines) d.weigh(l.c_str(), l.size(), false);
  std::vector<bool> mine(lines.size());
  // Whole lines weigh as one record each.
  for (size_t i = 0; i < lines.size() && i < d.lines(); i++) mine[i] = d.job(i) == job;
  return mine;
}
