// journal_test.cxx - the journal as a source of log lines: levels, times and
// messages of real journal files made from export text, pieces of a long
// message, several senders, following, failures; where ErrorLog says the
// log is; lines grouped by host and hosts put worst first.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "logread/HostGroups.h"
#include "logread/JournalSource.h"
#include "logread/LogLocation.h"
#include "logread/LogSource.h"
#include "tests/support/journal_util.h"
#include "tests/support/test_child.h"

namespace {

using Lines = std::vector<std::string>;

const uint64_t kT0 = 1765000000ull * 1000000;  // 06/Dec/2025:05:46:40 UTC
const char kStamp[] = "[06/Dec/2025:05:46:40 +0000]";

// Lines, with each entry's host and job beside them.
struct Collect : LineSink, JournalSink {
  std::vector<JournalEntry> entries;
  void entry(const JournalEntry &e) override { entries.push_back(e); }
  void restart() override {
    LineSink::restart();
    entries.clear();
  }
};

struct Journal : ::testing::Test {
  TempDir dir;
  std::string file = dir.file("one.journal");
  ZoneFor zone{"UTC0"};
  void SetUp() override { REQUIRE_JOURNAL_REMOTE(); }
};

TEST_F(Journal, EntriesBecomeLinesOfTheServersLayout) {
  const std::string quote = "Unable to open \"/etc/tarn/ppd/Office.ppd\": No such file";
  ASSERT_TRUE(write_journal(file, {
      {kT0 + 0, 0, "Emergency stop"},
      {kT0 + 1000000, 1, "Alert"},
      {kT0 + 2000000, 2, "Critical"},
      {kT0 + 3000000, 3, "[Job 12] Printer not connected", "alpha", 12},
      {kT0 + 4000000, 4, "Warning"},
      {kT0 + 5000000, 5, "Notice"},
      {kT0 + 6000000, 6, quote},
      {kT0 + 7000000, 7, "[Job 12] Debug", "alpha", 12},
      {kT0 + 8000000, 3, "not the server", "alpha", -1, "sshd"},
      {kT0 + 9000000, -1, "no priority"},
      {kT0 + 10000000, 6, "E [01/Jan/2026:00:00:00 +0100] in the server's own layout", "alpha", -1, "",
       "tarn.service"},
      {kT0 + 11000000, 3, "two\nlines\n"},
  }));
  JournalSource source(JournalSource::File, file, 2);
  Collect got;
  LogStatus st = source.read(got, &got);
  EXPECT_EQ(st.kind, LogStatus::Fresh) << st.reason;
  auto at = [](int sec, char level, const std::string &m) {
    char stamp[40];
    snprintf(stamp, sizeof stamp, "[06/Dec/2025:05:46:%02d +0000]", 40 + sec);
    return std::string(1, level) + " " + stamp + " " + m + "\n";
  };
  Lines want = {at(0, 'X', "Emergency stop"), at(1, 'A', "Alert"), at(2, 'C', "Critical"),
                at(3, 'E', "[Job 12] Printer not connected"), at(4, 'W', "Warning"),
                at(5, 'N', "Notice"), at(6, 'I', quote), at(7, 'D', "[Job 12] Debug"),
                at(9, 'I', "no priority"),
                "E [01/Jan/2026:00:00:00 +0100] in the server's own layout\n",
                at(11, 'E', "two lines")};
  EXPECT_EQ(got.lines, want);
  EXPECT_EQ(st.added, want.size());
  ASSERT_EQ(got.entries.size(), want.size());
  EXPECT_EQ(got.entries[3].job, 12);
  EXPECT_EQ(got.entries[3].priority, 3);
  EXPECT_EQ(got.entries[7].job, 12);
  EXPECT_EQ(got.entries[0].job, -1);
  EXPECT_EQ(got.entries[8].priority, -1);
  EXPECT_EQ(got.entries[0].realtime, kT0);
  for (const JournalEntry &e : got.entries) EXPECT_EQ(e.host, "alpha");

  // Each level takes the letters LogReader takes.
  for (int level : {0, 1, 3}) {
    Lines expect;
    for (const std::string &l : want)
      if (LogReader::accepts(level, (unsigned char)l[0])) expect.push_back(l);
    source.level(level);
    st = source.read(got, &got);
    EXPECT_EQ(st.kind, LogStatus::Fresh);
    EXPECT_EQ(got.lines, expect) << "level " << level;
  }
}

TEST_F(Journal, TimesAreLocalInTheZoneSet) {
  ASSERT_TRUE(write_journal(file, {{kT0, 3, "a"}, {1751000000ull * 1000000 + 999999, 3, "b"}}));
  struct {
    const char *tz;
    Lines want;
  } cases[] = {
      {"UTC0", {"E [06/Dec/2025:05:46:40 +0000] a\n", "E [27/Jun/2025:04:53:20 +0000] b\n"}},
      {"<+0530>-5:30", {"E [06/Dec/2025:11:16:40 +0530] a\n", "E [27/Jun/2025:10:23:20 +0530] b\n"}},
      {"<-0330>3:30", {"E [06/Dec/2025:02:16:40 -0330] a\n", "E [27/Jun/2025:01:23:20 -0330] b\n"}},
      {"CET-1CEST,M3.5.0,M10.5.0/3",
       {"E [06/Dec/2025:06:46:40 +0100] a\n", "E [27/Jun/2025:06:53:20 +0200] b\n"}},
  };
  JournalSource source(JournalSource::File, file, 2);
  for (const auto &c : cases) {
    ZoneFor tz(c.tz);
    source.forget();
    LineSink got;
    source.read(got);
    EXPECT_EQ(got.lines, c.want) << c.tz;  // one file: in the order written
  }
}

// A message longer than a piece is cut as a file's long line is: pieces of
// kPiece bytes, the last ending in the newline; one entry for them all.
TEST_F(Journal, ALongMessageArrivesInPieces) {
  const size_t k = LogReader::kPiece, head = strlen(kStamp) + 3;
  struct {
    size_t text;
    std::vector<size_t> pieces;
  } cases[] = {
      {k - head - 1, {k}},        // the line with its newline fills a piece
      {k - head, {k, 1}},         // the newline alone in a second piece
      {2 * k + 100 - head, {k, k, 101}},
  };
  for (const auto &c : cases) {
    std::string msg(c.text, 'x');
    if (c.text > k - head) msg[k - head] = 'E';  // a piece that starts like a line
    std::string path = dir.file(("long" + std::to_string(c.text) + ".journal").c_str());
    ASSERT_TRUE(write_journal(path, {{kT0, 4, msg}, {kT0 + 1, 3, "after"}}));
    JournalSource source(JournalSource::File, path, 2);
    Collect got;
    source.read(got, &got);
    ASSERT_EQ(got.lines.size(), c.pieces.size() + 1);
    std::string joined;
    for (size_t i = 0; i < c.pieces.size(); i++) {
      EXPECT_EQ(got.lines[i].size(), c.pieces[i]) << c.text << " piece " << i;
      joined += got.lines[i];
    }
    EXPECT_EQ(joined, std::string("W ") + kStamp + " " + msg + "\n");
    EXPECT_EQ(got.lines.back(), std::string("E ") + kStamp + " after\n");
    EXPECT_EQ(got.entries.size(), 2u);
    // At level 0 the warning's pieces go with it, an E-led one too.
    source.level(0);
    source.read(got, &got);
    EXPECT_EQ(got.lines, (Lines{std::string("E ") + kStamp + " after\n"}));
  }
}

// Two senders' files in one directory, as a collector keeps them: merged in
// time order, each line with its host; one host or one job on request.
TEST_F(Journal, ADirectoryOfSendersGivesEachLineItsHost) {
  ASSERT_TRUE(write_journal(dir.file("remote-alpha.journal"),
                            {{kT0, 3, "[Job 1] a1", "alpha", 1}, {kT0 + 2000000, 6, "a2"},
                             {kT0 + 4000000, 3, "a3"}}));
  ASSERT_TRUE(write_journal(dir.file("remote-beta.journal"),
                            {{kT0 + 1000000, 4, "b1", "beta"}, {kT0 + 3000000, 2, "[Job 1] b2", "beta", 1}}));
  JournalSource source(JournalSource::Directory, dir.path, 2);
  Collect got;
  LogStatus st = source.read(got, &got);
  EXPECT_EQ(st.kind, LogStatus::Fresh) << st.reason;
  Lines messages;
  std::vector<std::string> hosts;
  for (size_t i = 0; i < got.lines.size(); i++) messages.push_back(got.lines[i].substr(31));
  for (const JournalEntry &e : got.entries) hosts.push_back(e.host);
  EXPECT_EQ(messages, (Lines{"[Job 1] a1\n", "b1\n", "a2\n", "[Job 1] b2\n", "a3\n"}));
  EXPECT_EQ(hosts, (std::vector<std::string>{"alpha", "beta", "alpha", "beta", "alpha"}));

  HostGroups groups;
  source.forget();
  source.read(groups, &groups);
  ASSERT_EQ(groups.groups().size(), 2u);
  const HostGroups::Group *alpha = groups.find("alpha"), *beta = groups.find("beta");
  ASSERT_TRUE(alpha && beta);
  EXPECT_EQ(alpha->lines.size(), 3u);
  EXPECT_EQ(alpha->errors, 2u);
  EXPECT_EQ(alpha->last_error, (time_t)(kT0 / 1000000) + 4);
  EXPECT_EQ(beta->errors, 1u);
  EXPECT_EQ(beta->last_error, (time_t)(kT0 / 1000000) + 3);

  struct {
    std::string host;
    long job;
    Lines want;
  } filters[] = {
      {"beta", -1, {"b1\n", "[Job 1] b2\n"}},
      {"", 1, {"[Job 1] a1\n", "[Job 1] b2\n"}},
      {"alpha", 1, {"[Job 1] a1\n"}},
      {"gamma", -1, {}},
      {"", -1, {"[Job 1] a1\n", "b1\n", "a2\n", "[Job 1] b2\n", "a3\n"}},
  };
  for (const auto &f : filters) {
    source.host(f.host);
    source.job(f.job);
    LineSink some;
    source.read(some);
    Lines m;
    for (const std::string &l : some.lines) m.push_back(l.substr(31));
    EXPECT_EQ(m, f.want) << f.host << " " << f.job;
  }
}

// Waits (bounded) for the source to report a change and reads it; the
// seconds it took from `since`.
double seen_after(JournalSource &source, Collect &sink, std::chrono::steady_clock::time_point since,
                  size_t want_lines) {
  for (int i = 0; i < 30 && sink.lines.size() < want_lines; i++)
    if (source.wait(100000)) source.read(sink, &sink);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

TEST_F(Journal, FollowingAFileSeesEntriesAddedToIt) {
  ASSERT_TRUE(write_journal(file, {{kT0, 3, "first"}}));
  JournalSource source(JournalSource::File, file, 2);
  Collect got;
  ASSERT_EQ(source.read(got).kind, LogStatus::Fresh);
  ASSERT_GE(source.fd(), 0);
  EXPECT_EQ(source.read(got).kind, LogStatus::Unchanged);
  EXPECT_FALSE(source.wait(0));
  for (int round = 1; round <= 3; round++) {
    ASSERT_TRUE(write_journal(file, {{kT0 + round * 1000000ull, 3, "more " + std::to_string(round)}}));
    auto written = std::chrono::steady_clock::now();
    double took = seen_after(source, got, written, (size_t)round + 1);
    ASSERT_EQ(got.lines.size(), (size_t)round + 1) << "round " << round;
    EXPECT_LT(took, 1.0) << "round " << round;
    EXPECT_EQ(got.lines.back().substr(31), "more " + std::to_string(round) + "\n");
  }
  EXPECT_EQ(got.restarts, 1);  // only the first read started over
}

// A new sender's file, and a late entry of a known sender, both older than
// what was read already: neither is skipped.
TEST_F(Journal, FollowingADirectorySeesNewFilesAndLateSenders) {
  ASSERT_TRUE(write_journal(dir.file("remote-alpha.journal"), {{kT0 + 10000000, 3, "a1"}}));
  ASSERT_TRUE(write_journal(dir.file("remote-beta.journal"), {{kT0 + 20000000, 3, "b1", "beta"}}));
  JournalSource source(JournalSource::Directory, dir.path, 2);
  Collect got;
  ASSERT_EQ(source.read(got, &got).kind, LogStatus::Fresh);
  ASSERT_EQ(got.lines.size(), 2u);
  struct {
    const char *file;
    JEntry entry;
  } steps[] = {
      {"remote-gamma.journal", {kT0 + 5000000, 3, "g1", "gamma"}},
      {"remote-alpha.journal", {kT0 + 15000000, 3, "a2"}},
      {"remote-beta.journal", {kT0 + 30000000, 3, "b2", "beta"}},
  };
  size_t want = 2;
  for (const auto &s : steps) {
    ASSERT_TRUE(write_journal(dir.file(s.file), {s.entry}));
    auto written = std::chrono::steady_clock::now();
    double took = seen_after(source, got, written, ++want);
    ASSERT_EQ(got.lines.size(), want) << s.file;
    EXPECT_LT(took, 1.0) << s.file;
    EXPECT_EQ(got.lines.back().substr(31), s.entry.message + "\n");
    EXPECT_EQ(got.entries.back().host, s.entry.host);
  }
  EXPECT_EQ(got.restarts, 1);
}

TEST_F(Journal, SaysWhyAJournalCannotBeRead) {
  write_file(dir.file("text.journal"), "E not a journal\n");
  mkdir(dir.file("sub").c_str(), 0755);
  struct {
    JournalSource::Kind kind;
    std::string path;
    int error;
    const char *reason;
  } cases[] = {
      {JournalSource::File, dir.file("none.journal"), ENOENT, "No such file or directory"},
      {JournalSource::File, dir.file("text.journal"), ENODATA, "is not a journal file"},
      {JournalSource::File, dir.file("sub"), EISDIR, "is a directory"},
      {JournalSource::Directory, dir.file("none"), ENOENT, "No such file or directory"},
      {JournalSource::Directory, dir.file("text.journal"), ENOTDIR, "is not a directory"},
  };
  for (const auto &c : cases) {
    JournalSource source(c.kind, c.path);
    LineSink got;
    LogStatus st = source.read(got);
    EXPECT_EQ(st.kind, LogStatus::Failed) << c.path;
    EXPECT_EQ(st.error, c.error) << c.path;
    EXPECT_EQ(st.reason, c.reason) << c.path;
    EXPECT_EQ(source.fd(), -1);
    EXPECT_FALSE(source.wait(1000));
  }
  // An empty directory is no failure; a file that is not a journal in it is
  // named, and the rest read.
  JournalSource empty(JournalSource::Directory, dir.file("sub"));
  LineSink got;
  LogStatus st = empty.read(got);
  EXPECT_EQ(st.kind, LogStatus::Fresh);
  EXPECT_FALSE(st.damaged);
  ASSERT_TRUE(write_journal(dir.file("sub/remote-alpha.journal"), {{kT0, 3, "a"}}));
  write_file(dir.file("sub/remote-bad.journal"), "garbage");
  JournalSource some(JournalSource::Directory, dir.file("sub"));
  st = some.read(got);
  EXPECT_EQ(st.kind, LogStatus::Fresh);
  EXPECT_TRUE(st.damaged);
  EXPECT_EQ(st.reason, "1 of 2 journal files cannot be read; " + dir.file("sub/remote-bad.journal") +
                           ": is not a journal file");
  EXPECT_EQ(got.lines.size(), 1u);
}

// The system journal, here under an OS root of the test's own: only the
// server's entries, and a clear word when they may not be read.
TEST_F(Journal, TheSystemJournalAndWhoMayReadIt) {
  std::string machine = dir.file("var/log/journal/0123456789abcdef0123456789abcdef");
  ASSERT_EQ(system(("mkdir -p " + machine).c_str()), 0);
  ASSERT_TRUE(write_journal(machine + "/system.journal",
                            {{kT0, 3, "from tarnd"}, {kT0 + 1, 3, "from sshd", "alpha", -1, "sshd"},
                             {kT0 + 2, 4, "from the unit", "alpha", -1, "", "tarn.service"}}));
  auto read_as = [&](bool nobody) {
    return in_child(nobody, [&] {
      JournalSource source(JournalSource::System, dir.path, 2);
      LineSink got;
      LogStatus st = source.read(got);
      std::string out = std::to_string(st.kind) + " " + st.reason + "\n";
      for (const std::string &l : got.lines) out += l.substr(31);
      return out;
    });
  };
  EXPECT_EQ(read_as(false), std::to_string(LogStatus::Fresh) + " \nfrom tarnd\nfrom the unit\n");
  if (geteuid() != 0) return;
  chmod(dir.path.c_str(), 0755);
  ASSERT_EQ(system(("chmod -R a+rX " + dir.path + "/var && chmod 0640 " + machine + "/system.journal").c_str()), 0);
  EXPECT_EQ(read_as(true), std::to_string(LogStatus::Failed) +
                               " Permission denied (the journal is for root and the groups " +
                               kJournalGroups + ")\n");
  chmod((machine + "/system.journal").c_str(), 0644);
  EXPECT_EQ(read_as(true), std::to_string(LogStatus::Fresh) + " \nfrom tarnd\nfrom the unit\n");
}

TEST(LogLocation, ErrorLogNamesTheSource) {
  TempDir dir;
  char host[256] = "";
  gethostname(host, sizeof host);
  std::string conf = dir.file("tarn-files.conf");
  struct {
    const char *files, *tarnd;  // tarn-files.conf ("-": none) and tarnd.conf ("": none)
    bool systemd;
    LogLocation::Kind kind;
    std::string path, reason;
  } cases[] = {
      {"ErrorLog /var/log/tarn/error_log\n", "", true, LogLocation::File, "/var/log/tarn/error_log",
       "Reading /var/log/tarn/error_log, named by ErrorLog /var/log/tarn/error_log in " + conf + "."},
      {"# logs\n  errorlog   \"/srv/log/%s-errors\"  \r\nAccessLog x\n", "ServerName print1\n", true,
       LogLocation::File, "/srv/log/print1-errors",
       "Reading /srv/log/print1-errors, named by ErrorLog /srv/log/%s-errors in " + conf +
           " (%s is the server's name, print1)."},
      {"ErrorLog /srv/%s/100%%\n", "", true, LogLocation::File, std::string("/srv/") + host + "/100%",
       std::string("Reading /srv/") + host + "/100%, named by ErrorLog /srv/%s/100%% in " + conf +
           " (%s is the server's name, " + host + ")."},
      {"ErrorLog logs/error_log\n", "", true, LogLocation::File, dir.path + "/logs/error_log",
       "Reading " + dir.path + "/logs/error_log, named by ErrorLog logs/error_log in " + conf + "."},
      {"ErrorLog /a\nErrorLog syslog\n", "", true, LogLocation::Journal, "",
       "Reading the system journal: ErrorLog syslog in " + conf +
           " sends the server's messages to the system log, which systemd keeps there."},
      {"ErrorLog stderr\n", "", true, LogLocation::Journal, "",
       "Reading the system journal: ErrorLog stderr in " + conf +
           " sends the server's messages to its standard error, which systemd keeps there."},
      {"ErrorLog syslog\n", "", false, LogLocation::Journal, "",
       "Reading the system journal: ErrorLog syslog in " + conf +
           " sends the server's messages to the system log, which systemd keeps there; but this "
           "host does not run systemd, so it may hold none of them."},
      {"MaxLogSize 1m\n", "", true, LogLocation::File, kDefaultLog,
       std::string("Reading ") + kDefaultLog + ", the server's default: " + conf + " has no ErrorLog."},
      {"ErrorLog\t\n", "", true, LogLocation::File, kDefaultLog,
       std::string("Reading ") + kDefaultLog + ", the server's default: the ErrorLog of " + conf +
           " is empty."},
      {"-", "", true, LogLocation::File, kDefaultLog,
       std::string("Reading ") + kDefaultLog + ", the server's default: " + conf +
           " cannot be read (No such file or directory)."},
  };
  for (const auto &c : cases) {
    unlink(conf.c_str());
    unlink(dir.file("tarnd.conf").c_str());
    if (strcmp(c.files, "-")) write_file(conf, c.files);
    if (*c.tarnd) write_file(dir.file("tarnd.conf"), c.tarnd);
    LogLocation where = locate_log(dir.path, c.systemd);
    EXPECT_EQ(where.kind, c.kind) << c.files;
    EXPECT_EQ(where.path, c.path) << c.files;
    EXPECT_EQ(where.reason, c.reason) << c.files;
  }
  // This host's: TARN_SERVERROOT.
  write_file(conf, "ErrorLog /x/y\n");
  setenv("TARN_SERVERROOT", dir.path.c_str(), 1);
  EXPECT_EQ(locate_log().path, "/x/y");
  unsetenv("TARN_SERVERROOT");
}

// Entries and lines as a source gives them, grouped; without entries, a
// file's lines go to the host "".
// A name picked by hand, and the server's configuration, as a source.
TEST(SourceChoice, WhatANameAndTheConfigurationMean) {
  TempDir dir;
  write_file(dir.file("error_log"), "E x\n");
  mkdir(dir.file("remote").c_str(), 0755);
  struct {
    std::string path;
    bool rotated;
    SourceRef::Kind kind;
    bool host_kept;
  } cases[] = {
      {dir.file("error_log"), true, SourceRef::File, false},
      {dir.file("error_log"), false, SourceRef::File, false},
      {dir.file("missing_log"), true, SourceRef::File, false},
      {dir.file("remote"), true, SourceRef::JournalDirectory, true},
      {dir.file("remote/alpha.journal"), true, SourceRef::JournalFile, true},
      {dir.file("system@0005-1.journal~"), true, SourceRef::JournalFile, true},
      {dir.file("journal.log"), true, SourceRef::File, false},
  };
  for (const auto &c : cases) {
    SourceRef s = ref_for_path(c.path, c.rotated, "beta");
    EXPECT_EQ(s.kind, c.kind) << c.path;
    EXPECT_EQ(s.path, c.path);
    EXPECT_EQ(s.rotated, c.rotated) << c.path;
    EXPECT_EQ(s.host, c.host_kept ? "beta" : "") << c.path;
  }
  LogLocation file{LogLocation::File, "/var/log/tarn/error_log", "why"};
  LogLocation journal{LogLocation::Journal, "", "why"};
  SourceRef f = ref_for(file, false, "beta"), j = ref_for(journal, true, "beta");
  EXPECT_TRUE(f.kind == SourceRef::File && f.path == file.path && !f.rotated && f.host.empty());
  EXPECT_TRUE(j.kind == SourceRef::Journal && j.path.empty() && j.host == "beta");
  EXPECT_EQ(j.name(), "the system journal");
}

// Each line of a rotated set gets a place of its own, growing in the order
// read, and the same place when the set is read again; a log cut short in
// place after its copy was taken reads the copy again before the new lines.
TEST(LogSource, ARotatedSetPlacesEachLineAndReadsACopyTruncateWhole) {
  TempDir dir;
  std::string log = dir.file("error_log");
  write_file(log + ".1", "E one a\nE one b\n");
  write_file(log + ".O", "E old\n");
  write_file(log, "E live a\nE live b\n");
  struct Placed : LineSink {
    LogSource *source = nullptr;
    std::vector<off_t> places;
    void restart() override {
      LineSink::restart();
      places.clear();
    }
    void line(const char *text, size_t len, bool cont) override {
      LineSink::line(text, len, cont);
      places.push_back(source->offset());
    }
  };
  LogSource source(SourceRef{SourceRef::File, log, "", true}, 2);
  Placed got;
  got.source = &source;
  ASSERT_EQ(source.read(got).kind, LogStatus::Fresh);
  EXPECT_EQ(got.lines, (Lines{"E one a\n", "E one b\n", "E old\n", "E live a\n", "E live b\n"}));
  EXPECT_EQ(source.parts_read(), 2u);
  for (size_t k = 1; k < got.places.size(); k++) EXPECT_LT(got.places[k - 1], got.places[k]) << k;
  std::vector<off_t> first = got.places;
  source.forget();
  source.read(got);
  EXPECT_EQ(got.places, first);
  EXPECT_FALSE(source.changed());

  write_file(log + ".1", "E one a\nE one b\nE live a\nE live b\n");
  write_file(log + ".O", "");
  ASSERT_EQ(truncate(log.c_str(), 0), 0);
  write_file(log, "E new\n");
  EXPECT_TRUE(source.changed());
  EXPECT_EQ(source.read(got).kind, LogStatus::Fresh);
  EXPECT_EQ(got.lines, (Lines{"E one a\n", "E one b\n", "E live a\n", "E live b\n", "E new\n"}));

  // Alone, the log's places are its offsets.
  LogSource alone(SourceRef{SourceRef::File, log, "", false}, 2);
  got.source = &alone;
  alone.read(got);
  EXPECT_TRUE(alone.plain_file());
  EXPECT_EQ(got.lines, (Lines{"E new\n"}));
  EXPECT_EQ(got.places, (std::vector<off_t>{0}));
}

TEST(HostGroups, GroupsLinesByHostAndCountsErrorEntries) {
  struct Step {
    const char *host;  // nullptr: a line without a new entry
    time_t when;
    const char *line;
  };
  struct {
    std::vector<Step> steps;
    std::vector<std::tuple<std::string, size_t, size_t, time_t>> want;  // host, lines, errors, last
  } cases[] = {
      {{{"a", 10, "E x\n"}, {"b", 11, "W y\n"}, {"a", 12, "I z\n"}, {"a", 9, "C w\n"}},
       {{"a", 3, 2, 10}, {"b", 1, 0, 0}}},
      // A long entry's later pieces are no error lines of their own.
      {{{"a", 5, "I "}, {nullptr, 0, "Exxx"}, {nullptr, 0, "\n"}, {"a", 6, "X "}, {nullptr, 0, "E"}},
       {{"a", 2, 1, 6}}},
      {{{nullptr, 0, "E file line\n"}, {nullptr, 0, "A another\n"}, {nullptr, 0, "I info\n"}},
       {{"", 3, 2, 0}}},
      {{}, {}},
  };
  for (const auto &c : cases) {
    HostGroups g;
    g.line("E dropped by the restart\n", 25, false);
    g.restart();
    bool entries = false;  // lines after an entry without one of their own are its pieces
    for (const Step &s : c.steps) {
      bool piece = entries && !s.host;
      if (s.host) {
        entries = true;
        JournalEntry e;
        e.host = s.host;
        e.realtime = (uint64_t)s.when * 1000000;
        g.entry(e);
      }
      g.line(s.line, strlen(s.line), piece);
    }
    std::vector<std::tuple<std::string, size_t, size_t, time_t>> got;
    for (const HostGroups::Group *h : g.groups())
      got.emplace_back(h->host, h->lines.size(), h->errors, h->last_error);
    EXPECT_EQ(got, c.want);
  }
}

TEST(HostGroups, WorstFirstByRankScoreThenLatestError) {
  std::vector<HostRow> rows = {
      {"quiet", 0, 0, 0, 0, ""},        {"symptoms", 0, 40, 12, 500, ""}, {"cause", 1, 5, 1, 100, ""},
      {"cause-late", 1, 5, 1, 200, ""}, {"cause-big", 1, 9, 3, 50, ""},  {"b-tie", 0, 40, 12, 500, ""},
  };
  worst_first(rows);
  std::vector<std::string> order;
  for (const HostRow &r : rows) order.push_back(r.host);
  EXPECT_EQ(order, (std::vector<std::string>{"cause-big", "cause-late", "cause", "b-tie", "symptoms",
                                             "quiet"}));
}

}  // namespace
