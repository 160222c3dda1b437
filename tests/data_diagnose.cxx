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

#include "tests/support/data_util.h"

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

// Logs of the failures that the default level (X A C E) hides, each among
// ordinary lines, at that level: the cause found in the lines it leaves out,
// a follow-on standing when nothing is behind it, a listed cause deciding.
TEST_F(Scenario, FindsTheCauseAtWhateverLevelTheServerLoggedIt) {
  auto at = [](const char *hms, char level, const std::string &message) {
    return std::string(1, level) + " [09/Dec/2026:" + hms + " +0000] " + message + "\n";
  };
  const std::string queued = at("17:15:30", 'I', "[Job 2] Queued on \"lab\" by \"root\".");
  const std::string routine = at("17:15:30", 'I', "[Job 1] Job completed.");
  const std::string failed = at("17:15:36", 'E',
      "[Job 2] Job stopped due to filter errors; please consult the /var/log/tarn/error_log file for details.");
  const std::vector<std::string> recorded = {
      at("17:15:36", 'D', "[Job 2] The following messages were recorded from 17:15:32 to 17:15:36"),
      at("17:15:32", 'D', "[Job 2] Started filter /usr/lib/tarn/filter/pstoacme (PID 15500)"),
      at("17:15:32", 'D', "[Job 2] execv failed: Permission denied"),
      at("17:15:32", 'D', "[Job 2] PID 15500 (/usr/lib/tarn/filter/pstoacme) stopped with status 113 (Permission denied)"),
      at("17:15:36", 'D', "[Job 2] End of messages")};
  auto log = [](std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  struct Case {
    const char *what;
    std::vector<std::string> log;
    const char *remedy;
    bool cause;
    int lines, unlisted;
    int level = kErrors;
  } cases[] = {
      {"a refused connection writes W lines only",
       log({{queued, routine, at("17:15:36", 'W', "[Job 2] The printer may not exist or is unavailable at this time."),
             at("17:16:06", 'W', "[Job 2] The printer did not respond.")}}),
       "network-printer-unreachable", true, 2, 2},
      {"... and the printer answering again is history",
       log({{queued, at("17:15:36", 'W', "[Job 2] The printer did not respond."),
             at("17:17:00", 'I', "[Job 2] Job completed.")}}),
       "-", false, 0, 0},
      {"a filter failure: the recorded lines name the filter's cause",
       log({{queued, failed}, recorded}), "filter-permissions", true, 2, 2},
      {"a block repeated in the log counts once",
       log({{queued, failed}, recorded, recorded}), "filter-permissions", true, 2, 2},
      {"an administrator's stop, an I line",
       log({{routine, at("17:20:00", 'I', "Printer \"lab\" stopped by \"root\".")}}),
       "queue-stopped", true, 1, 1},
      {"a stop that a later line undoes",
       log({{at("17:20:00", 'I', "Printer \"lab\" stopped by \"root\"."),
             at("17:21:00", 'I', "Printer \"lab\" started by \"root\".")}}),
       "-", false, 0, 0},
      {"a follow-on with no cause behind it", log({{queued, failed, routine}}),
       "filter-failed", false, 1, 0},
      {"a listed cause against a heavier unlisted one",
       log({{at("17:20:00", 'E', "[Job 3] Unable to write print data: No such device"),
             at("17:20:01", 'I', "Printer \"a\" stopped by \"root\"."),
             at("17:20:02", 'I', "Printer \"b\" stopped by \"root\"."),
             at("17:20:03", 'I', "Printer \"c\" stopped by \"root\".")}}),
       "usb-printer-disconnected", true, 1, 0},
      {"lpadmin's lookups before it adds the queue, at every level",
       log({{at("17:20:05", 'D', "Get-Printer-Attributes client-error-not-found: The printer or class does not exist."),
             at("17:20:05", 'D', "[Client 3] Returning IPP client-error-not-found for Get-Printer-Attributes (ipp://localhost/printers/office) from localhost."),
             at("17:20:06", 'D', "Tarn-Get-Default client-error-not-found: No default printer."),
             at("17:20:19", 'I', "New printer \"office\" added by \"root\".")}}),
       "-", false, 0, 0, kAll},
      {"lookups for a queue that is never added",
       log({{at("17:20:05", 'D', "[Client 3] Returning IPP client-error-not-found for Get-Printer-Attributes (ipp://localhost/printers/office) from localhost."),
             at("17:20:06", 'D', "[Client 4] Returning IPP client-error-not-found for Get-Printer-Attributes (ipp://localhost/printers/office) from localhost."),
             at("17:20:19", 'I', "New printer \"lab\" added by \"root\".")}}),
       "queue-missing", false, 2, 0, kAll},
      {"unknown X, A, C and E lines",
       log({{routine, at("17:20:00", 'X', "Something the server never said before"),
             at("17:20:00", 'A', "Something the server never said before"),
             at("17:20:00", 'C', "Something the server never said before"),
             at("17:20:00", 'E', "Something the server never said before")}}),
       "unlisted-message", false, 4, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Verdict d = diagnose(*xml, c.log, c.level);
    EXPECT_EQ(c.remedy, d.remedy);
    EXPECT_EQ(c.cause, d.cause);
    EXPECT_EQ(c.lines, d.lines);
    EXPECT_EQ(c.unlisted, d.unlisted);
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
