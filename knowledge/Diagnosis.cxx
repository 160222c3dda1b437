// Diagnosis.cxx - weighing lines for Diagnose, and reading out the result.
#include "knowledge/Diagnosis.h"

#include <algorithm>

Diagnosis::Diagnosis(ErrorXML &xml, size_t lines) : xml_(xml) {
  xml_.clear_scores();
  explained_.reserve(lines);
}

ErrorXMLItem *Diagnosis::weigh(const char *line) {
  ErrorXMLItem *item = xml_.score_item(line);
  if (item) explained_.push_back({weighed_, item->remedy});
  weighed_++;
  return item;
}

ErrorXMLRemedy *Diagnosis::best() const { return xml_.best_remedy(); }

std::vector<ErrorXMLRemedy *> Diagnosis::ranking() const {
  std::vector<ErrorXMLRemedy *> ranked;
  for (int i = 0; i < xml_.num_remedies_; i++)
    if (xml_.remedies_[i]->score > 0) ranked.push_back(xml_.remedies_[i]);
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const ErrorXMLRemedy *a, const ErrorXMLRemedy *b) {
                     return a->score > b->score;
                   });
  return ranked;
}

std::vector<size_t> Diagnosis::leads() const {
  std::vector<size_t> lines;
  ErrorXMLRemedy *winner = best();
  if (!winner) return lines;
  for (const Explained &e : explained_)
    if (e.remedy == winner) lines.push_back(e.line);
  return lines;
}
