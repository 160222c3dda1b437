// find_test.cxx - finding a text in log lines, the filter's judgement of a
// long line, the job a line names, and what the whole log holds; no toolkit.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include <gtest/gtest.h>

#include "base/LogLine.h"
#include "base/TextMatch.h"
#include "logread/LogIndex.h"
#include "tests/support/test_util.h"

namespace {

TEST(TextMatch, FindsTheTextWithLettersOfEitherCase) {
  struct {
    const char *text;
    std::string in;
    size_t at;
  } cases[] = {
      {"job 302", "E [x] [Job 302] Unable to", 7},
      {"JOB 302", "e [x] [job 302] unable", 7},
      {"Job 302", "[Job 3020]", 1},      // a longer number holds it too
      {"[Job 30]", "[Job 302]", TextMatch::npos},
      {"label-1", "printer \"LABEL-1\"", 9},
      {"@", "a`b", TextMatch::npos},     // folding is for letters only
      {"[", "{x[", 2},
      {"\xc3\xa9", "caf\xc3\x89 caf\xc3\xa9", 9},  // other bytes only as they are
      {"", "anything", 0},
      {"abc", "ab", TextMatch::npos},
      {"zz", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaazZ", 38},  // past a whole scan block
      {"queue x", std::string(40, 'e') + "QUEUE X", 40},
  };
  for (auto &c : cases) {
    TextMatch m(c.text);
    EXPECT_EQ(m.find(c.in.c_str()), c.at) << c.text << " in " << c.in;
  }
  // Where each block of the scan ends: every length and place.
  for (size_t len = 1; len < 40; len++)
    for (size_t at = 0; at + 3 <= len; at++) {
      std::string s(len, 'x');
      s.replace(at, 3, "QzW");
      EXPECT_EQ(TextMatch("qZw").find(s.data(), s.size()), at) << len << " " << at;
      EXPECT_EQ(TextMatch("qZw").find(s.data(), at + 2), TextMatch::npos);  // cut short
    }
  EXPECT_EQ(TextMatch(std::string(300, 'a').c_str()).text().size(), TextMatch::kMax);
}

TEST(TextMatch, LooksWhereTheListShowsALine) {
  TextMatch e("E [");
  EXPECT_FALSE(e.in_line("E [08/Dec/2026] x\n", 18));  // the level letter is not shown
  EXPECT_TRUE(e.in_line("E [x] E [y]\n", 12));
  EXPECT_TRUE(TextMatch("E").in_line("E E\n", 4, true));  // a piece is shown whole
  EXPECT_TRUE(TextMatch("").in_line("E", 1));
  EXPECT_FALSE(TextMatch("E").in_line("E", 1));
  // Narrowing: a longer text takes lines away only when it holds the other.
  EXPECT_TRUE(TextMatch("job").covers(TextMatch("[JOB 3")));
  EXPECT_TRUE(TextMatch("").covers(TextMatch("x")));
  EXPECT_FALSE(TextMatch("job 3").covers(TextMatch("job")));
  EXPECT_FALSE(TextMatch("ab").covers(TextMatch("ba")));
}

TEST(LineGate, APieceGoesWithItsLine) {
  TextMatch m("laser");
  LineGate gate(&m);
  struct {
    const char *text;
    bool continued, taken;
  } steps[] = {
      {"E [t] office-laser down\n", false, true},
      {"E [t] other queue ", false, false},
      {"laser in a piece\n", true, false},  // its line was left out
      {"E [t] LASER ", false, true},
      {"more of it\n", true, true},
  };
  for (auto &s : steps) EXPECT_EQ(gate.take(s.text, strlen(s.text), s.continued), s.taken) << s.text;
  LineGate none;
  EXPECT_TRUE(none.take("x", 1, false));
}

TEST(LineJob, ReadsTheJobAtTheMessagePart) {
  struct {
    std::string line;
    int job;
  } cases[] = {
      {log_line('E', "[Job 302] Unable to open device"), 302},
      {log_line('D', "[Job 7] x"), 7},
      {log_line('E', "[Job 0] x"), 0},
      {log_line('E', "[Job 12x] x"), 0},
      {log_line('E', "[Job 12]x"), 0},
      {log_line('E', "[Job ] x"), 0},
      {log_line('E', "[Client 5] x"), 0},
      {log_line('E', "Job stopped [Job 5] "), 0},
      {log_line('E', "[Job 1234567890] x"), 0},  // more digits than a job has
      {"E short", 0},
  };
  for (auto &c : cases) EXPECT_EQ(line_job(c.line.data(), c.line.size()), c.job) << c.line;
  std::string cut = log_line('E', "[Job 42] x");
  EXPECT_EQ(line_job(cut.data(), kMessageColumn + 8), 0);  // "]" and blank beyond the length
}

// What the whole log holds, as it grows and as it is replaced.
TEST(LogIndex, CountsEveryLevelAndFindsAJobsLines) {
  TempDir dir;
  std::string path = dir.file("error_log");
  std::string big = log_line('E', "[Job 9] " + std::string(25000, 'b'));
  write_file(path, log_line('I', "[Job 9] Queued on \"lab\" by \"root\".") +
                       log_line('E', "known") + log_line('E', "[Job 10] odd") +
                       log_line('W', "[Job 9] slow") + "D [08/Dec/2026:17:23:41 +0000] [Job 9] debug\n" + big +
                       "\n");
  LogIndex index([](const char *line, size_t) { return strstr(line, "known") == nullptr; });
  EXPECT_EQ(index.update(path).kind, LogStatus::Fresh);
  EXPECT_EQ(index.lines(0), 3u);
  EXPECT_EQ(index.lines(1), 5u);
  EXPECT_EQ(index.lines(2), 7u);  // the long line once, the blank line too
  EXPECT_EQ(index.lines(3), 0u);
  // The error lines are looked up when asked, as many as asked.
  EXPECT_EQ(index.unknown(), 0u);
  EXPECT_EQ(index.unjudged(), 3u);
  EXPECT_EQ(index.judge(1), 2u);
  EXPECT_EQ(index.judge(), 0u);
  EXPECT_EQ(index.unknown(), 2u);  // "[Job 10] odd" and the long line
  EXPECT_EQ(index.newest_field(), "08/Dec/2026:17:23:40 +0000");
  std::vector<std::string> job = index.job_lines(9);
  ASSERT_EQ(job.size(), 4u);
  EXPECT_EQ(job[0], log_line('I', "[Job 9] Queued on \"lab\" by \"root\"."));
  EXPECT_EQ(job[2], "D [08/Dec/2026:17:23:41 +0000] [Job 9] debug\n");
  EXPECT_EQ(job[3], big.substr(0, LogReader::kPiece));  // its first piece
  EXPECT_EQ(index.job_lines(9, 2), std::vector<std::string>(job.begin() + 2, job.end()));
  EXPECT_EQ(index.job_size(10), 1u);
  EXPECT_TRUE(index.job_lines(11).empty());

  // Unchanged: no read. Grown: only the new lines, an unfinished one taken
  // back when it comes again.
  EXPECT_EQ(index.update(path).kind, LogStatus::Unchanged);
  write_file(path, log_line('E', "[Job 9] more") + "E [08/Dec/2026:18:00:00 +0000] [Job 10] unfin", "ab");
  EXPECT_EQ(index.update(path).kind, LogStatus::Appended);
  EXPECT_EQ(index.lines(0), 5u);
  EXPECT_EQ(index.job_size(10), 2u);
  EXPECT_EQ(index.newest_field(), "08/Dec/2026:18:00:00 +0000");
  index.judge();  // the unfinished line too, which is taken back when it comes again
  EXPECT_EQ(index.unknown(), 4u);
  write_file(path, "ished\n", "ab");
  index.update(path);
  EXPECT_EQ(index.unknown(), 3u);
  EXPECT_EQ(index.judge(), 0u);
  EXPECT_EQ(index.lines(0), 5u);
  EXPECT_EQ(index.unknown(), 4u);
  EXPECT_EQ(index.job_lines(10).back(), "E [08/Dec/2026:18:00:00 +0000] [Job 10] unfinished\n");

  // Replaced: counted afresh. Gone: empty.
  std::string other = dir.file("other");
  write_file(other, log_line('X', "[Job 3] x"));
  ASSERT_EQ(rename(other.c_str(), path.c_str()), 0);
  index.update(path);
  EXPECT_EQ(index.lines(2), 1u);
  EXPECT_EQ(index.job_size(9), 0u);
  EXPECT_EQ(index.job_lines(3), std::vector<std::string>{log_line('X', "[Job 3] x")});
  unlink(path.c_str());
  EXPECT_EQ(index.update(path).kind, LogStatus::Failed);
  EXPECT_EQ(index.lines(2), 0u);
  EXPECT_EQ(index.newest(), 0);
}

// Rotated as the server rotates (renamed to NAME.O, a new file started),
// once or twice between two updates: every line counted once, a job's
// lines from every file in order, the old files' error lines judged; a
// file replaced (the old one deleted) is counted afresh.
TEST(LogIndex, KeepsTheLinesOfAFileRotatedAway) {
  TempDir dir;
  std::string path = dir.file("error_log"), older = path + ".O";
  auto add = [&](const std::string &text) { write_file(path, text, "ab"); };
  auto rotate = [&] { ASSERT_EQ(rename(path.c_str(), older.c_str()), 0); };
  auto job = [](const char *text) { return log_line('E', std::string("[Job 1] ") + text); };
  struct {
    const char *what;
    std::function<void()> change;
    size_t lines, unknown;
    std::vector<std::string> job1;
  } steps[] = {
      {"first read, the last line unfinished",
       [&] { add(job("a") + log_line('I', "[Job 2] b") + message_line('E', "[Job 1] c")); }, 3, 2,
       {job("a"), message_line('E', "[Job 1] c")}},
      {"finished, written, rotated, the new file written",
       [&] { add("\n" + job("c2")); rotate(); add(job("d")); }, 5, 4,
       {job("a"), job("c"), job("c2"), job("d")}},
      {"rotated twice between updates",
       [&] { add(job("e")); rotate(); add(log_line('W', "[Job 1] f")); rotate(); add(job("g")); }, 8, 6,
       {job("a"), job("c"), job("c2"), job("d"), job("e"), log_line('W', "[Job 1] f"), job("g")}},
      {"grown", [&] { add(job("h") + log_line('E', "known")); }, 10, 7,
       {job("a"), job("c"), job("c2"), job("d"), job("e"), log_line('W', "[Job 1] f"), job("g"), job("h")}},
      {"written and made unreadable", [&] { add(job("i")); chmod(path.c_str(), 0); }, 11, 8,
       {job("a"), job("c"), job("c2"), job("d"), job("e"), log_line('W', "[Job 1] f"), job("g"), job("h"),
        job("i")}},
      {"readable again, written", [&] { chmod(path.c_str(), 0644); add(job("j")); }, 12, 9,
       {job("a"), job("c"), job("c2"), job("d"), job("e"), log_line('W', "[Job 1] f"), job("g"), job("h"),
        job("i"), job("j")}},
      {"rotated", [&] { rotate(); add(job("k")); }, 13, 10,
       {job("a"), job("c"), job("c2"), job("d"), job("e"), log_line('W', "[Job 1] f"), job("g"), job("h"),
        job("i"), job("j"), job("k")}},
      {"replaced, the old one deleted",
       [&] { write_file(older, job("new")); rename(older.c_str(), path.c_str()); }, 1, 1, {job("new")}},
  };
  PermissionsCount permissions;
  LogIndex index([](const char *line, size_t) { return strstr(line, "known") == nullptr; });
  for (const auto &s : steps) {
    s.change();
    index.update(path);
    index.judge();
    EXPECT_EQ(index.lines(2), s.lines) << s.what;
    EXPECT_EQ(index.unknown(), s.unknown) << s.what;
    EXPECT_EQ(index.job_lines(1), s.job1) << s.what;
    EXPECT_EQ(index.job_lines(1, 2),
              std::vector<std::string>(s.job1.end() - std::min<size_t>(2, s.job1.size()), s.job1.end()))
        << s.what;
    EXPECT_EQ(index.job_size(2), s.lines > 1 ? 1u : 0u) << s.what;
  }
}

TEST(LogIndex, ReadsACompressedLogsJobLinesAgain) {
  TempDir dir;
  std::string plain = dir.file("plain"), packed = dir.file("error_log.gz");
  std::string lines;
  for (int i = 0; i < 50; i++) lines += log_line(i % 2 ? 'E' : 'I', "[Job " + std::to_string(i % 3 + 1) + "] n" + std::to_string(i));
  write_file(plain, lines);
  ASSERT_EQ(system(("gzip -c " + plain + " > " + packed).c_str()), 0);
  LogIndex a, b;
  a.update(plain);
  EXPECT_TRUE(b.update(packed).compressed);
  EXPECT_EQ(b.job_lines(2), a.job_lines(2));
  EXPECT_EQ(b.job_lines(2).size(), 17u);
}

}  // namespace
