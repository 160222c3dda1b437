// data_staged.cxx - Diagnose over the staged incident logs (tests/data/staged):
// known faults among a healthy server's ordinary work, each logged at
// LogLevel warn and at LogLevel debug, against the remedy that fits the fault.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "knowledge/ErrorXML.h"

#include "tests/support/data_util.h"

namespace {

const std::string kStaged = std::string(VEKLOG_TEST_DIR) + "/data/staged/";

// A row of incidents.tsv: one log of one fault.
struct Staged {
  int number = 0;
  std::string name, level, remedy, shows;

  bool held_out() const { return number % 2 == 0; }  // until 9 Dec 2026
  std::string file() const {
    char head[16];
    snprintf(head, sizeof head, "%02d-", number);
    return std::string(held_out() ? "held/" : "tune/") + head + name + "." + level + ".log";
  }
};

std::vector<Staged> manifest() {
  std::vector<Staged> rows;
  for (const std::string &l : read_lines(kStaged + "incidents.tsv")) {
    if (l[0] == '#') continue;
    std::istringstream in(l);
    std::vector<std::string> f;
    for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
    if (f.size() < 6) continue;
    Staged s;
    s.number = atoi(f[0].c_str());
    s.name = f[1], s.level = f[2], s.remedy = f[3], s.shows = f[4];
    rows.push_back(s);
  }
  return rows;
}

class StagedIncidents : public ShippedKbTest {};

// Agreement counts of a group of logs at the Errors and All levels.
struct Tally {
  int cases = 0, errors = 0, all = 0;
};

std::string share(int n, int of) {
  char buf[32];
  snprintf(buf, sizeof buf, "%d of %d (%d%%)", n, of, of ? (100 * n + of / 2) / of : 0);
  return buf;
}

// Diagnose at the default Errors level and at the All level over every
// staged log, against the remedy of the fault put there: the agreement per
// half, per log level and per whether the lines show the cause (or, with
// nothing to fix, that nothing needs fixing), and every disagreement. A log
// with nothing to fix that shows it names nothing at either level; of the
// logs that show their cause, Diagnose names it at the Errors level on at
// least 90%, both halves together.
TEST_F(StagedIncidents, DiagnoseAgainstTheFaultPutThere) {
  std::vector<Staged> rows = manifest();
  std::set<int> faults[2];
  std::map<std::string, Tally> tally[2];  // by half, by "level shows"
  Tally shown[2];                          // by half: faults whose lines show them
  std::string disagreements[2], named_nothing_to_fix, ties;
  for (const Staged &s : rows) {
    SCOPED_TRACE(s.file());
    EXPECT_TRUE(s.level == "warn" || s.level == "debug") << s.level;
    EXPECT_TRUE(s.shows == "yes" || s.shows == "no") << s.shows;
    bool nothing = s.remedy == "-";
    if (!nothing) {
      faults[s.held_out()].insert(s.number);
      EXPECT_NE(nullptr, xml->find_remedy(s.remedy.c_str())) << "no such remedy: " << s.remedy;
    }
    std::vector<std::string> log = read_lines(kStaged + s.file());
    ASSERT_FALSE(log.empty()) << "the log does not read";
    Verdict verdict[2] = {diagnose_at(*xml, log, kErrorsLevel), diagnose_at(*xml, log, kAllLevel)};
    Tally *groups[2] = {&tally[s.held_out()][s.level + (nothing ? " nothing to fix, shows " : " shows ") + s.shows],
                        s.shows == "yes" && !nothing ? &shown[s.held_out()] : nullptr};
    for (Tally *t : groups) {
      if (!t) continue;
      t->cases++;
      t->errors += verdict[0].remedy == s.remedy;
      t->all += verdict[1].remedy == s.remedy;
    }
    for (int i = 0; i < 2; i++) {
      const char *level = i ? "All" : "Errors";
      if (verdict[i].remedy != s.remedy)
        disagreements[s.held_out()] += "  " + s.file() + " (shows " + s.shows + "), " + level +
                                       " level: expected " + s.remedy + ", Diagnose names " +
                                       verdict[i].remedy + "\n";
      if (nothing && s.shows == "yes" && verdict[i].remedy != "-")
        named_nothing_to_fix += "  " + s.file() + " at the " + level + " level: " + verdict[i].remedy + "\n";
      if (verdict[i].tied) ties += "  " + s.file() + " at the " + level + " level\n";
    }
  }
  for (int half = 0; half < 2; half++) {
    printf("staged incidents, %s: %zu faults\n", kHalves[half], faults[half].size());
    printf("  %-34s %-18s %s\n", "log", "Errors level", "All level");
    for (const auto &g : tally[half])
      printf("  %-34s %-18s %s\n", g.first.c_str(), share(g.second.errors, g.second.cases).c_str(),
             share(g.second.all, g.second.cases).c_str());
  }
  Tally both;
  for (const Tally &t : shown) both.cases += t.cases, both.errors += t.errors, both.all += t.all;
  printf("faults whose lines show them, named at the Errors level: %s %s, %s %s, %s together\n",
         share(shown[0].errors, shown[0].cases).c_str(), kHalves[0],
         share(shown[1].errors, shown[1].cases).c_str(), kHalves[1], share(both.errors, both.cases).c_str());
  for (int half = 0; half < 2; half++)
    printf("%s, where Diagnose names another remedy:\n%s", kHalves[half], disagreements[half].c_str());
  EXPECT_GE(faults[0].size() + faults[1].size(), 36u);
  EXPECT_GE(faults[1].size(), faults[0].size() - 1) << "half of the faults were held out";
  EXPECT_EQ("", named_nothing_to_fix) << "logs with nothing to fix where Diagnose names a remedy";
  EXPECT_GE(both.cases, 70);
  EXPECT_GE(both.errors, both.cases * 0.90) << disagreements[0] << disagreements[1];
  // Two remedies that tie leave the answer to the order of the file.
  EXPECT_EQ("", ties) << "logs where two remedies tie";
}

// Each fault's two logs are one run at two log levels: the warn log holds the
// debug log's X A C E W lines, and D lines only in a failed job's recorded
// block (after its error line, between "The following messages were recorded"
// and "End of messages", all of that job), which the debug log never holds.
TEST_F(StagedIncidents, WarnLogIsTheDebugRunAtWarn) {
  std::map<int, std::map<std::string, Staged>> runs;
  for (const Staged &s : manifest()) runs[s.number][s.level] = s;
  ASSERT_FALSE(runs.empty());
  auto text = [](const std::string &line) { return line.size() > 31 ? line.substr(31) : ""; };
  for (auto &run : runs) {
    ASSERT_EQ(1u, run.second.count("warn"));
    ASSERT_EQ(1u, run.second.count("debug"));
    const Staged &w = run.second["warn"];
    SCOPED_TRACE(w.file());
    std::vector<std::string> warn = read_lines(kStaged + run.second["warn"].file());
    std::vector<std::string> debug = read_lines(kStaged + run.second["debug"].file());
    ASSERT_FALSE(warn.empty());
    ASSERT_FALSE(debug.empty());
    std::vector<std::string> listed[2];
    for (const std::string &l : debug) {
      if (strchr("XACEW", l[0])) listed[1].push_back(l);
      EXPECT_EQ(std::string::npos, l.find("The following messages were recorded")) << l;
    }
    std::string block;  // "[Job N] " of the recorded block being read
    for (size_t i = 0; i < warn.size(); i++) {
      const std::string &l = warn[i];
      std::string t = text(l);
      if (l[0] != 'D') {
        EXPECT_EQ("", block) << "a block left open before " << l;
        listed[0].push_back(l);
      } else if (block.empty()) {
        ASSERT_NE(std::string::npos, t.find("] The following messages were recorded from")) << l;
        ASSERT_TRUE(i > 0 && strchr("XACE", warn[i - 1][0])) << "a block after no error line: " << l;
        block = t.substr(0, t.find(']') + 2);
        EXPECT_EQ(0u, text(warn[i - 1]).find(block)) << "a block of another job: " << l;
      } else {
        EXPECT_EQ(0u, t.find(block)) << "a line of another job in the block: " << l;
        if (t == block + "End of messages\n") block.clear();
      }
    }
    EXPECT_EQ("", block) << "a block never closed";
    size_t same = 0;
    while (same < listed[0].size() && same < listed[1].size() && listed[0][same] == listed[1][same]) same++;
    EXPECT_TRUE(same == listed[0].size() && same == listed[1].size())
        << "the X A C E W lines differ from the " << same + 1 << "th on: "
        << (same < listed[0].size() ? listed[0][same] : std::string("(end)"));
  }
}

}  // namespace
