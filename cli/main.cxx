// main.cxx - veklog-explain: the print server's error log explained in a
// terminal, Diagnose's answer, following the log, and checking errors.xml.
// The reading and the weighing are the window's own (logread/, knowledge/).
#include <errno.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <iostream>
#include <mutex>
#include <string_view>
#include <string>
#include <thread>
#include <vector>

#include "base/LogTime.h"
#include "cli/Check.h"
#include "cli/Gather.h"
#include "cli/Input.h"
#include "cli/Job.h"
#include "cli/Options.h"
#include "cli/Present.h"
#include "cli/Select.h"
#include "knowledge/Diagnosis.h"
#include "knowledge/ErrorXML.h"
#include "knowledge/KbCheck.h"
#include "knowledge/KbLookup.h"
#include "logread/BackwardReader.h"
#include "logread/HostGroups.h"
#include "logread/LogReader.h"
#include "logread/NameWatch.h"
#include "logread/RotatedSet.h"
#include "base/open_regular.h"

#ifndef VEKLOG_VERSION_TEXT
#define VEKLOG_VERSION_TEXT "1.0"
#endif

namespace {

const char kProgram[] = "veklog-explain";

// Set by SIGINT or SIGTERM, read by both threads of a follow.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets it");
void on_signal(int) { g_stop = true; }

void complain(const std::string &what) {
  std::cout.flush();
  fprintf(stderr, "%s: %s\n", kProgram, what.c_str());
}

// --since and --until. A line without a time of its own (a line of another
// layout) goes with the last line before it that had one; before any, it is
// left out when a limit is set.
// It sees every line of the file in turn, whatever the level lists.
class TimeWindow {
public:
  explicit TimeWindow(const Options &o) : o_(o) {}
  bool take(const std::string &line) { return take(line.data(), line.size()); }
  bool take(const char *line, size_t len) {
    if (!o_.has_since && !o_.has_until) return true;
    time_t t;
    if (line_time(line, len, &t)) {
      last_ = t;
      known_ = true;
    }
    return known_ && (!o_.has_since || last_ >= o_.since) && (!o_.has_until || last_ <= o_.until);
  }

private:
  const Options &o_;
  time_t last_ = 0;
  bool known_ = false;
};

int terminal_width() {
  const char *columns = getenv("COLUMNS");
  if (columns && atoi(columns) > 0) return atoi(columns);
  struct winsize ws;
  if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
    return ws.ws_col;
  return 80;
}

bool use_color(const Options &o) {
  if (o.json || o.color == Options::Never) return false;
  if (o.color == Options::Always) return true;
  const char *no = getenv("NO_COLOR"), *term = getenv("TERM");
  return isatty(STDOUT_FILENO) && !(no && *no) && !(term && !strcmp(term, "dumb"));
}

// The try that says most about a knowledge base that could not be opened:
// one that is there but cannot be read beats one that is not there.
std::string kb_failure(const KbCheck &check) {
  std::string why = check.tried() + ": " + strerror(check.open_error());
  return "cannot read the knowledge base " + why;
}

// Loads the knowledge base as the window does (or the file named), telling
// the checker, and says on standard error which file in the working
// directory was passed over and why. False, after saying why, when there is
// none to read.
bool load_kb(const std::string &named, ErrorXML &xml, KbCheck &check) {
  if (!named.empty()) {
    xml.load_file(named.c_str(), &check);
    if (check.path().empty()) {
      complain("cannot read the knowledge base " + named + ": " + strerror(check.open_error()));
      return false;
    }
    return true;
  }
  xml.load(kKbName, &check);
  for (const std::string &why : xml.lookup_.ignored())
    complain("ignored the knowledge base " + why +
             (check.path().empty() ? "" : "; using " + xml.lookup_.shown()));
  if (check.path().empty()) {
    complain(kb_failure(check));
    return false;
  }
  return true;
}

// Why a knowledge base that was found gives nothing to explain lines with,
// or "" when it gives items.
std::string kb_unusable(const ErrorXML &xml) {
  const std::string &path = xml.lookup_.shown();
  if (!xml.refused_.empty()) return "cannot read the knowledge base " + path + ": " + xml.refused_;
  if (xml.num_items_ > 0) return "";
  return "the knowledge base " + path + " yields no item, so no line can be explained; "
         "'veklog-explain --check-kb " + path + "' says why";
}

int check_kb(const Options &o) {
  ErrorXML xml(nullptr);
  KbCheck check;
  if (!load_kb(o.kb, xml, check)) return kExitUnreadable;
  if (!o.samples.empty()) {
    std::string reason;
    if (!check.check_samples(xml, o.samples, &reason)) {
      complain("cannot read the samples " + o.samples + ": " + reason);
      return kExitUnreadable;
    }
  }
  for (const KbProblem &p : check.problems()) std::cout << KbCheck::format(p) << '\n';
  std::cout.flush();
  int e = check.errors(), w = check.warnings();
  int r = xml.num_remedies_, i = xml.num_items_;
  fprintf(stderr, "%s: %s: %d remed%s, %d item%s; %d error%s, %d warning%s\n", kProgram,
          check.path().c_str(), r, r == 1 ? "y" : "ies", i, i == 1 ? "" : "s", e,
          e == 1 ? "" : "s", w, w == 1 ? "" : "s");
  // A file that yields no item cannot be used at all: that comes before an error found.
  if (!kb_unusable(xml).empty()) return kExitUnreadable;
  return e ? kExitFound : kExitOk;
}

// --check: a knowledge base that cannot be read is UNKNOWN, said on the
// status line too.
int check_log(const Options &o) {
  ErrorXML xml(nullptr);
  KbCheck check;
  if (!load_kb(o.kb, xml, check))
    return check_unknown(std::cout, o.kb.empty() ? kb_failure(check)
                                                 : "cannot read the knowledge base " + o.kb +
                                                       ": " + strerror(check.open_error()));
  std::string unusable = kb_unusable(xml);
  if (!unusable.empty()) return check_unknown(std::cout, unusable);
  return run_check(o, xml, std::cout);
}

// Why the log was read from the start of a file, as the terminal says it.
std::string change_note(const std::string &path, const LogStatus &st) {
  switch (st.change) {
    case LogStatus::Rotated: return path + " was rotated; going on with the new file";
    case LogStatus::Replaced: return path + " was replaced; reading the new file from its start";
    case LogStatus::CutShort: return path + " was cut short; reading it again from its start";
    case LogStatus::Rewritten: return path + " was rewritten; reading it again from its start";
    default: return path + " was read again from its start";
  }
}

// A line to print, or (with no line text) a note to say.
using Item = std::pair<std::string, std::string>;
// One round of following: waits at most half a second for news, then adds
// what came to the batch, in order.
using Feed = std::function<void(std::vector<Item> &batch)>;

// Prints lines appended to the log until SIGINT or SIGTERM. The last line of
// a read is held back until it is finished (or the next read shows that it
// stands as it is), so that a line being written is printed once, whole.
// The time window and the level were applied as the lines were gathered.
int follow(const Feed &feed, Presenter &present, const LineMatch &match, Gather &got) {
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;  // no SA_RESTART: the sleep ends at once
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  // Explaining a line takes longer than the server takes to rotate its log:
  // a thread of its own reads the log (and so holds each new file open as
  // soon as it takes the name), and hands over lines and notes in order.
  std::mutex lock;
  std::condition_variable ready;
  std::deque<Item> queue;
  bool done = false;
  std::thread feeder([&] {
    std::vector<Item> batch;
    while (!g_stop) {
      feed(batch);
      if (g_stop) break;
      if (batch.empty()) continue;
      std::lock_guard<std::mutex> hold(lock);
      for (Item &item : batch) queue.push_back(std::move(item));
      batch.clear();
      ready.notify_one();
    }
    for (std::string &l : got.take(false)) batch.emplace_back(std::move(l), "");
    std::lock_guard<std::mutex> hold(lock);
    for (Item &item : batch) queue.push_back(std::move(item));
    done = true;
    ready.notify_one();
  });
  for (bool last = false; !last;) {
    std::deque<Item> now;
    {
      std::unique_lock<std::mutex> hold(lock);
      ready.wait_for(hold, std::chrono::milliseconds(100), [&] { return done || !queue.empty(); });
      now.swap(queue);
      last = done;
    }
    for (const Item &item : now) {
      if (!item.second.empty())
        complain(item.second);
      else if (match(item.first))
        present.line(item.first);
    }
    std::cout.flush();
  }
  feeder.join();
  return kExitOk;
}

// Following a file: when another file takes the log's name, what was
// written to the old one comes first.
// `unseen`: the log has not been there yet (only its rotated parts were).
Feed file_feed(LogReader &reader, Gather &got, bool unseen) {
  auto watch = std::make_shared<NameWatch>(reader.path());
  auto missing = std::make_shared<bool>(false);
  auto seen = std::make_shared<bool>(!unseen);
  return [&reader, &got, watch, missing, seen](std::vector<Item> &batch) {
    const std::string &path = reader.path();
    auto lines_to = [&](std::vector<std::string> &lines, size_t from, size_t to) {
      for (size_t i = from; i < to; i++) batch.emplace_back(std::move(lines[i]), "");
    };
    auto note = [&](const std::string &text) { batch.emplace_back("", text); };
    watch->wait(500, g_stop);
    if (g_stop) return;
    LogStatus st = reader.read(got);
    bool restarted = got.restarted();
    std::vector<std::string> lines = got.take(st.kind != LogStatus::Failed && reader.line_open());
    size_t before = got.before_switch();
    lines_to(lines, 0, before);
    if (st.kind == LogStatus::Failed) {
      if (!*missing)
        note(path + ": " + st.reason +
             (*seen ? "; waiting for it to come back" : "; waiting for it to appear"));
      *missing = true;
      return;
    }
    if (!*seen)
      note(path + " has appeared; reading it");
    else if (*missing)
      note(path + (restarted ? " is back; reading it from the start"
                             : " is back; going on where it stopped"));
    else if (restarted || st.change != LogStatus::First)
      note(change_note(path, st));
    *missing = false;
    *seen = true;
    lines_to(lines, before, lines.size());
  };
}

// Following a journal: its own change notification says when to read; its
// entries are whole lines.
Feed journal_feed(JournalSource &source, Gather &got) {
  auto failing = std::make_shared<bool>(false);
  return [&source, &got, failing](std::vector<Item> &batch) {
    if (!source.wait(500000)) {
      if (source.fd() >= 0) return;  // nothing new
      usleep(500000);                // cannot be opened now: try again
    }
    if (g_stop) return;
    LogStatus st = source.read(got);
    if (st.kind == LogStatus::Failed) {
      if (!*failing) batch.emplace_back("", source.name() + ": " + st.reason + "; trying again");
      *failing = true;
      return;
    }
    if (*failing) batch.emplace_back("", source.name() + " can be read again");
    *failing = false;
    for (std::string &l : got.take(false)) batch.emplace_back(std::move(l), "");
  };
}

// The job's lines, oldest first, and the remedy they point to; with
// --diagnose only that remedy, and its exit status.
int tell_job(const Options &o, const std::string &name, const std::vector<std::string> &lines,
             const std::vector<bool> &listed, Presenter &present) {
  size_t count = std::count(listed.begin(), listed.end(), true);
  if (!count) {
    bool limited = o.has_since || o.has_until || !o.grep.empty() || o.level_set;
    complain("no line of " + name +
             (limited ? " within the limits given" : "") + " belongs to job " +
             std::to_string(o.job));
    return kExitOk;
  }
  bool diagnose = o.mode == Options::Diagnose;
  if (!diagnose) {
    for (size_t i = 0; i < lines.size(); i++)
      if (listed[i]) present.line(lines[i]);
    if (!o.json) std::cout << '\n';
  }
  const ErrorXMLRemedy *named = present.diagnose(lines, listed);
  std::cout.flush();
  return diagnose && named ? kExitFound : kExitOk;
}

// --by-host: Diagnose's answer for each host, the worst first; what the
// time window and --grep leave out is not weighed, the level decides what
// counts as listed.
int tell_hosts(const Options &o, const HostGroups &groups, const LineMatch &match,
               Presenter &present) {
  std::vector<HostRow> rows;
  for (const HostGroups::Group *g : groups.groups()) {
    TimeWindow window(o);
    std::vector<std::string> lines;
    std::vector<bool> listed;
    for (const std::string &l : g->lines) {
      bool in_time = window.take(l);
      if (!in_time || !match(l)) continue;
      lines.push_back(l);
      listed.push_back(LogReader::accepts(o.level, (unsigned char)l[0]));
    }
    if (!lines.empty() || o.host == g->host) rows.push_back(present.host_row(g->host, lines, listed));
  }
  // The host asked for is answered, even when it wrote nothing.
  if (!o.host.empty() && !groups.find(o.host))
    rows.push_back(present.host_row(o.host, {}, {}));
  worst_first(rows);
  present.hosts(rows);
  std::cout.flush();
  for (const HostRow &r : rows)
    if (!r.remedy.empty()) return kExitFound;
  return kExitOk;
}

// The listing newest first, read from the end of the file: memory stays
// flat and -n stops the reading early. -1 when the file is not one to read
// so (not a plain file, or compressed): the forward reader then says why or
// reads it whole.
int list_newest_first(const Options &o, const LineMatch &match, Presenter &present) {
  BackwardReader reader(o.log);
  if (!reader.open()) return -1;
  struct Joined : LogSink {
    std::string text;
    unsigned char lead = 0;  // the first byte of the first piece: it tells the level
    void restart() override {}
    void drop_unfinished() override {}
    void line(const char *t, size_t len, bool continued) override {
      if (!continued) text.clear(), lead = (unsigned char)t[0];
      text.append(t, len);
    }
  } joined;
  long left = o.lines;
  size_t shown = 0;
  if (left != 0)
    reader.read(joined, [&] {
      if (!LogReader::accepts(o.level, joined.lead) || !match(joined.text)) return true;
      present.line(joined.text);
      shown++;
      return left < 0 || --left > 0;
    });
  if (shown && !o.brief) present.source();
  std::cout.flush();
  if (reader.error()) {
    complain(o.log + " was read in part: " + strerror(reader.error()) + "; what could be read was listed");
    return kExitPartial;
  }
  return kExitOk;
}

// Diagnose over a source that can be read again (a file, its rotated parts,
// a journal), keeping no line: the first reading weighs each line as it
// comes and keeps only the counts; a second one finds the lines that point
// to the remedy named, by their number, item and listing, and keeps those
// alone. With --lines, a reading before them counts the lines the level and
// time list, to know which are the newest. Each reading after the first
// stops at the lines the first one gave, so that a log that grows meanwhile
// is answered as it stood; one replaced between two readings gives other
// lines, which is said.
// Says on stderr what a first reading of the source found: the parts
// skipped, and why it failed or was read only in part. False when it failed.
bool tell_read(const Input &in, const LogStatus &st) {
  for (const std::string &skipped : in.notes()) complain("skipped " + skipped);
  if (st.kind == LogStatus::Failed) {
    complain("cannot read " + in.name() + ": " + st.reason);
    return false;
  }
  if (st.damaged)
    complain(in.name() + " was read in part: " + st.reason +
             (st.damage_at >= 0 ? " (at byte " + std::to_string((long long)st.damage_at) + ")" : "") +
             "; what could be read follows");
  return true;
}

int diagnose_again(const Options &o, ErrorXML &xml, const LineMatch &match, Presenter &present) {
  int level = o.level;
  std::unique_ptr<TimeWindow> window;
  std::unique_ptr<Diagnosis> d;
  size_t marked = 0, first_listed = 0, total = 0;
  bool counting = o.lines >= 0;
  auto begin = [&] {
    window.reset(new TimeWindow(o));
    d.reset(new Diagnosis(xml, 0, Diagnosis::Keep::Counts));
    marked = 0;
  };
  begin();
  LineWalk walk(
      [&](const std::string &l) {
        bool in_time = window->take(l);
        if (!match(l)) return;
        bool listed = in_time && LogReader::accepts(level, (unsigned char)l[0]);
        if (counting) {
          marked += listed;
          return;
        }
        if (listed) listed = marked++ >= first_listed;
        d->weigh(l.c_str(), l.size(), listed);
      },
      begin);
  bool said = false;  // the first reading's news: said once
  std::string name;
  LogStatus st;
  // One reading of the whole source; false after saying why when it fails.
  auto read = [&](LineWalk &sink) {
    Input in(o);
    st = in.read(sink);
    sink.finish();
    if (said) {
      if (st.kind == LogStatus::Failed) complain("cannot read " + name + " again: " + st.reason);
      return st.kind != LogStatus::Failed;
    }
    said = true;
    name = in.name();
    if (!tell_read(in, st)) return false;
    total = sink.count();
    sink.limit(total);
    return true;
  };
  if (!read(walk)) return kExitUnreadable;
  int done = st.damaged ? kExitPartial : kExitOk;
  if (st.damaged) present.warning(name, st.reason, (long long)st.damage_at);
  if (counting) {
    counting = false;
    first_listed = marked > (size_t)o.lines ? marked - (size_t)o.lines : 0;
    walk.restart();
    walk.limit(total);
    if (!read(walk)) return kExitUnreadable;
  }

  d->close();  // room for the lines quoted
  const ErrorXMLRemedy *best = d->best();
  size_t leads = d->lead_count();
  // The quoted lines one after another, in blocks that never move (no
  // doubling).
  const size_t kBlock = 16384;
  std::deque<std::string> blocks;
  std::vector<Presenter::Quote> quoted;
  if (leads) {
    size_t at = 0;
    auto again = [&] {
      at = marked = 0;
      window.reset(new TimeWindow(o));
      blocks.clear();
      quoted.clear();
    };
    again();
    // The lines again, listed as they were: those the diagnosis names.
    LineWalk fetch([&](const std::string &l) {
      bool in_time = window->take(l);
      if (!match(l)) return;
      bool listed = in_time && LogReader::accepts(level, (unsigned char)l[0]);
      if (listed) listed = marked++ >= first_listed;
      size_t n = at++;
      // Without the deeper look only the listed lines lead: no other is looked up.
      if (!(listed || d->deeper()) || !d->leads_to(n, xml.find_item_index(l.c_str(), l.size()), listed))
        return;
      if (blocks.empty() || blocks.back().capacity() - blocks.back().size() < l.size()) {
        blocks.emplace_back();
        blocks.back().reserve(std::max(kBlock, l.size()));
      }
      std::string &block = blocks.back();
      block += l;
      quoted.push_back({std::string_view(block).substr(block.size() - l.size()), listed});
    }, again);
    fetch.limit(total);
    if (!read(fetch)) {
      done = kExitPartial;
    } else if (quoted.size() != leads) {
      // The lines found are still lines that point to the remedy: shown.
      complain(name + " changed while it was read: " +
               (quoted.size() < leads ? std::to_string(leads - quoted.size()) + " of the " +
                                             std::to_string(leads) + " lines that point to " +
                                             best->name + " could not be read again"
                                      : "more lines than were weighed point to " +
                                            std::string(best->name)) +
               "; the lines shown are those read again");
      done = kExitPartial;
    }
  }
  const ErrorXMLRemedy *named = present.diagnosis(*d, quoted);
  std::cout.flush();
  return done ? done : named ? kExitFound : kExitOk;
}

int explain(const Options &o) {
  ErrorXML xml(nullptr);
  KbCheck check;
  if (!load_kb(o.kb, xml, check)) return kExitUnreadable;
  std::string unusable = kb_unusable(xml);
  if (!unusable.empty()) {
    complain(unusable);
    return kExitUnreadable;
  }
  if (check.errors())
    complain(std::to_string(check.errors()) + " entr" + (check.errors() == 1 ? "y" : "ies") +
             " of " + check.path() + " cannot be read; 'veklog-explain --check-kb " +
             check.path() + "' lists them");

  // Diagnose weighs every line of the log; the level decides what is listed.
  // A job's story lists its lines at every level, unless a level is asked for.
  bool diagnose = o.mode == Options::Diagnose;
  bool every = diagnose || o.job;
  int level = o.job && !o.level_set ? 2 : o.level;
  LineMatch match(o.grep, o.regex);
  PresentStyle style;
  style.json = o.json;
  style.color = use_color(o);
  style.remedy = o.remedy;
  style.brief = o.brief;
  style.kb = xml.lookup_.shown();
  style.width = terminal_width();
  const char *codeset = nl_langinfo(CODESET);
  style.utf8 = codeset && !strcmp(codeset, "UTF-8");
  // Followed lines come oldest first, so the last ones listed come so too.
  style.oldest_first = o.oldest_first || o.follow || o.job;
  if (o.job) style.unlisted_heading = "Found in lines outside job " + std::to_string(o.job) + ":";
  Presenter present(xml, std::cout, style);
  // A file named alone (no rotated parts before it) can be listed from its end.
  bool alone = o.source == Options::Named && o.log != "-" && !o.by_host &&
               (!o.rotated || RotatedSet::parts_of(o.log).empty());
  if (alone && !every && !o.follow && !style.oldest_first && !o.has_since && !o.has_until) {
    int listed = list_newest_first(o, match, present);
    if (listed >= 0) return listed;
  }
  // Standard input cannot be read twice: Diagnose holds it whole.
  bool from_stdin = o.source == Options::Named && o.log == "-";
  if (diagnose && !o.job && !o.by_host && !from_stdin) return diagnose_again(o, xml, match, present);

  // Every line is read, so that a line without a time of its own takes the
  // time of the line before it in the file, whatever the level; a listing
  // keeps only the lines of its level and time window as they come.
  Input in(o);
  Gather got;  // the pieces of a long line joined: one line, as it was written
  TimeWindow window(o);
  if (!every)
    got.filter([&](const char *text, size_t len) {
      return window.take(text, len) && LogReader::accepts(o.level, (unsigned char)text[0]);
    });
  HostGroups groups;  // --by-host: each host's lines apart
  EntryJobs jids;     // --job on a journal: each entry's JID, one per line
  LogStatus st = o.by_host ? in.read(groups, &groups)
                 : o.job && in.journal() ? in.read(got, &jids)
                                         : in.read(got);
  std::string name = in.name();
  if (!tell_read(in, st)) return kExitUnreadable;

  std::vector<std::string> lines = got.take(o.follow && !diagnose && in.line_open());
  if (st.damaged) present.warning(name, st.reason, (long long)st.damage_at);
  int done = st.damaged ? kExitPartial : kExitOk;
  if (o.by_host) {
    int told = tell_hosts(o, groups, match, present);
    return done ? done : told;
  }

  // What --grep leaves out is neither listed nor weighed; a line without a
  // time still goes with the line before it, kept or not.
  std::vector<bool> listed;
  listed.reserve(lines.size());
  bool with_jids = jids.ids.size() == lines.size();
  size_t kept = 0;
  for (size_t i = 0; i < lines.size(); i++) {
    std::string &l = lines[i];
    bool in_time = !every || window.take(l);
    if (!match(l)) continue;
    listed.push_back(in_time && LogReader::accepts(level, (unsigned char)l[0]));
    if (i != kept) {
      lines[kept] = std::move(l);
      if (with_jids) jids.ids[kept] = jids.ids[i];
    }
    kept++;
  }
  lines.resize(kept);
  if (with_jids) jids.ids.resize(kept);
  if (o.job) {
    std::vector<bool> mine = lines_of_job(xml, lines, o.job, jids.ids);
    for (size_t i = 0; i < lines.size(); i++) listed[i] = listed[i] && mine[i];
  }
  keep_newest(listed, o.lines);
  if (o.job) {
    int told = tell_job(o, name, lines, listed, present);
    return done ? done : told;
  }
  if (diagnose) {
    const ErrorXMLRemedy *named = present.diagnose(lines, listed);
    std::cout.flush();
    return done ? done : named ? kExitFound : kExitOk;
  }
  {
    std::vector<std::string> shown;
    for (size_t i = 0; i < lines.size(); i++)
      if (listed[i]) shown.push_back(std::move(lines[i]));
    lines.swap(shown);
  }
  // Newest first, as the window lists them.
  if (!style.oldest_first) std::reverse(lines.begin(), lines.end());
  for (const std::string &l : lines) present.line(l);
  if (!lines.empty() && !o.brief) present.source();  // --brief: one line per log line
  std::cout.flush();
  lines.clear();
  if (!o.follow) return done;
  if (st.compressed) {
    complain(name + " is compressed and does not grow: it is not followed");
    return done;
  }
  int followed = in.journal() ? follow(journal_feed(*in.journal_source(), got), present, match, got)
                              : follow(file_feed(*in.file(), got, in.log_missing()), present, match, got);
  return done ? done : followed;
}

}  // namespace

int main(int argc, char *argv[]) {
  setlocale(LC_CTYPE, "");
  Options o;
  std::string wrong = parse_options(argc, argv, o);
  if (!wrong.empty()) {
    fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, wrong.c_str(),
            kProgram);
    if (check_requested(argc, argv)) return check_unknown(std::cout, wrong);
    return kExitUsage;
  }
  if (o.mode == Options::List || o.mode == Options::Diagnose || o.mode == Options::Check) {
    std::string why = settle(o);
    if (!why.empty()) complain(why);
    if (o.source == Options::Named && (o.by_host || !o.host.empty())) {
      complain("the log " + o.log + " does not say which host wrote its lines: --host and "
               "--by-host go with a journal");
      return kExitUsage;
    }
    if (o.mode == Options::Check && o.source != Options::Named)
      return check_unknown(std::cout, "--check reads a log file, not a journal: name the file");
  }
  switch (o.mode) {
    case Options::Help:
      std::cout << help_text();
      return kExitOk;
    case Options::Version:
      std::cout << kProgram << " (veklog) " << VEKLOG_VERSION_TEXT << '\n';
      return kExitOk;
    case Options::CheckKb:
      return check_kb(o);
    case Options::Check:
      return check_log(o);
    default:
      return explain(o);
  }
}
