// data_util.h - what the tests of the shipped data share: where the files
// are, their lines as the list stores them, and the shipped knowledge base.
#ifndef TESTS_DATA_UTIL_H
#define TESTS_DATA_UTIL_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "knowledge/Diagnosis.h"
#include "knowledge/ErrorXML.h"
#include "logread/LogReader.h"
#include "tests/test_util.h"

const std::string kErrorsXml = std::string(VEKLOG_SOURCE_DIR) + "/data/errors.xml";

// The file's lines, newline kept; a long line whole, its pieces joined.
inline std::vector<std::string> read_lines(const std::string &path) { return read_pieces(path, 2).whole(); }

// The list's filter levels.
const int kErrorsLevel = 0, kInformationalLevel = 1, kAllLevel = 2;

// What Diagnose makes of a log at a filter level.
struct Verdict {
  std::string remedy = "-";  // "-" when nothing stands out
  int score = 0;
  int lines = 0;             // lines whose item leads to that remedy
  int unexplained = 0;       // listed lines that no item matches
  bool tied = false;         // the next remedy has the same standing
  std::string heavy;         // lines that weigh more than 1, one per line
};

// Diagnose over a log (file order) at a filter level, by the program's own
// Diagnosis, as the window and veklog-explain run it.
inline Verdict diagnose_at(ErrorXML &xml, const std::vector<std::string> &log, int level) {
  Diagnosis diagnosis(xml);
  Verdict d;
  for (const std::string &l : log) {
    if (!LogReader::accepts(level, (unsigned char)l[0])) continue;
    ErrorXMLItem *item = diagnosis.weigh(l.c_str());
    if (item && item->severity > 1) d.heavy += l;
  }
  d.unexplained = (int)(diagnosis.weighed() - diagnosis.explained());
  d.lines = (int)diagnosis.leads().size();
  std::vector<ErrorXMLRemedy *> ranking = diagnosis.ranking();
  if (!ranking.empty()) {
    d.remedy = ranking[0]->name;
    d.score = ranking[0]->score;
    d.tied = ranking.size() > 1 && ranking[1]->score == ranking[0]->score;
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
