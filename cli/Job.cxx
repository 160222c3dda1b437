// Job.cxx - finding a job's lines through Diagnose's own reading of them,
// or through the journal's JID field where an entry has one.
#include "cli/Job.h"

#include "knowledge/Diagnosis.h"

std::vector<bool> lines_of_job(ErrorXML &kb, const std::vector<std::string> &lines, int job,
                               const std::vector<long> &jids) {
  Diagnosis d(kb, lines.size());
  for (const std::string &l : lines) d.weigh(l.c_str(), l.size(), false);
  std::vector<bool> mine(lines.size());
  bool by_jid = jids.size() == lines.size();
  // Whole lines weigh as one record each.
  for (size_t i = 0; i < lines.size() && i < d.lines(); i++)
    mine[i] = by_jid && jids[i] >= 0 ? jids[i] == job : d.job(i) == job;
  return mine;
}
