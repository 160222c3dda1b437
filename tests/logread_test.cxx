// logread_test.cxx - the log reader without any toolkit: levels, pieces, the
// unfinished line, following a file through appends, rotations, truncations
// and rewrites, byte-order marks, compressed logs, and why a log cannot be read.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <thread>
#include <utility>

#include <gtest/gtest.h>
#include <zlib.h>

#include "logread/BackwardReader.h"
#include "logread/LogReader.h"
#include "base/open_regular.h"
#include "logread/RotatedSet.h"
#include "tests/support/test_child.h"
#include "tests/support/test_util.h"

namespace {

using Lines = std::vector<std::string>;

std::string gzip(const std::string &bytes, int level = 6) {
  std::string out(compressBound((uLong)bytes.size()) + 64, '\0');
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  z.next_in = (Bytef *)bytes.data();
  z.avail_in = (uInt)bytes.size();
  z.next_out = (Bytef *)&out[0];
  z.avail_out = (uInt)out.size();
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct Reader : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("error_log");
  LogReader reader{path};
  LineSink sink;

  LogStatus read(int level) {
    reader.level(level);
    return reader.read(sink);
  }
};

TEST(LevelFilter, TakesTheLettersOfEachLevel) {
  struct {
    int level;
    const char *takes;
  } cases[] = {{0, "XACE"}, {1, "XACEWNI"}, {2, nullptr}, {3, ""}, {-1, ""}};
  for (const auto &c : cases)
    for (int ch = 0; ch < 256; ch++) {
      bool want = c.takes ? ch && strchr(c.takes, ch) : true;
      EXPECT_EQ(LogReader::accepts(c.level, (unsigned char)ch), want) << c.level << " " << ch;
    }
}

TEST_F(Reader, LinesPiecesAndTheUnfinishedLine) {
  std::string whole = "E" + std::string(10237, 'a') + "\n";   // 10239 bytes: one piece
  std::string split = "E" + std::string(10238, 'b') + "\n";   // two, the second "\n"
  struct {
    std::string bytes;
    int level;
    Lines want;
    bool open;  // the last line given may go on: no newline yet
  } cases[] = {
      {"", 2, {}, false},
      {"E one\nW two\nD three\n\nI four", 0, {"E one\n"}, false},
      {"E one\nW two\nD three\n\nI four", 1, {"E one\n", "W two\n", "I four"}, true},
      {"E one\nW two\nD three\n\nI four", 2, {"E one\n", "W two\n", "D three\n", "\n", "I four"}, true},
      // Stored up to the NUL, the lines still end at their newlines.
      {std::string("E nul\0after\n\0E\n", 15), 2, {"E nul", ""}, false},
      {whole + split, 2, {whole, split.substr(0, 10239), "\n"}, false},
      {whole + split.substr(0, 10239), 2, {whole, split.substr(0, 10239)}, true},
      {"E dos line\r\n", 0, {"E dos line\r\n"}, false},  // stored as read
  };
  for (const auto &c : cases) {
    write_file(path, c.bytes);
    reader.forget();
    LogStatus st = read(c.level);
    EXPECT_EQ(st.kind, LogStatus::Fresh);
    EXPECT_EQ(sink.lines, c.want) << c.bytes.substr(0, 40);
    EXPECT_EQ(st.added, c.want.size());
    EXPECT_EQ(reader.line_open(), c.open) << c.bytes.substr(0, 40);
  }
}

// A long line's pieces after its first continue it: flagged, and taken or
// left with the line by its first letter, whatever their own first byte.
TEST_F(Reader, APieceThatContinuesALineGoesWithIt) {
  const size_t P = LogReader::kPiece;
  std::string big = "E [09/Dec/2026:10:00:00 +0000] [Job 7] " + std::string(2 << 20, 'x') + "\n";
  // A job's recorded document line with a forged E line at its 10,240th byte.
  std::string forged = "E [09/Dec/2026:10:00:00 +0000] Unable to open device";
  std::string doc = "D [09/Dec/2026:10:00:00 +0000] [Job 5] %!PS ";
  doc += std::string(P - doc.size(), 'd') + forged;
  doc += std::string(20000 - doc.size(), 'd') + "\n";
  std::string split = "E" + std::string(P - 1, 'b') + "\n";  // the newline a piece of its own
  std::string w_long = "W " + std::string(P - 2, 'w') + "E not a line\n";
  size_t big_pieces = (big.size() + P - 1) / P;
  struct {
    const char *what;
    std::string bytes;
    int level;
    size_t pieces;      // given
    std::string flags;  // of the first pieces given, '+' continuing
    size_t lines;       // whole lines
  } cases[] = {
      {"2 MB E line, errors", big, 0, big_pieces, ".+++", 1},
      {"2 MB E line, all", big, 2, big_pieces, ".+++", 1},
      {"document line, errors", doc, 0, 0, "", 0},
      {"document line, informational", doc, 1, 0, "", 0},
      {"document line, all", doc, 2, 2, ".+", 1},
      {"newline alone, errors", split + "E next\n", 0, 3, ".+.", 2},
      {"W line, errors", w_long + "E next\n", 0, 1, ".", 1},
      {"W line, informational", w_long, 1, 2, ".+", 1},
  };
  for (const auto &c : cases) {
    write_file(path, c.bytes);
    reader.forget();
    read(c.level);
    EXPECT_EQ(sink.lines.size(), c.pieces) << c.what;
    EXPECT_EQ(sink.continued.substr(0, c.flags.size()), c.flags) << c.what;
    EXPECT_EQ(sink.continued.find('.', c.flags.size()), std::string::npos) << c.what;
    std::vector<std::string> whole = sink.whole();
    EXPECT_EQ(whole.size(), c.lines) << c.what;
    for (const std::string &piece : sink.lines) EXPECT_LE(piece.size(), P) << c.what;
  }
  // Every line given is a line of the file, whole, pieces joined.
  write_file(path, doc + big);
  read(2);
  EXPECT_TRUE(sink.whole() == (Lines{doc, big}));
  EXPECT_EQ(sink.lines[1].compare(0, forged.size(), forged), 0);  // the forged text, in its piece
}

// Each piece says where in the file it starts.
TEST_F(Reader, EachPieceKnowsItsPlaceInTheFile) {
  struct Places : LineSink {
    LogReader *reader = nullptr;
    std::vector<off_t> at;
    void line(const char *text, size_t len, bool continued) override {
      LineSink::line(text, len, continued);
      at.push_back(reader->offset());
    }
  } places;
  places.reader = &reader;
  const off_t P = (off_t)LogReader::kPiece;
  std::string bytes = "\xEF\xBB\xBF" "E one\n" "W two\n" "E" + std::string(25000, 'l') + "\n" + "E end";
  write_file(path, bytes);
  reader.level(2);
  reader.read(places);
  std::vector<off_t> want = {3, 9, 15, 15 + P, 15 + 2 * P, 15 + 25002};
  EXPECT_EQ(places.at, want);
  // A follow-up read from the middle of a long line and of an unfinished one.
  write_file(path, "E one\nE" + std::string(12000, 'x'));
  places.at.clear();
  reader.read(places);
  write_file(path, std::string(10000, 'y') + "\nE z\n", "ab");
  places.at.clear();
  reader.read(places);
  EXPECT_EQ(places.at, (std::vector<off_t>{6 + P, 6 + 2 * P, 6 + 22002}));
}

// A long line written in parts, at every kind of cut (inside a piece, at a
// piece's end, at its newline), read at each step as a follower reads it,
// gives what a fresh read gives: the same pieces with the same flags.
TEST_F(Reader, ALongLineGrowingAcrossReadsReadsAsAFreshRead) {
  const size_t P = LogReader::kPiece;
  std::string log = log_line('E', "before") + "D [x] " + std::string(2 * P, 'd');
  log[P + 10] = 'E';  // pieces of the D line that start with E
  log += "E" + std::string(3 * P + 5, 'e') + "\n" + log_line('W', "after") + "E" +
         std::string(P + 3, 'u');
  size_t d_start = log_line('E', "before").size(), e_start = log.find("Eeee");
  std::vector<size_t> cuts = {1, d_start + 3, d_start + P, d_start + P + 10, d_start + P + 11,
                              e_start, e_start + P - 1, e_start + P, e_start + P + 1,
                              e_start + 2 * P, e_start + 3 * P + 6, log.size() - P, log.size()};
  for (int level : {0, 1, 2}) {
    write_file(path, "");
    reader.forget();
    read(level);
    size_t written = 0;
    for (size_t cut : cuts) {
      write_file(path, log.substr(written, cut - written), "ab");
      written = cut;
      read(level);
      LineSink fresh = read_pieces(path, level);
      EXPECT_EQ(sink.lines, fresh.lines) << "level " << level << " cut " << cut;
      EXPECT_EQ(sink.continued, fresh.continued) << "level " << level << " cut " << cut;
    }
  }
}

// The reader decides whether the log changed, as a read would see it; the
// window's poll asks it.
TEST_F(Reader, ChangedSaysWhetherAReadWouldFindAnything) {
  auto same_stat_rewrite = [&](std::string bytes) {
    return [=] {
      struct stat st;
      stat(path.c_str(), &st);
      write_file(path, bytes, "r+b");
      struct timespec t[2] = {st.st_atim, st.st_mtim};
      utimensat(AT_FDCWD, path.c_str(), t, 0);
    };
  };
  std::string packed = dir.file("packed.gz");
  struct {
    const char *what;
    std::function<void()> change;
    bool changed;
  } steps[] = {
      {"nothing", [] {}, false},
      {"a line appended", [&] { write_file(path, "E two\n", "ab"); }, true},
      {"half a line", [&] { write_file(path, "E thr", "ab"); }, true},
      {"nothing, with the half line", [] {}, false},
      {"first line rewritten, same size and time", same_stat_rewrite("E ONE\n"), true},
      {"touched", [&] { struct timespec t[2] = {{0, UTIME_OMIT}, {1000, 0}};
                        utimensat(AT_FDCWD, path.c_str(), t, 0); }, true},
      {"another level", [&] { reader.level(2); }, true},
      {"removed", [&] { unlink(path.c_str()); }, true},
      {"still missing", [] {}, false},
      {"a directory", [&] { mkdir(path.c_str(), 0755); }, true},
      {"still a directory", [] {}, false},
      {"a file again", [&] { rmdir(path.c_str()); write_file(path, "E back\n"); }, true},
      {"compressed", [&] { write_file(path, gzip(std::string(5000, 'E') + "\n", 0)); }, true},
      {"compressed, nothing", [] {}, false},
      {"compressed, rewritten, same size and time",
       same_stat_rewrite(gzip(std::string(5000, 'X') + "\n", 0)), true},
  };
  write_file(path, "E one\n");
  read(0);
  for (const auto &s : steps) {
    s.change();
    time_t mtime = 0;
    EXPECT_EQ(reader.changed(&mtime), s.changed) << s.what;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
      EXPECT_EQ(mtime, st.st_mtime) << s.what;
    }
    LogStatus::Kind got = reader.read(sink).kind;
    if (!s.changed) {
      EXPECT_TRUE(got == LogStatus::Unchanged || got == LogStatus::Failed) << s.what;
    }
    EXPECT_FALSE(reader.changed()) << s.what << ", once read";
  }
}

// Random bytes at level 2 come back whole, cut only after a newline or at
// the piece size; levels 0 and 1 give the pieces whose first byte they take.
TEST_F(Reader, RandomBytesAreCutIntoPiecesAndLoseNothing) {
  std::mt19937 rng(5);
  for (int round = 0; round < 4; round++) {
    std::string bytes(200000 + rng() % 50000, '\0');
    for (char &c : bytes) c = (char)(rng() % 7 ? 'A' + rng() % 40 : (rng() % 2 ? '\n' : '\0'));
    for (size_t i = 50000; i < 90000; i++)
      if (bytes[i] == '\n') bytes[i] = 'x';  // a line longer than a piece
    write_file(path, bytes);
    // Join the pieces as they were in the file: a NUL ends a stored line, so
    // compare against the file with each line cut at its first NUL.
    std::string cut;
    for (size_t at = 0; at < bytes.size();) {
      size_t len = 0;
      while (at + len < bytes.size() && len < LogReader::kPiece)
        if (bytes[at + len++] == '\n') break;
      std::string piece = bytes.substr(at, len);
      cut += piece.substr(0, strnlen(piece.data(), piece.size()));
      at += len;
    }
    reader.forget();
    read(2);
    std::string joined;
    for (const std::string &l : sink.lines) {
      ASSERT_LE(l.size(), LogReader::kPiece);
      joined += l;
    }
    EXPECT_TRUE(joined == cut) << "round " << round;
    Lines all = sink.lines;
    for (int level : {0, 1}) {
      Lines want;
      for (const std::string &l : all)
        if (!l.empty() && LogReader::accepts(level, (unsigned char)l[0])) want.push_back(l);
      read(level);
      EXPECT_EQ(sink.lines, want) << "round " << round << " level " << level;
    }
  }
}

// Each step changes the file; the reader must say how it read it and hold
// what a fresh read holds.
TEST_F(Reader, FollowsAppendsAndStartsOverOnAnythingElse) {
  auto append = [&](std::string s) { return [=] { write_file(path, s, "ab"); }; };
  auto rewrite = [&](std::string s) {  // same file, new bytes, a new time
    return [=] {
      write_file(path, s, "r+b");
      struct timespec t[2] = {{0, UTIME_OMIT}, {1000000000, 123}};
      utimensat(AT_FDCWD, path.c_str(), t, 0);
    };
  };
  auto replace = [&](std::string s) {  // rotation: a new file under the name
    return [=] {
      write_file(path + ".new", s);
      rename((path + ".new").c_str(), path.c_str());
    };
  };
  auto truncate_to = [&](off_t n) { return [=] { ASSERT_EQ(truncate(path.c_str(), n), 0); }; };
  std::string filler;
  for (int i = 0; i < 10; i++) filler += log_line('I', "filler " + std::to_string(i));
  const LogStatus::Kind F = LogStatus::Fresh, A = LogStatus::Appended, U = LogStatus::Unchanged;
  struct {
    const char *what;
    std::function<void()> change;
    LogStatus::Kind kind;
    int drops;  // unfinished lines withdrawn by this read
  } steps[] = {
      {"nothing", [] {}, U, 0},
      {"two lines", append("W two\nE three\n"), A, 0},
      {"half a line", append("E half a li"), A, 0},
      {"its end", append("ne\n"), A, 1},
      {"nothing again", [] {}, U, 0},
      {"unfinished W", append("W warn"), A, 0},
      {"a long line in parts", append("\nE" + std::string(12000, 'x')), A, 1},
      // Its rest, after the first piece, continues the E line: withdrawn too.
      {"its end", append(std::string(9000, 'y') + "\n"), A, 1},
      {"the first line changed, same size", rewrite("E ONE\n"), F, 0},
      {"truncated", truncate_to(6), F, 0},
      {"emptied", truncate_to(0), F, 0},
      {"a line again", append("E again\n"), A, 0},
      {"rotated", replace(filler + "E rotated\n" + filler), F, 0},
      // The limit: bytes changed between the first and the last ones read,
      // with the file grown, read as an append.
      {"rewritten in the middle and grown", rewrite(filler + "E ROTATED\n" + filler + "E more\n"), A, 0},
  };
  write_file(path, "E one\n");
  ASSERT_EQ(read(1).kind, F);
  for (const auto &s : steps) {
    s.change();
    int drops = sink.drops;
    LogStatus st = read(1);
    EXPECT_EQ(st.kind, s.kind) << s.what;
    EXPECT_EQ(sink.drops - drops, s.drops) << s.what;
    if (s.kind != A) {
      EXPECT_EQ(st.added, s.kind == U ? 0u : sink.lines.size()) << s.what;
    }
    if (s.kind == A && strcmp(s.what, "rewritten in the middle and grown") == 0) {
      write_file(path, filler + "E rotated\n" + filler + "E more\n");
      EXPECT_EQ(sink.lines, read_log(path, 1));
      continue;
    }
    EXPECT_EQ(sink.lines, read_log(path, 1)) << s.what;
  }
  // A new level or path reads from the start.
  EXPECT_EQ(read(0).kind, F);
  reader.path(path + ".other");
  EXPECT_EQ(reader.read(sink).kind, LogStatus::Failed);
}

// A sink that keeps the lines of a file that left the path, as a terminal
// following the log does.
struct Keeping : LineSink {
  std::vector<bool> elsewhere;
  bool keep(bool e) override {
    elsewhere.push_back(e);
    return true;
  }
};

// Each step writes as a server, a rotation or an administrator would; the
// read after it must say so and leave the sink with `want` (the lines ever
// written, less what a truncation or a new file read afresh put aside).
TEST_F(Reader, FollowsThroughRotationsDeletionsAndFailures) {
  PermissionsCount permissions;
  std::string older = path + ".O";
  auto add = [&](const char *to, std::string s) { write_file(to, s, "ab"); };
  int writer = -1;
  auto rotate = [&] {
    ASSERT_EQ(rename(path.c_str(), older.c_str()), 0);
    write_file(path, "");
  };
  using K = LogStatus::Kind;
  using C = LogStatus::Change;
  const K F = LogStatus::Fresh, A = LogStatus::Appended, X = LogStatus::Failed;
  struct {
    const char *what;
    std::function<void()> change;
    K kind;
    C why;
    Lines lines;  // the lines this read adds, by their message
  } steps[] = {
      {"appended, the last line half written", [&] { add(path.c_str(), "E two\nE thr"); }, A,
       C::First, {"two", "thr"}},
      {"its end, rotated, the new file written",
       [&] { add(path.c_str(), "ee\n"); rotate(); add(path.c_str(), "E four\n"); }, A, C::Rotated,
       {"three", "four"}},
      {"rotated twice between reads",
       [&] {
         add(path.c_str(), "E five\n");
         rotate();
         add(path.c_str(), "E six\n");
         rotate();
         add(path.c_str(), "E seven\n");
       },
       A, C::Rotated, {"five", "six", "seven"}},
      {"renamed away, still written, nothing in its place",
       [&] {
         ASSERT_EQ(rename(path.c_str(), older.c_str()), 0);
         add(older.c_str(), "E eight\n");
       },
       A, C::First, {"eight"}},
      {"a new file in its place", [&] { add(older.c_str(), "E nine\n"); add(path.c_str(), "E ten\n"); },
       A, C::Rotated, {"nine", "ten"}},
      {"cut short in place and written, shorter than it was",
       [&] { ASSERT_EQ(truncate(path.c_str(), 0), 0); add(path.c_str(), "E 11\n"); }, F,
       C::CutShort, {"11"}},
      {"written and deleted", [&] { add(path.c_str(), "E twelve\n"); unlink(path.c_str()); }, X,
       C::First, {"twelve"}},
      {"back", [&] { add(path.c_str(), "E thirteen\n"); }, F, C::First, {"thirteen"}},
      {"written and made unreadable",
       [&] {
         add(path.c_str(), "E fourteen\n");
         writer = open(path.c_str(), O_WRONLY | O_APPEND);  // the server's, opened before
         chmod(path.c_str(), 0);
       },
       X, C::First, {"fourteen"}},
      {"written while unreadable", [&] { ASSERT_EQ(write(writer, "E fifteen\n", 10), 10); }, X,
       C::First, {}},
      {"readable again", [&] { chmod(path.c_str(), 0644); close(writer); }, A, C::First, {"fifteen"}},
      {"rewritten in place",
       [&] {
         write_file(path, "E THIRTEEN\n", "r+b");
         struct timespec t[2] = {{0, UTIME_OMIT}, {1000000000, 1}};
         utimensat(AT_FDCWD, path.c_str(), t, 0);
       },
       F, C::Rewritten, {"THIRTEEN", "fourteen", "fifteen"}},
  };
  Keeping keeping;
  write_file(path, "E one\n");
  reader.level(0);
  ASSERT_EQ(reader.read(keeping).kind, F);
  Lines want{"E one\n"};
  for (const auto &s : steps) {
    s.change();
    LogStatus st = reader.read(keeping);
    EXPECT_EQ(st.kind, s.kind) << s.what;
    EXPECT_EQ(st.change, s.why) << s.what;
    // A read from the start holds only the file; otherwise the new lines
    // follow the old, an unfinished one given again longer.
    if (st.kind == F) want.clear();
    if (!want.empty() && want.back().back() != '\n') want.pop_back();
    for (const std::string &l : s.lines) want.push_back("E " + l + (l == "thr" ? "" : "\n"));
    EXPECT_EQ(keeping.whole(), want) << s.what;
  }
  // Whether what left is still history under another name: the rotated
  // files (the one rotated over, through the file that took its place at
  // NAME.O) and the unreadable one are; the deleted one is not.
  EXPECT_EQ(keeping.elsewhere, (std::vector<bool>{true, true, true, false, true}));
}

// A writer appends as fast as it can, some lines in two writes, and rotates
// as the server does (the log renamed to NAME.O, a new one started, no
// pause), while the reader follows at whatever moments it gets: every line
// once, in order. The server keeps one rotated file, so the writer holds a
// rotation back (a bounded wait) only while the reader has not yet opened
// the file that rotation would delete.
TEST_F(Reader, FollowingLosesNothingWhileAWriterRotatesAsFastAsItCan) {
  struct Counting : Keeping {
    std::atomic<int> newest{-1};  // the newest file a line came from
    void line(const char *text, size_t len, bool cont) override {
      Keeping::line(text, len, cont);
      int g = len > 2 ? atoi(text + 2) : -1;
      if (g > newest) newest = g;
    }
  };
  std::mt19937 rng(23);
  const int kRuns = 3, kLines = 30000, kRotations = 6;
  int lost = 0, doubled = 0, reordered = 0, rotations = 0, held_back = 0;
  for (int run = 0; run < kRuns; run++) {
    unlink(path.c_str());
    write_file(path, "");
    std::vector<int> at(kRotations);
    for (int &n : at) n = (int)(rng() % kLines);
    std::sort(at.begin(), at.end());
    Counting sink;
    LogReader follower(path, 2);
    follower.read(sink);
    std::atomic<bool> done{false};
    std::thread writer([&] {
      std::mt19937 split(run);
      int fd = open(path.c_str(), O_WRONLY | O_APPEND);
      size_t next = 0;
      for (int n = 0, gen = 0; n < kLines; n++) {
        while (next < at.size() && at[next] == n) {
          auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
          held_back += sink.newest < gen - 1;
          while (sink.newest < gen - 1 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
          rename(path.c_str(), (path + ".O").c_str());
          close(fd);
          fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
          gen++, next++;
        }
        std::string l = "I " + std::to_string(gen) + " " + std::to_string(n) + " written\n";
        size_t cut = split() % 8 ? l.size() : split() % l.size();
        if (write(fd, l.data(), cut) < 0 || write(fd, l.data() + cut, l.size() - cut) < 0) break;
      }
      close(fd);
      done = true;
    });
    while (!done) follower.read(sink);
    writer.join();
    follower.read(sink);
    rotations += kRotations;
    std::vector<int> seen(kLines, 0);
    int last = -1;
    for (const std::string &l : sink.whole()) {
      int n = -1;
      if (sscanf(l.c_str(), "I %*d %d written\n", &n) != 1 || n < 0 || n >= kLines || l.back() != '\n') {
        ADD_FAILURE() << "not a line written: " << l;
        continue;
      }
      doubled += seen[n]++ > 0;
      reordered += n < last;
      last = n;
    }
    lost += (int)std::count(seen.begin(), seen.end(), 0);
  }
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(doubled, 0);
  EXPECT_EQ(reordered, 0);
  printf("follow attack: %d runs, %d lines, %d rotations (%d held back): %d lost, %d doubled, "
         "%d reordered\n", kRuns, kRuns * kLines, rotations, held_back, lost, doubled, reordered);
}

// A copy-truncate that lands after the bytes were read (here, while the last
// line is handed over) must not make the next read take the new file for an
// append to the old one.
TEST_F(Reader, ACopyTruncateDuringAReadIsNotTakenForAnAppend) {
  struct Truncating : LineSink {
    std::function<void()> once;
    void line(const char *text, size_t len, bool continued) override {
      LineSink::line(text, len, continued);
      if (once && !strncmp(text, "E tail", 6)) std::exchange(once, nullptr)();
    }
  } truncating;
  std::string old_log;
  for (int i = 0; i < 50; i++) old_log += log_line('E', "old " + std::to_string(i));
  write_file(path, old_log + "E unfinished");
  std::string new_log;
  for (int i = 0; i < 100; i++) new_log += log_line('E', "new " + std::to_string(i));
  reader.level(0);
  reader.read(sink);
  // The next read ends on an unfinished line, after its last read of the file.
  write_file(path, old_log + "E unfinished, now whole\nE tail");
  truncating.once = [&] { write_file(path, new_log); };
  truncating.LineSink::operator=(sink);
  reader.read(truncating);
  write_file(path, log_line('E', "newest"), "ab");
  EXPECT_EQ(reader.read(truncating).kind, LogStatus::Fresh);
  EXPECT_EQ(truncating.lines, read_log(path, 0));
}

TEST_F(Reader, AByteOrderMarkAtTheStartIsSkipped) {
  const std::string bom = "\xEF\xBB\xBF";
  struct {
    std::string bytes;
    Lines want;
  } cases[] = {
      {bom + "E first\nE second\n", {"E first\n", "E second\n"}},
      {bom, {}},
      {"E first\n" + bom + "E second\n", {"E first\n"}},  // only at the very start
  };
  for (const auto &c : cases) {
    write_file(path, c.bytes);
    read(0);
    EXPECT_EQ(sink.lines, c.want);
  }
  // Written a byte at a time, it is still skipped once the line grows.
  write_file(path, "\xEF");
  read(2);
  for (const char *more : {"\xBB", "\xBF", "E fir", "st\n"}) {
    write_file(path, more, "ab");
    read(2);
    EXPECT_EQ(sink.lines, read_log(path, 2)) << more;
  }
  EXPECT_EQ(sink.lines, Lines{"E first\n"});
}

TEST_F(Reader, ACompressedLogReadsLikeItsPlainTwin) {
  std::string plain = "\xEF\xBB\xBF";
  for (int i = 0; i < 3000; i++)
    plain += log_line("EWDIXN"[i % 6], "message " + std::to_string(i));
  plain += "E unfinished";
  std::string twin = dir.file("twin");
  write_file(twin, plain);
  // Two members, as a log compressed in two goes.
  write_file(path, gzip(plain.substr(0, 70000)) + gzip(plain.substr(70000)));
  for (int level : {0, 1, 2}) {
    LogStatus st = read(level);
    EXPECT_EQ(st.kind, LogStatus::Fresh);
    EXPECT_TRUE(st.compressed);
    EXPECT_FALSE(st.damaged);
    EXPECT_EQ(sink.lines, read_log(twin, level)) << "level " << level;
    EXPECT_EQ(st.added, sink.lines.size());
    // Not followed: read again unchanged, nothing comes twice.
    Lines before = sink.lines;
    st = read(level);
    EXPECT_EQ(st.kind, LogStatus::Unchanged);
    EXPECT_TRUE(st.compressed);
    EXPECT_EQ(sink.lines, before);
  }
  // Rewritten with other bytes of the same size, within the same clock tick
  // (stored uncompressed, the sizes are sure to agree).
  write_file(path, gzip(plain, 0));
  ASSERT_EQ(read(2).kind, LogStatus::Fresh);
  struct stat st;
  stat(path.c_str(), &st);
  std::string other = plain;
  other[plain.size() / 2] ^= 1;
  write_file(twin, other);
  write_file(path, gzip(other, 0));
  ASSERT_EQ(gzip(other, 0).size(), (size_t)st.st_size);
  struct timespec t[2] = {st.st_atim, st.st_mtim};
  utimensat(AT_FDCWD, path.c_str(), t, 0);
  ASSERT_EQ(read(2).kind, LogStatus::Fresh);
  EXPECT_EQ(sink.lines, read_log(twin, 2));
  write_file(twin, plain);
  // Standard input, compressed or not.
  for (const std::string &bytes : {gzip(plain), plain}) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
      for (size_t at = 0; at < bytes.size();) at += (size_t)write(fds[1], bytes.data() + at, std::min<size_t>(bytes.size() - at, 4096));
      close(fds[1]);
    });
    LineSink in;
    LogStatus st = LogReader("", 2).read_stream(fds[0], in);
    writer.join();
    close(fds[0]);
    EXPECT_EQ(st.kind, LogStatus::Fresh);
    EXPECT_EQ(st.compressed, bytes != plain);
    EXPECT_EQ(in.lines, read_log(twin, 2));
  }
}

// Damage anywhere: every whole line inflated before it comes, the line it
// cuts does not, and the status tells what and where. `share`: the part of
// the lines expected (about, for cuts; all of them when the data is whole).
TEST_F(Reader, ADamagedCompressedLogGivesWhatCouldBeRead) {
  std::string plain;
  for (int i = 0; i < 20000; i++) plain += log_line('E', "line " + std::to_string(i));
  std::string packed = gzip(plain);
  Lines all = [&] {
    write_file(path, plain);
    return read_log(path, 0);
  }();
  std::string corrupt = packed;
  for (size_t i = packed.size() / 2; i < packed.size() / 2 + 64; i++) corrupt[i] ^= 0x55;
  std::string bad_crc = packed;
  bad_crc[packed.size() - 8] ^= 1;
  struct {
    const char *what;
    std::string bytes;
    double share;
    const char *reason;
    off_t at;  // where the damage is told, -1: anywhere after the start
  } cases[] = {
      {"cut at a quarter", packed.substr(0, packed.size() / 4), 0.25, "cut short",
       (off_t)(packed.size() / 4)},
      {"cut in half", packed.substr(0, packed.size() / 2), 0.5, "cut short",
       (off_t)(packed.size() / 2)},
      {"no trailer", packed.substr(0, packed.size() - 4), 1, "cut short",
       (off_t)packed.size() - 4},
      {"only the checksum wrong", bad_crc, 1, "incorrect data check", (off_t)packed.size() - 4},
      {"a bad second member", packed + gzip(plain).substr(0, 30) + "garbage", 1, "damaged", -1},
      {"plain text after the last member", packed + "E appended\n", 1,
       "bytes after the end of the compressed data", (off_t)packed.size()},
      {"corrupt in the middle", corrupt, 0, "damaged", -1},
      {"only the magic", packed.substr(0, 2), 0, "cut short", 2},
  };
  for (const auto &c : cases) {
    write_file(path, c.bytes);
    LogStatus st = read(0);
    EXPECT_TRUE(st.compressed) << c.what;
    EXPECT_TRUE(st.damaged) << c.what;
    EXPECT_NE(st.reason.find(c.reason), std::string::npos) << c.what << ": " << st.reason;
    if (c.at >= 0) {
      EXPECT_EQ(st.damage_at, c.at) << c.what;
    } else {
      EXPECT_GT(st.damage_at, 0) << c.what;
    }
    // What came is the start of the log, in whole lines only.
    ASSERT_LE(sink.lines.size(), all.size()) << c.what;
    for (size_t i = 0; i < sink.lines.size(); i++)
      ASSERT_EQ(sink.lines[i], all[i]) << c.what << " line " << i;
    if (c.share == 1) {
      EXPECT_EQ(sink.lines.size(), all.size()) << c.what;
    } else {
      EXPECT_NEAR((double)sink.lines.size(), c.share * all.size(), 0.1 * all.size()) << c.what;
    }
    // The same from a stream.
    int fd = open(path.c_str(), O_RDONLY);
    LineSink streamed;
    LogStatus from_stream = LogReader("", 0).read_stream(fd, streamed);
    close(fd);
    EXPECT_EQ(from_stream.damaged, true) << c.what;
    EXPECT_EQ(streamed.lines, sink.lines) << c.what;
  }
}

TEST_F(Reader, SaysWhyALogCannotBeRead) {
  std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct {
    std::string path;
    int error;
    const char *reason;
  } cases[] = {
      {dir.file("missing"), ENOENT, "No such file or directory"},
      {"", ENOENT, "No such file or directory"},
      {dir.path, EISDIR, "is a directory"},
      {fifo, EINVAL, "is not a regular file"},
      {"/dev/null", EINVAL, "is not a regular file"},
      {path + "/below_a_file", ENOTDIR, "Not a directory"},
  };
  write_file(path, "E one\n");
  for (const auto &c : cases) {
    reader.path(path);
    read(2);
    ASSERT_EQ(sink.lines.size(), 1u);
    reader.path(c.path);
    auto start = std::chrono::steady_clock::now();
    LogStatus st = reader.read(sink);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.path;
    EXPECT_EQ(st.kind, LogStatus::Failed) << c.path;
    EXPECT_EQ(st.error, c.error) << c.path;
    EXPECT_EQ(st.reason, c.reason) << c.path;
    EXPECT_TRUE(sink.lines.empty()) << c.path;  // the sink holds what the file gave: nothing
  }
  // The same opener refuses the same files for the other readers.
  EXPECT_EQ(fopen_regular(fifo.c_str()), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(open_regular(dir.path.c_str()), -1);
  EXPECT_EQ(errno, EISDIR);
}

TEST(ReaderAsUser, SaysPermissionDenied) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
  TempDir dir;
  chmod(dir.path.c_str(), 0755);
  std::string locked = dir.file("locked_log");
  write_file(locked, "E secret\n");
  chmod(locked.c_str(), 0600);
  std::string got = as_nobody([&] {
    LineSink sink;
    LogStatus st = LogReader(locked).read(sink);
    return std::to_string(st.kind) + " " + std::to_string(st.error) + " " + st.reason + " " +
           std::to_string(sink.lines.size());
  });
  EXPECT_EQ(got, std::to_string(LogStatus::Failed) + " " + std::to_string(EACCES) +
                     " Permission denied 0");
}

// The backward reader gives the forward reader's lines, pieces and all, in
// the other order; a stop after a line ends it there.
TEST(BackwardReader, GivesTheForwardPiecesNewestFirst) {
  const size_t k = LogReader::kPiece;
  const std::string e = "E [08/Dec/2026:07:00:00 +0000] ";
  const std::string cases[] = {
      "",
      "\xEF\xBB\xBF",
      "\xEF\xBB",
      "\xEF\xBB\xBF" + e + "first\n\n\nI two\n",
      "E " + std::string(k - 3, 'x') + "\n" + "E " + std::string(k - 2, 'y') + "\n",
      "E " + std::string(2 * k - 3, 'z') + "\nW " + std::string(3 * k + 5, 'w') + "\n",
      e + std::string(200000, 'q') + "\n" + e + "crlf\r\n",  // lines across blocks
      std::string(1, '\0') + "E nul first\nE a" + std::string(1, '\0') + "b\nW " + std::string(k - 2, 'v') + std::string(1, '\0') + "tail\n",
      e + "one\n" + e + "no newline at the end",
  };
  TempDir dir;
  std::string path = dir.file("error_log");
  for (const std::string &bytes : cases) {
    write_file(path, bytes);
    LineSink forward, backward;
    LogReader reader(path, 2);
    reader.read(forward);
    BackwardReader back(path);
    ASSERT_TRUE(back.open());
    back.read(backward);
    EXPECT_EQ(back.error(), 0);
    // Line by line from the end: the forward pieces of each line, in order.
    std::vector<std::pair<std::vector<std::string>, std::string>> want, got;
    auto group = [](const LineSink &s, std::vector<std::pair<std::vector<std::string>, std::string>> &out) {
      for (size_t i = 0; i < s.lines.size(); i++) {
        if (s.continued[i] == '.' || out.empty()) out.emplace_back();
        out.back().first.push_back(s.lines[i]);
        out.back().second += s.continued[i];
      }
    };
    group(forward, want);
    group(backward, got);
    std::reverse(want.begin(), want.end());
    EXPECT_EQ(got, want) << "file of " << bytes.size() << " bytes";
  }
  write_file(path, "E 1\nE 2\nE 3\n");
  BackwardReader back(path);
  ASSERT_TRUE(back.open());
  LineSink two;
  int left = 2;
  back.read(two, [&] { return --left > 0; });
  EXPECT_EQ(two.lines, Lines({"E 3\n", "E 2\n"}));
  write_file(path, gzip("E 1\n"));
  EXPECT_FALSE(BackwardReader(path).open());
  EXPECT_FALSE(BackwardReader(dir.path).open());
}

}  // namespace

namespace {

// A log and its rotated parts, plain and compressed, read as one history:
// the parts' lines in time order, then the log's; what cannot be read is
// skipped and named; later reads follow the log alone.
TEST(RotatedSet, ReadsThePartsAsOneHistoryOldestFirst) {
  TempDir dir;
  std::string log = dir.file("error_log");
  auto line = [](int minute, const char *text) {
    char buf[96];
    snprintf(buf, sizeof buf, "E [09/Dec/2026:10:%02d:00 +0000] %s\n", minute, text);
    return std::string(buf);
  };
  struct Part {
    const char *suffix;
    bool packed;
    std::string text;
  } parts[] = {
      {".10.gz", true, line(0, "ten")},          {".2.gz", true, line(1, "two") + line(2, "two b")},
      {".1", false, line(3, "one")},             {".O", false, line(4, "old")},
      {"", false, line(5, "live") + line(6, "live b")},
  };
  std::string all;
  for (const Part &p : parts) {
    write_file(log + p.suffix, p.packed ? gzip(p.text) : p.text);
    all += p.text;
  }
  mkdir((log + ".3").c_str(), 0700);            // cannot be read: skipped
  write_file(log + ".bak", line(9, "not a part"));  // not of the set
  write_file(log + ".1x", line(9, "not a part"));

  EXPECT_EQ(RotatedSet::parts_of(log),
            (std::vector<std::string>{log + ".10.gz", log + ".3", log + ".2.gz", log + ".1", log + ".O"}));
  RotatedSet set(log, 2);
  LineSink got;
  LogStatus st = set.read(got);
  EXPECT_EQ(st.kind, LogStatus::Fresh) << st.reason;
  std::string joined;
  for (const std::string &l : got.whole()) joined += l;
  EXPECT_EQ(joined, all);
  EXPECT_EQ(got.restarts, 1);
  EXPECT_EQ(set.parts_read(), 4u);
  ASSERT_EQ(set.notes().size(), 1u);
  EXPECT_EQ(set.notes()[0].rfind(log + ".3: ", 0), 0u) << set.notes()[0];

  write_file(log, line(7, "later"), "ab");
  st = set.read(got);
  EXPECT_EQ(st.kind, LogStatus::Appended);
  EXPECT_EQ(got.lines.back(), line(7, "later"));
  EXPECT_EQ(got.restarts, 1);

  // The log itself gone: the parts still stand, and the note says so.
  RotatedSet without(dir.file("other_log"), 2);
  write_file(dir.file("other_log.1"), line(0, "rotated"));
  LineSink some;
  EXPECT_EQ(without.read(some).kind, LogStatus::Fresh);
  EXPECT_EQ(some.lines, (std::vector<std::string>{line(0, "rotated")}));
  EXPECT_EQ(without.notes().size(), 1u);
}

}  // namespace

namespace {

// A follow that starts before the server has written its log: the parts are
// listed, the log's lines follow them once it appears, each line once; once
// the log has given lines, a read of it from its start forgets as before.
TEST(RotatedSet, TheLogAppearingAfterTheFirstReadFollowsItsParts) {
  TempDir dir;
  std::string log = dir.file("error_log");
  write_file(log + ".2", "E two\n");
  write_file(log + ".1", "E one\n");
  RotatedSet set(log, 2);
  using K = LogStatus::Kind;
  struct {
    const char *what;
    std::function<void()> change;
    K kind;
    Lines lines;
    int restarts;
  } steps[] = {
      {"the parts, the log missing", [] {}, K::Fresh, {"E two\n", "E one\n"}, 1},
      {"still missing", [] {}, K::Failed, {"E two\n", "E one\n"}, 1},
      {"the log appears", [&] { write_file(log, "E new\n"); }, K::Appended,
       {"E two\n", "E one\n", "E new\n"}, 1},
      {"it grows", [&] { write_file(log, "E more\n", "ab"); }, K::Appended,
       {"E two\n", "E one\n", "E new\n", "E more\n"}, 1},
      {"cut short and written", [&] { write_file(log, "E cut\n"); }, K::Fresh, {"E cut\n"}, 2},
  };
  LineSink got;
  for (const auto &s : steps) {
    s.change();
    EXPECT_EQ(set.read(got).kind, s.kind) << s.what;
    EXPECT_EQ(got.lines, s.lines) << s.what;
    EXPECT_EQ(got.restarts, s.restarts) << s.what;
  }
  EXPECT_TRUE(set.found());
}

}  // namespace
