// Diagnosis.h - Diagnose without a window: weighs log lines one by one against
// the knowledge base and names the most likely remedy, the ranking of the
// others, and the lines that lead to the best one. The interface agreed for
// the toolkit-free core, plus one thing: the constructor may be told how many
// lines will come, so that a long log is weighed without regrowing storage.
#ifndef KNOWLEDGE_DIAGNOSIS_H
#define KNOWLEDGE_DIAGNOSIS_H

#include <stddef.h>

#include <vector>

#include "knowledge/ErrorXML.h"

// The totals live in the remedies' `score` members, as the data model has
// them, so a Diagnosis is the knowledge base's only one at a time: starting
// another clears the scores of the first. The knowledge base must outlive it.
class Diagnosis {
public:
  // Clears every remedy's score. `lines`, when known, is how many lines will
  // be weighed: room for them is made at once.
  explicit Diagnosis(ErrorXML &xml, size_t lines = 0);

  // Weighs one listed line (the text as the list stores it): its item's
  // severity goes to the item's remedy. Gives that item, or null.
  ErrorXMLItem *weigh(const char *line);

  size_t weighed() const { return weighed_; }           // lines weighed so far
  size_t explained() const { return explained_.size(); } // of which an item explained

  // The remedy with the highest score above 0, the earliest in the file among
  // equals; null when no score is above 0.
  ErrorXMLRemedy *best() const;
  // The remedies with a score above 0, best first, equal scores in file
  // order: best() is ranking()[0].
  std::vector<ErrorXMLRemedy *> ranking() const;
  // The lines (0-based, in the order they were weighed) whose item leads to
  // best(), whatever that item's own severity; none when there is no best.
  std::vector<size_t> leads() const;

private:
  struct Explained {
    size_t line;
    ErrorXMLRemedy *remedy;
  };
  ErrorXML &xml_;
  size_t weighed_ = 0;
  std::vector<Explained> explained_;
};

#endif
