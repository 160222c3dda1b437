// data_diagnose.cxx - Diagnose over hand-written logs of common failures
// names the remedy an administrator needs.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "knowledge/Diagnosis.h"
#include "knowledge/ErrorXML.h"
#include "logread/LogReader.h"

#include "tests/data_util.h"

namespace {


const int kErrors = kErrorsLevel, kInformational = kInformationalLevel, kAll = kAllLevel;

Verdict diagnose(ErrorXML &xml, const std::vector<std::string> &log, int level) {
  return diagnose_at(xml, log, level);
}

class Scenario : public ShippedKbTest {
protected:
  static std::vector<std::string> log(const char *name) {
    std::vector<std::string> l = read_lines(std::string(VEKLOG_TEST_DIR) + "/data/" + name);
    EXPECT_FALSE(l.empty()) << name;
    return l;
  }
};

// Each log mixes the failure with unrelated client errors and routine lines.
TEST_F(Scenario, NamesTheRemedyForEachFailure) {
  ASSERT_GT(xml->num_remedies_, 0);
  struct Case {
    const char *log;
    int filter;
    const char *remedy;
    int lines;  // lines that Diagnose would select
  } cases[] = {
      {"scenario_unplugged.log", kErrors, "usb-printer-disconnected", 3},
      {"scenario_unplugged.log", kAll, "usb-printer-disconnected", 3},
      {"scenario_missing_filter.log", kErrors, "filter-missing", 3},
      {"scenario_missing_filter.log", kInformational, "filter-missing", 3},
      {"scenario_disk_full.log", kErrors, "disk-full", 4},
      {"scenario_disk_full.log", kAll, "disk-full", 4},
      {"scenario_expired_cert.log", kErrors, "printer-credentials", 3},
      {"scenario_expired_cert.log", kAll, "printer-credentials", 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.log) + " at level " + std::to_string(c.filter));
    Verdict d = diagnose(*xml, log(c.log), c.filter);
    EXPECT_EQ(c.remedy, d.remedy);
    EXPECT_EQ(c.lines, d.lines);
    EXPECT_EQ(0, d.unexplained);
  }
}

// A day with nothing wrong: every line is explained, and even when all
// levels are listed no routine line is weighty enough to name a remedy.
TEST_F(Scenario, RoutineLinesNeverDecide) {
  std::vector<std::string> l = log("scenario_routine.log");
  for (int filter : {kErrors, kInformational, kAll}) {
    Verdict d = diagnose(*xml, l, filter);
    EXPECT_EQ("-", d.remedy) << "level " << filter;
    EXPECT_EQ(0, d.unexplained);
  }
  for (const std::string &line : l) EXPECT_NE(nullptr, xml->find_item(line.c_str())) << line;
}

// The shipped sample log holds several faults; the unplugged printer, which
// stopped a queue for a quarter of an hour, outweighs the others.
TEST_F(Scenario, SampleLogPointsToTheUnpluggedPrinter) {
  std::vector<std::string> l = read_lines(std::string(VEKLOG_SOURCE_DIR) + "/data/sample_error_log");
  Verdict d = diagnose(*xml, l, kErrors);
  EXPECT_EQ("usb-printer-disconnected", d.remedy);
  EXPECT_EQ(4, d.lines);
}

}  // namespace
