// cli_check_test.cxx - what veklog-explain finds and tells: the text filter,
// the newest lines, a line's meaning in one sentence, a job's lines, and the
// monitoring check's status, status line and search for the last hour.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/Check.h"
#include "cli/HtmlText.h"
#include "cli/Job.h"
#include "cli/Select.h"
#include "base/LogTime.h"
#include "tests/support/kb_builder.h"
#include "tests/support/test_util.h"

namespace {

TEST(LineMatch, FindsTextInAnyCaseOrAnExpression) {
  struct Case {
    const char *text;
    bool regex;
    std::string line;
    bool want;
  } cases[] = {
      {"", false, "E anything\n", true},
      {"job 302", false, "E [x] [Job 302] Unable\n", true},
      {"JOB 302", false, "E [x] [job 302] Unable\n", true},
      {"Job 30", false, "E [x] [Job 3] Unable\n", false},
      {"unable\n", false, "E Unable\n", false},  // the newline is no part of the line
      {"able", false, "E Unable", true},
      {"E Unable", false, "E Unable\n", true},
      {"Unable.", false, "E Unable", false},
      {"lab-.*color", true, "E Printer \"LAB-Color\" stopped\n", true},
      {"^E .*stopped$", true, "E Printer stopped\n", true},
      {"^W", true, "E Printer stopped\n", false},
      {"stopped$", true, "E Printer stopped now\n", false},
      {"job (302|303)\\]", true, "E [Job 303] x\n", true},
      {"lab(", true, "E lab(\n", false},  // does not compile: nothing matches
  };
  for (const Case &c : cases) {
    LineMatch m(c.text, c.regex);
    EXPECT_EQ(c.want, m(c.line)) << c.text << " in " << c.line;
    EXPECT_EQ(*c.text == 0, m.all()) << c.text;
  }
  // An expression over a 2 MB line neither recurses nor gives up.
  std::string big = "E [Job 7] " + std::string(2 << 20, 'a') + " end\n";
  EXPECT_TRUE(LineMatch("a+ end$", true)(big));
  EXPECT_TRUE(LineMatch("A END", false)(big));
}

TEST(Select, KeepsTheNewestMarkedLines) {
  struct Case {
    std::string marked;  // '1' marked
    long n;
    std::string want;
  } cases[] = {
      {"1111", -1, "1111"}, {"1111", 2, "0011"}, {"1010101", 2, "0000101"},
      {"1100", 5, "1100"},  {"111", 0, "000"},   {"", 3, ""},
  };
  for (const Case &c : cases) {
    std::vector<bool> m;
    for (char x : c.marked) m.push_back(x == '1');
    keep_newest(m, c.n);
    std::string got;
    for (bool b : m) got += b ? '1' : '0';
    EXPECT_EQ(c.want, got) << c.marked << " newest " << c.n;
  }
}

TEST(HtmlText, TakesTheFirstSentence) {
  struct Case {
    std::string text, want;
  } cases[] = {
      {"The printer is off. Turn it on.\n", "The printer is off."},
      {"One line\nwrapped here. Then more.\n", "One line wrapped here."},
      {"No full stop at all\n\nSecond block.\n", "No full stop at all"},
      {"A filter (e.g. rastertolabel) failed. Why.\n", "A filter (e.g. rastertolabel) failed."},
      {"Check tarnd.conf. Then restart.\n", "Check tarnd.conf."},
      {"See printers.conf.d for more. And so on.\n", "See printers.conf.d for more."},
      {"Version 2.4 or later. Next.\n", "Version 2.4 or later."},
      {"Is it on? Check it.\n", "Is it on?"},
      {"Ends here.", "Ends here."},
      {"    Indented text. More.\n", "Indented text."},
      {"", ""},
  };
  for (const Case &c : cases) EXPECT_EQ(c.want, first_sentence(c.text)) << c.text;
}

// A line of the log at a given second past 10:00 on 9 December 2026.
std::string at(int second, char level, const std::string &message) {
  char stamp[40];
  snprintf(stamp, sizeof stamp, " [09/Dec/2026:%02d:%02d:%02d +0000] ", 10 + second / 3600,
           second / 60 % 60, second % 60);
  return std::string(1, level) + stamp + message + "\n";
}
const time_t kTen = 1796810400;  // 2026-12-09 10:00:00 UTC

TEST(Job, MarksTheLinesOfOneJob) {
  std::unique_ptr<ErrorXML> kb = KbBuilder().remedy("a").item('E', "*", 1).load();
  std::vector<std::string> lines = {
      at(0, 'I', "[Job 7] Queued on \"lab\" by \"ann\"."),
      at(1, 'E', "[Job 70] Unable to open device"),
      at(2, 'E', "Filter \"x\" for printer \"lab\" not available"),
      at(3, 'D', "[Job 7] The following messages were recorded from 10:00:00 to 10:00:02"),
      at(3, 'D', "[Job 7] 2 filters for job:"),
      at(3, 'D', "[Job 7] End of messages"),
      at(4, 'E', "[Job 7 ] not quite"),
      at(5, 'E', "[Job 7] Job stopped"),
  };
  std::vector<bool> mine = lines_of_job(*kb, lines, 7);
  std::vector<bool> want = {true, false, false, true, true, true, false, true};
  EXPECT_EQ(want, mine);
  EXPECT_EQ(std::vector<bool>(lines.size(), false), lines_of_job(*kb, lines, 8));
}

TEST(Check, StatusFromTheDiagnosis) {
  std::unique_ptr<ErrorXML> kb = KbBuilder()
                                     .remedy("filter-missing")
                                     .item(0, "Filter * not available*", 5)
                                     .item('E', "Filter * odd*", 3)
                                     .remedy("printer-slow")
                                     .item('E', "Printer slow*", 2)
                                     .item(0, "Printer lagging*", 2)
                                     .remedy("job-stopped")
                                     .item('E', "Job stopped*", 1)
                                     .load();
  struct Case {
    const char *what;
    std::vector<std::string> lines;  // "L message"; listed at the Errors level
    int warning, critical;
    CheckStatus want;
    const char *remedy;
    int score;
  } cases[] = {
      {"nothing", {}, 1, 5, kCheckOk, nullptr, 0},
      {"routine lines only", {"I Queued", "E Something else"}, 1, 5, kCheckOk, nullptr, 0},
      {"a cause", {"E Filter x not available"}, 1, 5, kCheckCritical, "filter-missing", 5},
      {"a cause below --critical", {"E Filter x not available"}, 1, 6, kCheckWarning,
       "filter-missing", 5},
      {"a cause below both", {"E Filter x not available"}, 6, 7, kCheckOk, "filter-missing", 5},
      {"a lighter cause", {"E Filter x odd"}, 1, 5, kCheckWarning, "filter-missing", 3},
      {"two lighter causes add up", {"E Filter x odd", "E Filter y odd"}, 1, 5,
       kCheckCritical, "filter-missing", 6},
      {"a symptom", {"E Printer slow"}, 1, 5, kCheckWarning, "printer-slow", 2},
      {"a symptom below --warning", {"E Printer slow"}, 3, 5, kCheckOk, "printer-slow", 2},
      {"a pile of symptoms is no cause",
       {"E Printer slow", "E Printer slow", "E Printer slow"}, 1, 5, kCheckWarning,
       "printer-slow", 6},
      {"a follow-on", {"E Job stopped"}, 1, 5, kCheckWarning, "job-stopped", 1},
      {"a cause outweighs symptoms",
       {"E Printer slow", "E Printer slow", "E Printer slow", "E Filter x odd"}, 1, 3,
       kCheckCritical, "filter-missing", 3},
      {"a cause the level leaves out, behind a follow-on",
       {"E Job stopped", "D Printer lagging", "D Printer lagging", "W Filter x not available"},
       1, 5, kCheckCritical, "filter-missing", 5},
  };
  for (const Case &c : cases) {
    Diagnosis d(*kb, c.lines.size());
    for (const std::string &given : c.lines) {
      std::string l = log_line(given[0], given.substr(2));
      d.weigh(l.c_str(), l.size(), LogReader::accepts(0, (unsigned char)l[0]));
    }
    CheckVerdict v = check_verdict(d, c.warning, c.critical);
    EXPECT_EQ(c.want, v.status) << c.what;
    EXPECT_STREQ(c.remedy ? c.remedy : "", v.remedy ? v.remedy->name : "") << c.what;
    EXPECT_EQ(c.score, v.score) << c.what;
  }
}

TEST(Check, WritesOneStatusLine) {
  ErrorXMLRemedy remedy("filter-missing", "<P>Install it.</P>");
  struct Case {
    CheckStatus status;
    bool named;
    int score;
    size_t leads;
    CheckCounts counts;
    int warning;
    std::string want;
  } cases[] = {
      {kCheckCritical, true, 12, 3, {40, 3, 0}, 1,
       "VEKLOG CRITICAL - filter-missing, 3 lines since 10:02 | errors=3 unknown=0 score=12;1;5"},
      {kCheckWarning, true, 2, 1, {40, 5, 2}, 1,
       "VEKLOG WARNING - filter-missing, 1 line since 10:02 | errors=5 unknown=2 score=2;1;5"},
      {kCheckOk, true, 2, 1, {40, 5, 2}, 3,
       "VEKLOG OK - filter-missing scores 2, below the warning score 3, 1 line since 10:02 | "
       "errors=5 unknown=2 score=2;3;5"},
      {kCheckOk, false, 0, 0, {1, 0, 0}, 1,
       "VEKLOG OK - nothing calls for a remedy in 1 line since 10:02 | errors=0 unknown=0 "
       "score=0;1;5"},
  };
  for (const Case &c : cases) {
    CheckVerdict v;
    v.status = c.status;
    v.remedy = c.named ? &remedy : nullptr;
    v.score = c.score;
    v.leads = c.leads;
    EXPECT_EQ(c.want, check_line(v, c.counts, "since 10:02", c.warning, 5));
  }
  std::ostringstream out;
  EXPECT_EQ(kCheckUnknown, check_unknown(out, "cannot read log: Permission denied"));
  EXPECT_EQ("VEKLOG UNKNOWN - cannot read log: Permission denied\n", out.str());
}

TEST(Check, SaysWhichLinesCounted) {
  setenv("TZ", "UTC", 1);
  tzset();
  struct Case {
    bool since, until;
    time_t from, to;
    std::string want;
  } cases[] = {
      {true, false, kTen + 120, 0, "since 10:02"},
      {true, false, kTen - 86400, 0, "since 2026-12-08 10:00"},
      {true, true, kTen, kTen + 3600, "from 10:00 to 11:00"},
      {false, true, 0, kTen, "until 10:00"},
      {false, false, 0, 0, "in the whole log"},
  };
  for (const Case &c : cases) {
    Options o;
    o.has_since = c.since;
    o.has_until = c.until;
    o.since = c.from;
    o.until = c.to;
    EXPECT_EQ(c.want, check_span(o, kTen + 1800));
  }
}

// The search for the last hour: wherever it starts, no line it skips is of
// the span, and it skips most of what is older.
TEST(Check, FindsWhereTheSpanBegins) {
  TempDir dir;
  std::string log;
  std::vector<std::pair<size_t, time_t>> starts;  // each line's offset and time
  for (int i = 0; i < 40000; i++) {
    int second = i / 4;
    starts.push_back({log.size(), kTen + second});
    log += at(second, "EIDW"[i % 4], "[Job " + std::to_string(i) + "] something happened");
    if (i % 5000 == 2500) {  // a long line, whose pieces carry no time
      starts.push_back({log.size(), kTen + second});
      log += at(second, 'd', std::string(200000, 'x'));
    }
  }
  write_file(dir.file("log"), log);
  int fd = open(dir.file("log").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  time_t sinces[] = {kTen - 60, kTen, kTen + 1, kTen + 4000, kTen + 9000, kTen + 9999,
                     kTen + 10000, kTen + 20000};
  for (time_t since : sinces) {
    off_t off = time_offset(fd, (off_t)log.size(), since);
    size_t first = log.size();
    for (const auto &s : starts)
      if (s.second >= since) {
        first = s.first;
        break;
      }
    EXPECT_TRUE(off == 0 || log[off - 1] == '\n') << since;
    EXPECT_LE((size_t)off, first) << since;
    // Within a few blocks of the first line of the span, or of a long line
    // just before it.
    EXPECT_GE((size_t)off + 600000, first) << since;
  }
  // A log without times is read from its start.
  write_file(dir.file("plain"), std::string(300000, 'x') + "\n" + std::string(300000, 'y') + "\n");
  int plain = open(dir.file("plain").c_str(), O_RDONLY);
  EXPECT_EQ(0, time_offset(plain, 600002, kTen));
  close(plain);
  close(fd);
}

}  // namespace
