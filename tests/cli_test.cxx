// cli_test.cxx - the pieces of veklog-explain on their own: the HTML
// renderer, the times of lines and options, the command line, the lines
// gathered from the reader.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "cli/Gather.h"
#include "cli/HtmlText.h"
#include "base/LogTime.h"
#include "cli/Input.h"
#include "cli/Job.h"
#include "cli/Options.h"
#include "tests/support/journal_util.h"
#include "tests/support/kb_builder.h"

namespace {

std::string text(const std::string &html, int width = 40, int indent = 0, bool utf8 = false) {
  HtmlTextStyle s;
  s.width = width;
  s.indent = indent;
  s.utf8 = utf8;
  return html_to_text(html, s);
}

TEST(HtmlText, RendersTheKnowledgeBasesMarkup) {
  struct Case {
    const char *what;
    std::string html;
    int width, indent;
    std::string want;
  } cases[] = {
      {"paragraphs wrap and stand apart",
       "<P>The scheduler could not open   the\nfile it needs.</P><P>Second.</P>", 20, 0,
       "The scheduler could\nnot open the file it\nneeds.\n\nSecond.\n"},
      {"indent on every line", "<P>one two three four</P>", 14, 4, "    one two\n    three four\n"},
      {"numbered list, wrapped under its text",
       "<P>Do:</P><OL><LI>First step here.</LI><LI>Second</LI></OL><P>Done.</P>", 16, 0,
       "Do:\n\n  1. First step\n     here.\n  2. Second\n\nDone.\n"},
      {"bullets", "<UL><LI>a</LI><LI>b</LI></UL>", 40, 0, "  * a\n  * b\n"},
      {"nested lists", "<OL><LI>a<UL><LI>b</LI></UL></LI><LI>c</LI></OL>", 40, 0,
       "  1. a\n       * b\n  2. c\n"},
      {"PRE kept as written", "<P>Set:</P><PRE>KeepJobFiles  No\n  MaxLogSize 1m</PRE>", 10, 0,
       "Set:\n\n  KeepJobFiles  No\n    MaxLogSize 1m\n"},
      {"TT never broken, blanks kept", "<P>Run <TT>tarnd  -t</TT> now please</P>", 12, 0,
       "Run\ntarnd  -t\nnow please\n"},
      {"TT glued to punctuation", "<P>(<TT>lpstat</TT>).</P>", 40, 0, "(lpstat).\n"},
      {"entities decoded", "<P>&lt;Location /admin&gt; &amp; caf&eacute;&nbsp;au&#33;</P>", 40, 0,
       "<Location /admin> & caf\xC3\xA9 au!\n"},
      {"line break", "<P>one<BR>two</P>", 40, 0, "one\ntwo\n"},
      {"link target shown", "<P>See <A HREF=\"http://x.invalid/doc\">the guide</A>.</P>", 60, 0,
       "See the guide <http://x.invalid/doc> .\n"},
      {"broken markup still gives text", "<P>open <B>bold <OL><LI>item", 40, 0,
       "open bold\n\n  1. item\n"},
      {"control characters never reach the terminal", "<P>bell\x07 and \x1b[31mred\xC2\x9B" "1m</P>",
       40, 0, "bell and [31mred?1m\n"},
      {"a word longer than the width stands alone", "<P>a abcdefghijklmnopqrstuvwxyz b</P>", 20,
       0, "a\nabcdefghijklmnopqrstuvwxyz\nb\n"},
      {"no wrapping at width 0", "<P>one two three four five six seven</P>", 0, 0,
       "one two three four five six seven\n"},
      {"text outside any element", "plain words", 40, 0, "plain words\n"},
      {"nothing", "  \n ", 40, 0, ""},
      {"scripts are not text", "<P>a</P><SCRIPT>alert(1)</SCRIPT>", 40, 0, "a\n"},
  };
  for (const Case &c : cases) EXPECT_EQ(c.want, text(c.html, c.width, c.indent)) << c.what;
}

TEST(HtmlText, BulletsAreUnicodeOnUtf8Terminals) {
  EXPECT_EQ("  \xE2\x80\xA2 a\n", text("<UL><LI>a</LI></UL>", 40, 0, true));
  EXPECT_EQ(3u, text_columns("\xE2\x80\xA2 a"));
}

// Reads as the reader delivers them, one step a read: "=text" a line or a
// line's first piece, "+text" a piece that continues the line before it,
// "-" the last piece withdrawn, "!" a read from the start; then the lines
// taken, with the unfinished last one held back or not.
TEST(Gather, JoinsPiecesAndHoldsTheLineBeingWritten) {
  struct Step {
    std::vector<std::string> calls;
    bool hold;
    std::vector<std::string> want;
  };
  struct Case {
    const char *what;
    std::vector<Step> steps;
  } cases[] = {
      {"a long line is one line", {{{"=E ab", "+cd", "+e\n", "=W x\n"}, false, {"E abcde\n", "W x\n"}}}},
      {"its unfinished end withdrawn and given longer",
       {{{"=E ab", "+c"}, true, {}}, {{"-", "+cd\n"}, true, {"E abcd\n"}}}},
      {"a read that goes on inside the held line",
       {{{"=E ab"}, true, {}}, {{"+cd", "+ef"}, true, {}}, {{"+\n"}, true, {"E abcdef\n"}}}},
      {"a line withdrawn whole", {{{"=E hal"}, true, {}}, {{"-", "=E half\n"}, true, {"E half\n"}}}},
      {"a held line stands when other lines come",
       {{{"=E nul"}, true, {}}, {{"=E next\n", "=E la"}, true, {"E nul", "E next\n"}}}},
      {"a read from the start forgets it", {{{"=E ab"}, true, {}}, {{"!", "=E new\n"}, true, {"E new\n"}}}},
      {"not held, the unfinished line comes too", {{{"=E a\n", "=E b", "+c"}, false, {"E a\n", "E bc"}}}},
  };
  auto give = [](LogSink &sink, const std::string &call) {
    if (call == "-") sink.drop_unfinished();
    else if (call == "!") sink.restart();
    else sink.line(call.c_str() + 1, call.size() - 1, call[0] == '+');
  };
  for (const Case &c : cases) {
    Gather g, whole;
    std::vector<std::string> walked;
    LineWalk walk([&](const std::string &l) { walked.push_back(l); }, [&] { walked.clear(); });
    for (const Step &step : c.steps) {
      for (const std::string &call : step.calls) give(g, call), give(whole, call), give(walk, call);
      EXPECT_EQ(g.take(step.hold), step.want) << c.what;
    }
    // Walked, the lines are those of one gathering taken at the end.
    walk.finish();
    EXPECT_EQ(whole.take(false), walked) << c.what;
    EXPECT_EQ(walked.size(), walk.count()) << c.what;
  }
  // Past its limit, a walk passes lines over but counts them.
  std::vector<std::string> walked;
  LineWalk walk([&](const std::string &l) { walked.push_back(l); });
  walk.limit(2);
  for (const char *l : {"E a\n", "E b", "E c\n", "E d\n"}) walk.line(l, strlen(l), l[2] == 'c');
  walk.finish();
  EXPECT_EQ((std::vector<std::string>{"E a\n", "E bE c\n"}), walked);
  EXPECT_EQ(3u, walk.count());
}

struct Utc {
  Utc() {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

// A job's lines in a journal: the JID field decides where an entry has
// one, even against its message's "[Job N] "; without one, the prefix does.
TEST(Job, TheJournalsJidFindsAJobsLinesWhereAnEntryHasOne) {
  REQUIRE_JOURNAL_REMOTE();
  TempDir dir;
  struct {
    const char *message;
    long jid;
    bool by_jid, by_prefix;  // of job 7
  } rows[] = {
      {"[Job 7] Started filter", 7, true, true},
      {"Printer not connected", 7, true, false},
      {"[Job 7] Moved to job 8's record", 8, false, true},
      {"[Job 7] Without a JID", -1, true, true},
      {"[Job 8] Another job", -1, false, false},
      {"[Job 77] Another job", 77, false, false},
      {"Not a job's line", -1, false, false},
  };
  std::vector<JEntry> entries;
  uint64_t t = 1765000000000000ull;
  for (const auto &r : rows) entries.emplace_back(t += 1000000, 3, r.message, "alpha", r.jid);
  Options o;
  o.source = Options::JournalFile;
  o.journal = dir.file("a.journal");
  ASSERT_TRUE(write_journal(o.journal, entries));
  Input in(o);
  Gather got;
  EntryJobs jids;
  ASSERT_EQ(in.read(got, &jids).kind, LogStatus::Fresh);
  std::vector<std::string> lines = got.take(false);
  ASSERT_EQ(lines.size(), sizeof rows / sizeof rows[0]);
  ASSERT_EQ(jids.ids.size(), lines.size());
  std::unique_ptr<ErrorXML> kb = KbBuilder().remedy("r").item(0, "Printer not connected*", 5).load();
  std::vector<bool> by_jid = lines_of_job(*kb, lines, 7, jids.ids);
  std::vector<bool> by_prefix = lines_of_job(*kb, lines, 7);
  for (size_t i = 0; i < lines.size(); i++) {
    EXPECT_EQ(jids.ids[i], rows[i].jid) << lines[i];
    EXPECT_EQ(by_jid[i], rows[i].by_jid) << lines[i];
    EXPECT_EQ(by_prefix[i], rows[i].by_prefix) << lines[i];
  }
}

TEST(LogTime, ReadsTheLinesTimeField) {
  struct Case {
    std::string line;
    bool ok;
    time_t t;
  } cases[] = {
      {"E [09/Dec/2026:10:00:00 +0000] msg\n", true, 1796810400},
      {"E [09/Dec/2026:11:00:00 +0100] msg\n", true, 1796810400},
      {"E [09/Dec/2026:04:30:00 -0530] msg\n", true, 1796810400},
      {"E [09/Dec/2026:10:00:00 +0000]", true, 1796810400},
      {"E [09/Xyz/2026:10:00:00 +0000] msg\n", false, 0},
      {"E [31/Apr/2026:10:00:00 +0000] msg\n", false, 0},
      {"E [09/Dec/2026:25:00:00 +0000] msg\n", false, 0},
      {"E 09/Dec/2026:10:00:00 +0000  msg\n", false, 0},
      {"continuation of a long line without a time\n", false, 0},
      {"\n", false, 0},
  };
  for (const Case &c : cases) {
    time_t t = 0;
    EXPECT_EQ(c.ok, line_time(c.line.data(), c.line.size(), &t)) << c.line;
    if (c.ok) {
      EXPECT_EQ(c.t, t) << c.line;
    }
  }
  EXPECT_EQ("2026-12-09T10:00:00Z", iso_time(1796810400));
}

TEST(LogTime, ReadsTimesAsAdministratorsWriteThem) {
  Utc utc;
  struct Case {
    const char *arg;
    bool ok;
    time_t t;
  } cases[] = {
      {"2026-12-09 10:00", true, 1796810400},     {"2026-12-09T10:00:00", true, 1796810400},
      {"2026-12-09 10:00:30", true, 1796810430},  {"2026-12-09", true, 1796774400},
      {"2026-12-09 11:00+01:00", true, 1796810400}, {"2026-12-09 10:00Z", true, 1796810400},
      {"2026-12-09 05:00 -0500", true, 1796810400},
      {"09/Dec/2026:10:00:00 +0000", true, 1796810400},
      {"[09/Dec/2026:10:00:00 +0000]", true, 1796810400},
      {"09/Dec/2026:10:00:00", true, 1796810400},
      {"2026-02-30", false, 0},                  {"2026-12-09 10", false, 0},
      {"soon", false, 0},                        {"", false, 0},
      {"2026-12-09 10:00 junk", false, 0},       {"2026-12-09 24:00", false, 0},
  };
  for (const Case &c : cases) {
    time_t t = 0;
    EXPECT_EQ(c.ok, parse_time(c.arg, &t)) << c.arg;
    if (c.ok) {
      EXPECT_EQ(c.t, t) << c.arg;
    }
  }
  // Without an offset the time is local.
  setenv("TZ", "CET-1", 1);
  tzset();
  time_t t = 0;
  EXPECT_TRUE(parse_time("2026-12-09 11:00", &t));
  EXPECT_EQ(1796810400, t);
  setenv("TZ", "UTC", 1);
  tzset();
}

TEST(LogTime, ReadsTimesRelativeToNow) {
  Utc utc;
  const time_t now = 1796810430;  // 2026-12-09 10:00:30 UTC
  const time_t midnight = 1796774400;
  struct Case {
    const char *arg;
    bool ok;
    time_t t;
  } cases[] = {
      {"now", true, now},
      {" Now ", true, now},
      {"today", true, midnight},
      {"yesterday", true, midnight - 86400},
      {"tomorrow", true, midnight + 86400},
      {"08:15", true, midnight + 8 * 3600 + 15 * 60},
      {"08:15:09", true, midnight + 8 * 3600 + 15 * 60 + 9},
      {"-1h", true, now - 3600},
      {"+30min", true, now + 1800},
      {"-90s", true, now - 90},
      {"-1h30min", true, now - 5400},
      {"1 hour ago", true, now - 3600},
      {"30 min ago", true, now - 1800},
      {"2 days ago", true, now - 2 * 86400},
      {"1 week ago", true, now - 7 * 86400},
      {"1h 30m ago", true, now - 5400},
      {"3 Hours Ago", true, now - 3 * 3600},
      {"1 hour", false, 0},        // back or forth?
      {"-1h ago", false, 0},
      {"ago", false, 0},
      {"-", false, 0},
      {"-1 fortnight", false, 0},
      {"-h", false, 0},
      {"-1234567890h", false, 0},  // more digits than a span takes
      {"25:00", false, 0},
      {"8:15", false, 0},
      {"08:15 junk", false, 0},
      {"yesterday 10:00", false, 0},
  };
  for (const Case &c : cases) {
    time_t t = 0;
    EXPECT_EQ(c.ok, parse_time(c.arg, now, &t)) << c.arg;
    if (c.ok) {
      EXPECT_EQ(c.t, t) << c.arg;
    }
  }
  // Midnight is the calendar's, also on the day the clocks go forward:
  // 29 March 2026 in central Europe had 23 hours.
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  const time_t noon = 1774778400;  // 2026-03-29 12:00 CEST
  time_t t = 0;
  EXPECT_TRUE(parse_time("today", noon, &t));
  EXPECT_EQ(1774738800, t);  // 2026-03-29 00:00 CET
  EXPECT_TRUE(parse_time("yesterday", noon, &t));
  EXPECT_EQ(1774738800 - 86400, t);
  EXPECT_TRUE(parse_time("10:00", noon, &t));
  EXPECT_EQ(noon - 7200, t);
  setenv("TZ", "UTC", 1);
  tzset();
}

std::string parse(std::vector<const char *> args, Options &o) {
  args.insert(args.begin(), "veklog-explain");
  return parse_options((int)args.size(), const_cast<char *const *>(args.data()), o);
}

TEST(Options, ReadsTheCommandLine) {
  Utc utc;
  Options o;
  EXPECT_EQ("", parse({}, o));
  EXPECT_EQ(Options::List, o.mode);
  EXPECT_EQ("/var/log/tarn/error_log", o.log);
  EXPECT_EQ(0, o.level);

  Options p;
  EXPECT_EQ("", parse({"-l", "all", "--remedy", "--oldest-first", "--json", "--kb=k.xml",
                       "--since", "2026-12-09", "--until=2026-12-09 10:00", "--color=never",
                       "log"},
                      p));
  EXPECT_EQ(2, p.level);
  EXPECT_TRUE(p.remedy && p.oldest_first && p.json);
  EXPECT_EQ("k.xml", p.kb);
  EXPECT_EQ("log", p.log);
  EXPECT_EQ(Options::Never, p.color);
  EXPECT_TRUE(p.has_since && p.has_until);
  EXPECT_EQ(1796774400, p.since);
  EXPECT_EQ(1796810400, p.until);

  Options q;
  EXPECT_EQ("", parse({"--level=info", "-d", "-"}, q));
  EXPECT_EQ(1, q.level);
  EXPECT_EQ(Options::Diagnose, q.mode);
  EXPECT_EQ("-", q.log);

  Options c;
  EXPECT_EQ("", parse({"--check-kb", "data/errors.xml", "--samples", "s.txt"}, c));
  EXPECT_EQ(Options::CheckKb, c.mode);
  EXPECT_EQ("data/errors.xml", c.kb);
  EXPECT_EQ("s.txt", c.samples);

  Options h, v;
  EXPECT_EQ("", parse({"-l", "all", "--help", "--bogus"}, h));
  EXPECT_EQ(Options::Help, h.mode);
  EXPECT_EQ("", parse({"-V"}, v));
  EXPECT_EQ(Options::Version, v.mode);
}

TEST(Options, ReadsWhatToFindAndHow) {
  struct Case {
    std::vector<const char *> args;
    long lines;
    std::string grep;
    bool regex;
    int job, level;
    bool brief;
    Options::Color color;
  } cases[] = {
      {{}, -1, "", false, 0, 0, false, Options::Auto},
      {{"-n", "5"}, 5, "", false, 0, 0, false, Options::Auto},
      {{"--lines=0"}, 0, "", false, 0, 0, false, Options::Auto},
      {{"-n", "all"}, -1, "", false, 0, 0, false, Options::Auto},
      {{"--follow"}, 10, "", false, 0, 0, false, Options::Auto},  // as tail -f
      {{"-f", "-n", "3"}, 3, "", false, 0, 0, false, Options::Auto},
      {{"-f", "-n", "all"}, -1, "", false, 0, 0, false, Options::Auto},
      {{"-g", "Job 302"}, -1, "Job 302", false, 0, 0, false, Options::Auto},
      {{"--grep=lab.*color", "-E"}, -1, "lab.*color", true, 0, 0, false, Options::Auto},
      {{"--job", "302", "-l", "info"}, -1, "", false, 302, 1, false, Options::Auto},
      {{"--brief"}, -1, "", false, 0, 0, true, Options::Auto},
      {{"--color"}, -1, "", false, 0, 0, false, Options::Always},
      {{"--color=yes"}, -1, "", false, 0, 0, false, Options::Always},
      {{"--colour=no"}, -1, "", false, 0, 0, false, Options::Never},
      {{"--color=never", "--color=auto"}, -1, "", false, 0, 0, false, Options::Auto},
  };
  for (const Case &c : cases) {
    Options o;
    std::string what = c.args.empty() ? "(none)" : c.args[0];
    ASSERT_EQ("", parse(c.args, o)) << what;
    EXPECT_EQ(c.lines, o.lines) << what;
    EXPECT_EQ(c.grep, o.grep) << what;
    EXPECT_EQ(c.regex, o.regex) << what;
    EXPECT_EQ(c.job, o.job) << what;
    EXPECT_EQ(c.level, o.level) << what;
    EXPECT_EQ(c.brief, o.brief) << what;
    EXPECT_EQ(c.color, o.color) << what;
  }
  Options job;
  ASSERT_EQ("", parse({"--job=7"}, job));
  EXPECT_FALSE(job.level_set);
  Options level;
  ASSERT_EQ("", parse({"--job=7", "-l", "errors"}, level));
  EXPECT_TRUE(level.level_set);
}

TEST(Options, ReadsTheCheck) {
  Utc utc;
  Options o;
  time_t before = time(nullptr);
  ASSERT_EQ("", parse({"--check", "log"}, o));
  EXPECT_EQ(Options::Check, o.mode);
  EXPECT_EQ("log", o.log);
  EXPECT_EQ(1, o.warning);
  EXPECT_EQ(5, o.critical);
  // By default the last hour.
  EXPECT_TRUE(o.has_since);
  EXPECT_GE(o.since, before - kCheckSpan);
  EXPECT_LE(o.since, time(nullptr) - kCheckSpan);

  Options p;
  ASSERT_EQ("", parse({"--check", "--since=2026-12-09", "-w", "3", "--critical=12", "-g", "lab"}, p));
  EXPECT_EQ(1796774400, p.since);
  EXPECT_EQ(3, p.warning);
  EXPECT_EQ(12, p.critical);
  EXPECT_EQ("lab", p.grep);

  struct Case {
    std::vector<const char *> args;
    bool check;
  } asks[] = {{{"--check"}, true},  {{"-l", "all", "--check", "--bogus"}, true},
              {{"--check-kb"}, false}, {{"--", "--check"}, false}, {{}, false}};
  for (const Case &c : asks) {
    std::vector<const char *> argv = c.args;
    argv.insert(argv.begin(), "veklog-explain");
    argv.push_back(nullptr);
    EXPECT_EQ(c.check, check_requested((int)argv.size() - 1, const_cast<char *const *>(argv.data())))
        << (c.args.empty() ? "(none)" : c.args.back());
  }
}

TEST(Options, ReadsTheSource) {
  struct Case {
    std::vector<const char *> args;
    Options::Source source;
    std::string log, journal, host;
    bool by_host, rotated;
  } cases[] = {
      {{}, Options::Located, "/var/log/tarn/error_log", "", "", false, true},
      {{"log"}, Options::Named, "log", "", "", false, true},
      {{"--no-rotated", "log"}, Options::Named, "log", "", "", false, false},
      {{"--journal", "--host=alpha"}, Options::Journal, "/var/log/tarn/error_log", "", "alpha", false, true},
      {{"--journal-file", "a.journal"}, Options::JournalFile, "/var/log/tarn/error_log", "a.journal", "", false, true},
      {{"-D", "remote", "--by-host", "-d"}, Options::JournalDir, "/var/log/tarn/error_log", "remote", "", true, true},
      {{"--directory=remote", "--host", "beta", "-f"}, Options::JournalDir, "/var/log/tarn/error_log", "remote", "beta", false, true},
  };
  for (const Case &c : cases) {
    Options o;
    std::string what = c.args.empty() ? "(none)" : c.args[0];
    ASSERT_EQ("", parse(c.args, o)) << what;
    EXPECT_EQ(c.source, o.source) << what;
    EXPECT_EQ(c.log, o.log) << what;
    EXPECT_EQ(c.journal, o.journal) << what;
    EXPECT_EQ(c.host, o.host) << what;
    EXPECT_EQ(c.by_host, o.by_host) << what;
    EXPECT_EQ(c.rotated, o.rotated) << what;
  }
}

TEST(Options, SaysWhatIsWrong) {
  struct Case {
    std::vector<const char *> args;
    const char *says;
  } cases[] = {
      {{"--level=warnings"}, "unknown level 'warnings'"},
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-z"}, "unknown option '-z'"},
      {{"--kb"}, "option '--kb' needs a value"},
      {{"-l"}, "option '-l' needs a value"},
      {{"--since=soon"}, "cannot read the time 'soon'"},
      {{"--color=sometimes"}, "--color takes always, never or auto"},
      {{"a", "b"}, "too many files: 'b'"},
      {{"--follow", "--diagnose"}, "do not go together"},
      {{"--follow", "-"}, "standard input cannot be followed"},
      {{"--samples=s"}, "--samples goes with --check-kb"},
      {{"--check-kb", "--json"}, "cannot be combined"},
      {{"--since=2026-12-10", "--until=2026-12-09"}, "earlier than --since"},
      {{""}, "the log's name is empty"},
      {{"--since=1 hour"}, "cannot read the time '1 hour'"},
      {{"--color=sometimes"}, "not 'sometimes'"},
      {{"-n", "-3"}, "--lines takes a number of lines or all, not '-3'"},
      {{"--lines=ten"}, "not 'ten'"},
      {{"-n"}, "option '-n' needs a value"},
      {{"--grep="}, "--grep needs a text"},
      {{"-E"}, "-E goes with --grep"},
      {{"-E", "-g", "lab("}, "cannot read the regular expression 'lab('"},
      {{"--job=0"}, "--job takes a job's number"},
      {{"--job=x12"}, "--job takes a job's number"},
      {{"--job=3", "-f"}, "--job and --follow do not go together"},
      {{"--brief", "-r"}, "--brief shows no remedy texts"},
      {{"--check", "--diagnose"}, "--check cannot be combined"},
      {{"--check", "-f"}, "--check cannot be combined"},
      {{"--check", "--json"}, "--check cannot be combined"},
      {{"--check", "--job=4"}, "--check cannot be combined"},
      {{"--check", "-n", "4"}, "--check cannot be combined"},
      {{"--check", "--check-kb"}, "--check-kb cannot be combined"},
      {{"--check", "-w", "0"}, "--warning takes a score of 1 or more, not '0'"},
      {{"--check", "--critical=high"}, "--critical takes a score"},
      {{"--warning=3"}, "--warning and --critical go with --check"},
      {{"--journal", "-D", "d"}, "name one source"},
      {{"--journal-file", "f", "log"}, "name two sources"},
      {{"-D", ""}, "--directory needs a directory's name"},
      {{"--host="}, "--host needs a host's name"},
      {{"--journal", "--by-host"}, "--by-host goes with --diagnose"},
      {{"--host=a", "log"}, "a log file does not say which host"},
      {{"-d", "--by-host", "log"}, "a log file does not say which host"},
      {{"--journal", "--no-rotated"}, "--no-rotated goes with a log file"},
      {{"--journal", "-d", "--by-host", "--job=3"}, "--by-host and --job do not go together"},
  };
  for (const Case &c : cases) {
    Options o;
    std::string got = parse(c.args, o);
    EXPECT_NE(std::string::npos, got.find(c.says)) << c.args[0] << " gave: " << got;
  }
}

}  // namespace
