// veklog_bench.cxx - timings of the work that grows with the log: loading it
// into the list, the poll after the server appends a line, Diagnose, looking
// lines up in the knowledge base (and, beside it, two regular expression
// libraries), the matcher at its worst, reading errors.xml; the window's find,
// filter and a job's story over every line listed.
//
//   xvfb-run -a veklog_bench [benchmark flags] LOG
// LOG is a large log made by genlog (the figures quoted are for 1,000,000
// lines). BM_Diagnose needs no display; the window's benchmarks do (the pane
// that the window's Diagnose fills measures fonts).
#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <FL/x.H>
#include <benchmark/benchmark.h>

#include "app/ErrorLog.h"
#include "base/LogLine.h"
#include "bench/library_match.h"
#include "knowledge/Diagnosis.h"
#include "knowledge/ErrorXML.h"
#include "knowledge/pattern.h"
#include "logread/LogReader.h"
#include "logview/ErrorBrowser.h"

namespace {

const char *g_log = 0;                       // the large log, never written
std::string g_xml = VEKLOG_SOURCE_DIR "/data/errors.xml";
std::string g_grown;                         // a larger knowledge base, made at start
const size_t kGrownItems = 2200;

// The knowledge base of a benchmark: range 0 the shipped one, 1 the larger.
const char *knowledge(const benchmark::State &state) {
  return state.range(0) ? g_grown.c_str() : g_xml.c_str();
}

// Heap bytes in use, to tell what a structure holds.
size_t heap_in_use() { return mallinfo2().uordblks; }

// Writes a knowledge base of `total` items: the shipped items, each after
// variants of itself with one more word in its text ("Unable to open spool
// file" for "Unable to open file"), as a knowledge base grown on real
// wordings holds many items alike. Gives the file's path.
std::string grown_knowledge(size_t total) {
  static const char *words[] = {"spool", "remote", "backup", "shared", "default",
                                "network", "local", "queued", "secondary", "cached"};
  std::vector<std::string> lines;
  FILE *fp = fopen(g_xml.c_str(), "r");
  char buf[4096];
  while (fp && fgets(buf, sizeof buf, fp)) lines.push_back(buf);
  if (fp) fclose(fp);
  // Each item's lines, and where a word can go in its pattern: after the
  // first blank outside sets and groups.
  struct Item {
    size_t first, last, blank;
  };
  std::vector<Item> items;
  for (size_t i = 0; i < lines.size(); i++) {
    size_t at = lines[i].find("pattern=");
    if (lines[i].find("<item ") == std::string::npos || at == std::string::npos) continue;
    Item item{i, i, std::string::npos};
    while (item.last + 1 < lines.size() && lines[item.last].find("</item>") == std::string::npos)
      item.last++;
    const std::string &tag = lines[i];
    for (size_t j = at + 9; j < tag.size() && tag[j] != tag[at + 8]; j++) {
      if (tag[j] == '\\') j++;
      else if (tag[j] == '[' || tag[j] == '{') break;
      else if (tag[j] == ' ') {
        item.blank = j;
        break;
      }
    }
    if (item.blank != std::string::npos) items.push_back(item);
    i = item.last;
  }
  // The variants, spread over the items that can take a word, each written
  // before its item.
  std::vector<int> variants(items.size(), 0);
  size_t shipped = 0;
  for (const std::string &l : lines) shipped += l.find("<item ") != std::string::npos;
  for (size_t made = shipped, k = 0; made < total && !items.empty(); made++, k++)
    variants[k % items.size()]++;
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < lines.size(); i++) {
    if (next < items.size() && items[next].first == i) {
      const Item &item = items[next];
      std::string block;
      for (size_t j = item.first; j <= item.last; j++) block += lines[j];
      for (int v = 0; v < variants[next]; v++) {
        std::string variant = block;
        variant.insert(item.blank + 1, std::string(words[(next + v) % 10]) + " ");
        out += variant;
      }
      next++;
    }
    out += lines[i];
  }
  char path[] = "/tmp/veklog-bench-xml-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0 || write(fd, out.data(), out.size()) != (ssize_t)out.size()) perror("grown_knowledge");
  if (fd >= 0) close(fd);
  return path;
}
const char kAppended[] =
    "E [09/Dec/2026:00:00:01 +0000] [Job 4711] Unable to connect to printer at "
    "10.0.0.41: Connection refused\n";

// The window's benchmarks need the display; the others run without one.
void need_display() {
  static bool opened = false;
  if (!opened) fl_open_display();
  opened = true;
}

// A private copy of the large log that the poll benchmarks may append to.
std::string copy_of_log() {
  char path[] = "/tmp/veklog-bench-XXXXXX";
  int out = mkstemp(path);
  int in = open(g_log, O_RDONLY);
  std::vector<char> buf(1 << 20);
  ssize_t n;
  while (in >= 0 && out >= 0 && (n = read(in, buf.data(), buf.size())) > 0)
    if (write(out, buf.data(), (size_t)n) != n) break;
  if (in >= 0) close(in);
  if (out >= 0) close(out);
  return path;
}

void append_line(const std::string &path) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND);
  if (fd < 0) return;
  if (write(fd, kAppended, sizeof kAppended - 1) < 0) perror("append");
  close(fd);
}

// The first `count` lines of a log, as the list would store them (pieces of
// at most 10239 bytes): the large log, or with `unknown` the healthy
// server's debug logs of the tests, whose lines the knowledge base mostly
// does not know, over and over.
std::vector<std::string> log_lines(size_t count, bool unknown = false) {
  std::vector<std::string> lines;
  const char *healthy[] = {"healthy_debug.log", "healthy2_basic_debug.log",
                           "healthy2_drivers_debug.log"};
  for (int pass = 0; lines.size() < count && pass < (unknown ? 1000 : 1); pass++) {
    for (int f = 0; f < (unknown ? 3 : 1); f++) {
      std::string path =
          unknown ? VEKLOG_SOURCE_DIR "/tests/data/healthy/" + std::string(healthy[f]) : g_log;
      FILE *fp = fopen(path.c_str(), "r");
      char buf[10240];
      while (fp && lines.size() < count && fgets(buf, sizeof buf, fp)) lines.push_back(buf);
      if (fp) fclose(fp);
    }
  }
  return lines;
}

// A full read of the log at filter level state.range(0), as at start or after
// a change of level.
void BM_Load(benchmark::State &state) {
  need_display();
  ErrorBrowser list(0, 25, 645, 230);
  list.level_ = (int)state.range(0);
  snprintf(list.filename_, sizeof list.filename_, "%s", g_log);
  struct stat st;
  stat(g_log, &st);
  for (auto _ : state) {
    state.PauseTiming();
    list.clear();  // forgets the read mark, so load() reads it all
    state.ResumeTiming();
    list.load();
  }
  state.counters["lines"] = list.size();
  state.SetBytesProcessed((int64_t)state.iterations() * st.st_size);
}
BENCHMARK(BM_Load)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(4);

// The poll's work after the server appended one line: the reader's look at
// the file and the read of what was appended, which keeps the listed lines'
// state. range(0) is the level, range(1) the
// current line (3: the user clicked near the top; 0: half way down), range(2)
// 1 when the view is scrolled down to that line, which then stays in view.
void BM_PollAfterAppend(benchmark::State &state) {
  need_display();
  std::string path = copy_of_log();
  ErrorLog log(path.c_str());
  log.level((int)state.range(0));
  int line = state.range(1) ? (int)state.range(1) : log.list_->size() / 2;
  log.list_->select(line);
  if (state.range(2)) log.list_->position((line - 1) * 16);
  for (auto _ : state) {
    state.PauseTiming();
    append_line(path);
    state.ResumeTiming();
    log.poll();
  }
  state.counters["lines"] = log.list_->size();
  state.counters["current"] = log.list_->value();
  unlink(path.c_str());
}
BENCHMARK(BM_PollAfterAppend)
    ->Args({0, 3, 0})->Args({2, 3, 0})->Args({2, 0, 0})->Args({2, 0, 1})
    ->Unit(benchmark::kMicrosecond)->Iterations(200);

// Every line of the large log as the reader gives it at level 2, the pieces
// of a long line joined as Diagnose weighs them, one after the other in one
// block.
struct StoredLines : LogSink {
  std::string bytes;            // each line followed by its terminator
  std::vector<size_t> starts;
  void restart() override {
    bytes.clear();
    starts.clear();
  }
  void drop_unfinished() override {
    if (starts.empty()) return;
    bytes.resize(starts.back());
    starts.pop_back();
  }
  void line(const char *text, size_t len, bool continued) override {
    if (continued && !starts.empty())
      bytes.pop_back();
    else
      starts.push_back(bytes.size());
    bytes.append(text, len);
    bytes += '\0';
  }
};

const StoredLines &all_lines() {
  static StoredLines stored;
  if (stored.starts.empty()) {
    LogReader reader(g_log, 2);
    reader.read(stored);
  }
  return stored;
}

// Diagnose over every line of the log, all listed (level 2), with the shipped
// knowledge base: the weighing, the best remedy and the lines behind it, with
// no window.
void BM_Diagnose(benchmark::State &state) {
  ErrorXML xml(knowledge(state));
  const StoredLines &lines = all_lines();
  size_t leads = 0, explained = 0;
  for (auto _ : state) {
    Diagnosis diagnosis(xml, lines.starts.size());
    for (size_t start : lines.starts) diagnosis.weigh(lines.bytes.data() + start);
    benchmark::DoNotOptimize(diagnosis.best());
    leads = diagnosis.leads().size();
    explained = diagnosis.explained();
  }
  state.counters["lines"] = (double)lines.starts.size();
  state.counters["explained"] = (double)explained;
  state.counters["leads"] = (double)leads;
  state.counters["items"] = xml.num_items_;
}
BENCHMARK(BM_Diagnose)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same through the window: walking the list, selecting the lines behind
// the remedy, scrolling and filling the pane.
void BM_DiagnoseWindow(benchmark::State &state) {
  need_display();
  ErrorLog log(g_log);
  log.level(2);
  for (auto _ : state) log.diagnose_cb();
  int selected = 0;
  for (int i = 1; i <= log.list_->size(); i++) selected += log.list_->selected(i);
  state.counters["lines"] = log.list_->size();
  state.counters["selected"] = selected;
  state.counters["items"] = log.xml_->num_items_;
}
BENCHMARK(BM_DiagnoseWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

// A copy of the large log in which every X, A, C and E line is the follow-on
// of a filter failure (its time kept): at the Errors level the listed lines
// name no cause, so Diagnose weighs every line and quotes the unlisted ones
// behind the remedy it finds there. Made once, removed at exit.
std::string g_follow_on;
const char kFollowOn[] =
    "[Job 42] Job stopped due to filter errors; please consult the error_log file for details.\n";

const std::string &follow_on_log() {
  if (!g_follow_on.empty()) return g_follow_on;
  char path[] = "/tmp/veklog-bench-follow-XXXXXX";
  int fd = mkstemp(path);
  FILE *in = fopen(g_log, "r"), *out = fd >= 0 ? fdopen(fd, "w") : 0;
  char buf[10240];
  bool starts = true;  // the piece read begins a line
  while (in && out && fgets(buf, sizeof buf, in)) {
    size_t n = strlen(buf);
    if (starts && n > 31 && strchr("XACE", buf[0])) {
      buf[0] = 'E';
      fwrite(buf, 1, 31, out);
      fputs(kFollowOn, out);
    } else {
      fwrite(buf, 1, n, out);
    }
    starts = n && buf[n - 1] == '\n';
  }
  if (in) fclose(in);
  if (out) fclose(out);
  g_follow_on = path;
  return g_follow_on;
}

// The window's Diagnose at the Errors level on that log: the list brought up
// to date, the file read once more to weigh every line, the deeper look, and
// a second read for the quoted lines.
void BM_DiagnoseWindowDeeper(benchmark::State &state) {
  need_display();
  ErrorLog log(follow_on_log().c_str());
  log.level(0);
  for (auto _ : state) log.diagnose_cb();
  const char *doc = log.help_->value();
  if (!doc || !strstr(doc, "Found in lines this view does not list"))
    state.SkipWithError("Diagnose did not look past the listed lines");
  state.counters["listed"] = log.list_->size();
  state.counters["unlisted_leads"] = (double)log.unlisted_.size();
}
BENCHMARK(BM_DiagnoseWindowDeeper)->Unit(benchmark::kMillisecond)->Iterations(3);

// The weighing alone on the same lines, listed as at the Errors level.
void BM_DiagnoseDeeper(benchmark::State &state) {
  ErrorXML xml(knowledge(state));
  static StoredLines lines;
  if (lines.starts.empty()) LogReader(follow_on_log(), 2).read(lines);
  bool deeper = false;
  for (auto _ : state) {
    Diagnosis diagnosis(xml, lines.starts.size());
    for (size_t start : lines.starts) {
      const char *line = lines.bytes.data() + start;
      diagnosis.weigh(line, LogReader::accepts(0, (unsigned char)line[0]));
    }
    benchmark::DoNotOptimize(diagnosis.best());
    deeper = diagnosis.deeper();
  }
  if (!deeper) state.SkipWithError("Diagnose did not look past the listed lines");
  state.counters["lines"] = (double)lines.starts.size();
}
BENCHMARK(BM_DiagnoseDeeper)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);

// The window at the All level on the large log: every line listed.
ErrorLog &window_on_log() {
  static ErrorLog *log = nullptr;
  if (!log) {
    need_display();
    log = new ErrorLog(g_log);
    log->level(2);
  }
  return *log;
}

// Find after a key: the next line that holds the text, from the top line,
// the line made current and shown. Range 0: 0 a text no line holds, so every
// line is looked at; 1 the same, but its start ("Job") is on most lines; 2
// a text near the top.
void BM_Find(benchmark::State &state) {
  ErrorLog &log = window_on_log();
  const char *texts[] = {"no line holds this", "Job 4711 is not there", "[Job "};
  const char *text = texts[state.range(0)];
  int found = 0;
  for (auto _ : state) {
    state.PauseTiming();
    log.list_->select(1);
    log.list_->mark(text);
    state.ResumeTiming();
    found = log.list_->find_marked(true, false);
  }
  state.counters["listed"] = log.list_->size();
  state.counters["found_line"] = found;
}
BENCHMARK(BM_Find)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(5);

// The filter after a key, over every line listed: range 0 narrows in place
// from no filter to "j" (most lines stay) and to "job 302" (a few stay); 1
// widens from "job 302" back to "job 30" (the file read again, a few lines
// taken); 2 takes the filter off again (every line read and listed).
void BM_Filter(benchmark::State &state) {
  ErrorLog &log = window_on_log();
  ErrorBrowser *list = log.list_;
  struct Step {
    const char *from, *to;
  } steps[] = {{"", "j"}, {"", "job 302"}, {"job 302", "job 30"}, {"job 302", ""}};
  const Step &step = steps[state.range(0)];
  for (auto _ : state) {
    state.PauseTiming();
    list->filter(step.from);
    state.ResumeTiming();
    log.filter_->value(step.to);
    log.filter_cb();
  }
  state.counters["listed"] = list->size();
  list->filter("");
}
BENCHMARK(BM_Filter)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(3);

// A click on a job's line: the explanation and the job's whole story (its
// lines at every level read back, each looked up, Diagnose over them), the
// pane filled. The window's index of the whole log was made at its start;
// a click brings it up to date (here the log does not change).
void BM_JobStory(benchmark::State &state) {
  ErrorLog &log = window_on_log();
  ErrorBrowser *list = log.list_;
  // A job line near the top, and how many lines its job has.
  int line = 1;
  for (; line < 1000 && !line_job(list->text(line), strlen(list->text(line))); line++) {}
  list->select(line);
  size_t lines = 0;
  for (auto _ : state) {
    log.list_cb();
    benchmark::DoNotOptimize(log.help_->value());
  }
  const char *doc = log.help_->value();
  if (!doc || !strstr(doc, "all its lines")) state.SkipWithError("no story was told");
  const char *at = doc ? strstr(doc, "The job's ") : nullptr;
  if (at) lines = strtoul(at + 10, nullptr, 10);
  state.counters["job_lines"] = (double)lines;
}
BENCHMARK(BM_JobStory)->Unit(benchmark::kMillisecond)->Iterations(10);

// The window's start at the Errors level: the list read, and the start page,
// for which the whole log is read once more into the window's index (later
// polls read only what was appended). Beside BM_Load/0, what the start page
// costs.
void BM_WindowStart(benchmark::State &state) {
  need_display();
  for (auto _ : state) {
    ErrorLog log(g_log);
    benchmark::DoNotOptimize(log.help_->value());
  }
}
BENCHMARK(BM_WindowStart)->Unit(benchmark::kMillisecond)->Iterations(2);

// find_item on each of 200,000 lines of the log in turn, with the shipped
// knowledge base (range 0: 0) or the grown one (1); range 1 is 1 for the log
// of mostly unknown lines (the healthy server's debug logs: catch-alls explain
// most of them).
void BM_FindItem(benchmark::State &state) {
  ErrorXML xml(knowledge(state));
  std::vector<std::string> lines = log_lines(200000, state.range(1));
  size_t i = 0, known = 0, asked = 0;
  for (auto _ : state) {
    ErrorXMLItem *item = xml.find_item(lines[i].c_str());
    benchmark::DoNotOptimize(item);
    known += item != 0;
    asked++;
    if (++i == lines.size()) i = 0;
  }
  state.counters["known%"] = 100.0 * (double)known / (double)(asked ? asked : 1);
  state.SetItemsProcessed((int64_t)state.iterations());
}
BENCHMARK(BM_FindItem)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kNanosecond);

// The same with nothing remembered between lines: every lookup searches the
// index, as for a log whose messages never repeat.
void BM_FindItemUnremembered(benchmark::State &state) {
  ErrorXML xml(knowledge(state));
  xml.index_.remember(false);
  std::vector<std::string> lines = log_lines(200000, state.range(1));
  size_t i = 0;
  for (auto _ : state) {
    ErrorXMLItem *item = xml.find_item(lines[i].c_str());
    benchmark::DoNotOptimize(item);
    if (++i == lines.size()) i = 0;
  }
  state.SetItemsProcessed((int64_t)state.iterations());
}
BENCHMARK(BM_FindItemUnremembered)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kNanosecond);

// The same lines against every item in file order, with no index: what
// find_item would cost if it tried each item's pattern.
void BM_FindItemEveryItem(benchmark::State &state) {
  ErrorXML xml(knowledge(state));
  std::vector<Pattern> patterns;
  for (int k = 0; k < xml.num_items_; k++) patterns.emplace_back(xml.items_[k]->pattern);
  std::vector<std::string> lines = log_lines(200000);
  size_t i = 0;
  for (auto _ : state) {
    const char *line = lines[i].c_str();
    ErrorXMLItem *found = 0;
    if (strlen(line) >= 31)
      for (int k = 0; k < xml.num_items_ && !found; k++) {
        ErrorXMLItem *item = xml.items_[k];
        if (item->level && item->level != line[0]) continue;
        if (patterns[k].match(line + 31)) found = item;
      }
    benchmark::DoNotOptimize(found);
    if (++i == lines.size()) i = 0;
  }
  state.SetItemsProcessed((int64_t)state.iterations());
}
BENCHMARK(BM_FindItemEveryItem)->Arg(0)->Arg(1)->Unit(benchmark::kNanosecond);

// The matcher on the longest message part a listed line can have (10208
// bytes): many stars that all stay alive, and a pattern of the longest kind
// the knowledge base allows (255 characters).
void BM_MatcherWorstCase(benchmark::State &state) {
  std::string text(10207, 'a');
  text += '\n';
  std::string pattern;
  switch (state.range(0)) {
    case 0: pattern = "*a*a*a*a*a*a*a*a*b"; break;
    case 1:
      while (pattern.size() < 252) pattern += "*a";
      pattern += "*b";
      break;
    case 2:
      while (pattern.size() < 250) pattern += "{a|*a}";
      pattern += "*b";
      break;
    default:
      while (pattern.size() < 250) pattern += "?*[a-z]";
      pattern += "b";
  }
  bool matched = false;
  Pattern compiled(pattern.c_str());
  for (auto _ : state) {
    matched = compiled.match(text.c_str());
    benchmark::DoNotOptimize(matched);
  }
  if (matched) state.SkipWithError("the worst case matched; it must fail at the end");
  state.counters["pattern_len"] = (double)pattern.size();
}
BENCHMARK(BM_MatcherWorstCase)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// find_item on a line of the longest kind the list stores, shaped like a job's
// message so that many items are tried, and known to none of them.
void BM_FindItemLongLine(benchmark::State &state) {
  ErrorXML xml(knowledge(state));
  std::string line = "E [08/Dec/2026:17:23:40 +0000] [Job 42] Unable to ";
  while (line.size() < 10238) line += "connect ";
  line.resize(10238);
  line += '\n';
  for (auto _ : state) benchmark::DoNotOptimize(xml.find_item(line.c_str()));
}
BENCHMARK(BM_FindItemLongLine)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Reading errors.xml and building find_item's index; the heap it holds.
void BM_LoadErrorsXml(benchmark::State &state) {
  int items = 0;
  size_t held = 0;
  for (auto _ : state) {
    size_t before = heap_in_use();
    ErrorXML xml(knowledge(state));
    xml.find_item("E [08/Dec/2026:17:23:40 +0000] index\n");
    items = xml.num_items_;
    held = heap_in_use() - before;
  }
  state.counters["items"] = items;
  state.counters["heap_MB"] = (double)held / 1e6;
}
BENCHMARK(BM_LoadErrorsXml)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A multi-pattern library in the index's place: range 0 is the library
// (0 RE2::Set, 1 Hyperscan), 1 the knowledge base, 2 the log (1: mostly
// unknown lines). Every line is asked, nothing is remembered; each answer is
// checked against find_item.
std::unique_ptr<LibraryItems> library(int which, ErrorXML &xml) {
  std::vector<char> levels;
  std::vector<std::string> patterns;
  for (int i = 0; i < xml.num_items_; i++) {
    levels.push_back(xml.items_[i]->level);
    patterns.push_back(xml.items_[i]->pattern);
  }
  return which ? hyperscan_items(levels, patterns) : re2_items(levels, patterns);
}

void BM_LibraryFind(benchmark::State &state) {
  ErrorXML xml(state.range(1) ? g_grown.c_str() : g_xml.c_str());
  std::vector<std::string> lines = log_lines(200000, state.range(2));
  size_t before = heap_in_use();
  std::unique_ptr<LibraryItems> lib = library((int)state.range(0), xml);
  if (!lib || !lib->error.empty()) {
    state.SkipWithError(lib ? lib->error.c_str() : "the library was not found at build time");
    return;
  }
  size_t i = 0, wrong = 0;
  for (auto _ : state) {
    const std::string &l = lines[i];
    int item = l.size() >= 31 ? lib->find(l[0], l.c_str() + 31, l.size() - 31) : -1;
    benchmark::DoNotOptimize(item);
    if (++i == lines.size()) i = 0;
    if (i < 2000) {  // the first lines' answers, against the index's
      ErrorXMLItem *want = xml.find_item(l.c_str());
      wrong += (want ? want : nullptr) != (item < 0 ? nullptr : xml.items_[item]);
    }
  }
  state.counters["wrong"] = (double)wrong;
  state.counters["heap_MB"] = (double)(heap_in_use() - before) / 1e6;
  state.SetLabel(lib->name());
  state.SetItemsProcessed((int64_t)state.iterations());
}
BENCHMARK(BM_LibraryFind)->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})->Unit(benchmark::kNanosecond);

// Building the library's database from the items already read.
void BM_LibraryBuild(benchmark::State &state) {
  ErrorXML xml(state.range(1) ? g_grown.c_str() : g_xml.c_str());
  size_t held = 0;
  for (auto _ : state) {
    size_t before = heap_in_use();
    std::unique_ptr<LibraryItems> lib = library((int)state.range(0), xml);
    if (!lib || !lib->error.empty()) {
      state.SkipWithError(lib ? lib->error.c_str() : "the library was not found at build time");
      return;
    }
    held = heap_in_use() - before;
    state.SetLabel(lib->name());
  }
  state.counters["heap_MB"] = (double)held / 1e6;
}
BENCHMARK(BM_LibraryBuild)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (argc != 2) {
    fprintf(stderr, "usage: %s [benchmark flags] LOG\n", argv[0]);
    return 2;
  }
  g_log = argv[1];
  // The window's knowledge base is found through the data directory.
  setenv("TARN_DATADIR", VEKLOG_SOURCE_DIR, 1);
  g_grown = grown_knowledge(kGrownItems);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  unlink(g_grown.c_str());
  if (!g_follow_on.empty()) unlink(g_follow_on.c_str());
  return 0;
}
