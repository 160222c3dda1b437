// data_util.h - what the tests of the shipped data share: where the files
// are, their lines as the list stores them, and the shipped knowledge base.
#ifndef TESTS_SUPPORT_DATA_UTIL_H
#define TESTS_SUPPORT_DATA_UTIL_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Levels.h"
#include "knowledge/Diagnosis.h"
#include "knowledge/ErrorXML.h"
#include "logread/LogReader.h"
#include "tests/support/test_util.h"

const std::string kErrorsXml = std::string(VEKLOG_SOURCE_DIR) + "/data/errors.xml";

// The file's lines, newline kept; a long line whole, its pieces joined.
inline std::vector<std::string> read_lines(const std::string &path) { return read_pieces(path, 2).whole(); }

// The two halves of the incidents, by number: the odd ones tuned on from the
// start, the even ones held out until their last measurement, tuned on since.
const char *const kHalves[2] = {"tuned on (odd)", "held out until 9 Dec 2026 (even)"};

// The list's filter levels.
const int kErrorsLevel = 0, kInformationalLevel = 1, kAllLevel = 2;

// What Diagnose makes of a log at a filter level.
struct Verdict {
  std::string remedy = "-";  // "-" when nothing stands out
  int score = 0;
  bool cause = false;        // a line of weight 3 or more points to it
  int lines = 0;             // lines whose item leads to that remedy
  int unlisted = 0;          // of those, lines the level does not list
  int unexplained = 0;       // lines weighed that no item matches
  bool tied = false;         // the next remedy has the same rank and total
  std::string heavy;         // lines that finally weigh more than 1, one per line
};

// Diagnose over a log (file order) at a filter level, by the program's own
// Diagnosis, as the window and veklog-explain run it: every line is weighed,
// listed when the level accepts it.
inline Verdict diagnose_at(ErrorXML &xml, const std::vector<std::string> &log, int level) {
  Diagnosis diagnosis(xml, log.size());
  Verdict d;
  for (const std::string &l : log)
    diagnosis.weigh(l.c_str(), l.size(), level_accepts(level, (unsigned char)l[0]));
  for (size_t i = 0; i < diagnosis.lines(); i++)
    if (diagnosis.weight(i) > 1) d.heavy += log[i];
  d.unexplained = (int)(diagnosis.weighed() - diagnosis.explained());
  d.lines = (int)diagnosis.leads().size();
  d.unlisted = (int)diagnosis.unlisted_leads().size();
  const std::vector<Diagnosis::Standing> &ranking = diagnosis.standings();
  if (!ranking.empty()) {
    d.remedy = ranking[0].remedy->name;
    d.score = ranking[0].total;
    d.cause = ranking[0].cause;
    d.tied = ranking.size() > 1 && ranking[1].cause == ranking[0].cause &&
             ranking[1].total == ranking[0].total;
  }
  return d;
}

// A suite that reads data/errors.xml once for all its cases.
class ShippedKbTest : public ::testing::Test {
protected:
  static inline ErrorXML *xml = nullptr;
  static void SetUpTestSuite() { xml = new ErrorXML(kErrorsXml.c_str()); }
  static void TearDownTestSuite() {
    delete xml;
    xml = nullptr;
  }
};

#endif
