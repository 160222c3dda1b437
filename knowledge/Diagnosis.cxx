// Diagnosis.cxx - weighing log lines for Diagnose with the rules of context,
// ranking the remedies, the deeper look, and reading out the result.
#include "knowledge/Diagnosis.h"

#include <limits.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string_view>

#include "base/LogLine.h"
#include "base/LogTime.h"

const char kUnknownRemedy[] = "unlisted-message";

bool is_catch_all(const ErrorXMLItem *item) {
  return item && item->remedy && item->remedy->name &&
         strcmp(item->remedy->name, kUnknownRemedy) == 0;
}

namespace {

// A weight of 3 or more names a cause.
const int kCause = 3;
// lpadmin looks a queue up, and may wait for a password, before it adds it.
const time_t kLookupWindow = 60;

const char kJobPrefix[] = "[Job ";
const char kRecordedFrom[] = "The following messages were recorded from ";
const char kEndOfMessages[] = "End of messages";
const char kQueuedOn[] = "Queued on ";

bool starts(const char *s, const char *prefix) { return strncmp(s, prefix, strlen(prefix)) == 0; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

bool starts_folded(const char *s, const char *prefix) {
  for (; *prefix; s++, prefix++)
    if (lower(*s) != *prefix) return false;
  return true;
}

bool alnum(char c) { return (c >= '0' && c <= '9') || (lower(c) >= 'a' && lower(c) <= 'z'); }

// Queue names are at most 127 characters.
const size_t kNameMax = 127;

// A quoted name at p, as the server quotes it: "Q", \"Q\", 'Q' or \'Q\'.
std::string quoted_name(const char *p) {
  bool escaped = *p == '\\';
  if (escaped) p++;
  char quote = *p;
  if (quote != '"' && quote != '\'') return "";
  std::string name;
  for (p++; *p && *p != '\n'; p++) {
    if (escaped ? p[0] == '\\' && p[1] == quote : *p == quote) return name;
    if (name.size() == kNameMax) return "";
    name += lower(*p);
  }
  return "";
}

// A name that runs to the next character no queue name holds.
std::string bare_name(const char *p, const char *stops) {
  std::string name;
  for (; *p && !strchr(stops, *p) && name.size() <= kNameMax; p++) name += lower(*p);
  return name.size() > kNameMax ? "" : name;
}

// "[Job N] " at the message part: N, and where the rest starts; 0 when none.
int job_of(const char *line, size_t len, const char **rest) {
  if (len < kMessageColumn + sizeof kJobPrefix) return 0;
  const char *p = line + kMessageColumn;
  if (!starts(p, kJobPrefix)) return 0;
  p += sizeof kJobPrefix - 1;
  long n = 0;
  const char *digits = p;
  while (*p >= '0' && *p <= '9' && n < INT_MAX / 10) n = n * 10 + (*p++ - '0');
  if (p == digits || p[0] != ']' || p[1] != ' ' || n <= 0) return 0;
  *rest = p + 2;
  return (int)n;
}

int clamp(long long v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v; }

}  // namespace

std::string queue_named(const char *m) {
  if (!m) return "";
  if (starts(m, "[Printer ")) {
    std::string name = bare_name(m + 9, "]\n");
    if (m[9 + name.size()] == ']') return name;
  }
  if (starts(m, "Setting ")) {
    std::string name = bare_name(m + 8, " \n");
    const char *after = m + 8 + name.size();
    if (!name.empty() && (starts(after, " printer-") || starts(after, " device-uri ") ||
                          starts(after, " port-monitor ")))
      return name;
  }
  static const char *const kWords[] = {"printer ", "class ", "destination ", "queued on ",
                                       "jobs on "};
  for (const char *p = m; *p && *p != '\n'; p++) {
    char c = lower(*p);
    if (c != '/' && c != 'p' && c != 'c' && c != 'd' && c != 'q' && c != 'j') continue;
    if (c == '/') {
      for (const char *dir : {"/printers/", "/classes/"})
        if (starts(p, dir)) {
          std::string name = bare_name(p + strlen(dir), "\"' \t\r\n?#()\\,;]/");
          if (!name.empty()) return name;
        }
      continue;
    }
    if (p > m && alnum(p[-1])) continue;
    for (const char *word : kWords)
      if (starts_folded(p, word)) {
        std::string name = quoted_name(p + strlen(word));
        if (!name.empty()) return name;
      }
  }
  return "";
}

Diagnosis::Diagnosis(ErrorXML &xml, size_t lines) : xml_(xml) {
  xml_.clear_scores();
  lines_.reserve(lines);
  std::unordered_map<const ErrorXMLRemedy *, int> position;
  for (int i = 0; i < xml.num_remedies_; i++) {
    position.emplace(xml.remedies_[i], (int)remedies_.size());
    remedies_.push_back(xml.remedies_[i]);
  }
  scored_ = remedies_.size();
  // A remedy whose closing tag never came backs its items but never ranks.
  for (int i = 0; i < xml.num_orphans_; i++) {
    position.emplace(xml.orphans_[i], (int)remedies_.size());
    remedies_.push_back(xml.orphans_[i]);
  }
  items_.reserve((size_t)xml.num_items_);
  for (int i = 0; i < xml.num_items_; i++) {
    const ErrorXMLItem *item = xml.items_[i];
    auto found = position.find(item->remedy);
    items_.push_back({item->severity, found == position.end() ? -1 : found->second, item->state,
                      is_catch_all(item)});
  }
}

int Diagnosis::subject(const std::string &name) {
  return subjects_.emplace(name, (int)subjects_.size()).first->second;
}

void Diagnosis::close_block() {
  recorded_before_.insert(block_.begin(), block_.end());
  block_.clear();
  block_job_ = 0;
}

ErrorXMLItem *Diagnosis::weigh(const char *line, bool listed, bool continued) {
  decided_ = false;
  if (!line) line = "";
  size_t n = lines_.size();
  size_t len = strnlen(line, kPieceBytes + 1);
  if (len > kPieceBytes) len += strlen(line + len);  // given whole, not in pieces
  Line rec = {-1, 0, (uint8_t)(listed ? kListed : 0)};
  bool piece = continued || piece_next_;
  piece_next_ = len == kPieceBytes && line[len - 1] != '\n';
  if (piece) {
    // Part of the line before: its job and block, never a line of its own.
    rec.flags |= kContinued;
    if (n) {
      rec.job = lines_[n - 1].job;
      rec.flags |= lines_[n - 1].flags & kRecorded;
    }
    lines_.push_back(rec);
    return nullptr;
  }
  int index = xml_.find_item_index(line);
  if (index >= (int)items_.size()) index = -1;  // added after this diagnosis began
  rec.item = index;
  // The data model's running total of the listed lines, until the decision.
  if (index >= 0 && listed && items_[index].remedy >= 0)
    remedies_[items_[index].remedy]->add_score(items_[index].severity);

  const char *rest = nullptr;
  rec.job = job_of(line, len, &rest);
  bool debug = line[0] == 'D';
  bool header = debug && rec.job && starts(rest, kRecordedFrom);
  if (block_job_) {
    if (!debug || rec.job != block_job_ || header) {
      close_block();
    } else if (starts(rest, kEndOfMessages)) {
      close_block();
    } else {
      rec.flags |= kRecorded;
      uint64_t h = std::hash<std::string_view>()(std::string_view(line, len)) ^
                   ((uint64_t)rec.job * 0x9E3779B97F4A7C15ull);
      if (recorded_before_.count(h)) rec.flags |= kRepeated;
      block_.push_back(h);
    }
  }
  if (header) block_job_ = rec.job;
  lines_.push_back(rec);

  if (rec.job && starts(rest, kQueuedOn)) {
    std::string queue = queue_named(rest);
    if (!queue.empty()) job_queue_[rec.job] = subject(queue);
  }
  if (index >= 0 && items_[index].state != ErrorXMLItem::NoState) note_state(n, line, len);
  return index < 0 ? nullptr : xml_.items_[index];
}

void Diagnosis::note_state(size_t n, const char *line, size_t len) {
  ErrorXMLItem::State state = items_[lines_[n].item].state;
  int job = lines_[n].job;
  std::string queue = queue_named(line + kMessageColumn);
  std::string job_key;  // a job's own subject: no queue name holds '#'
  if (job) job_key = "#" + std::to_string(job);
  auto known = [this](const std::string &key) {
    auto it = subjects_.find(key);
    return it == subjects_.end() ? -1 : it->second;
  };
  auto undo = [this](int s) {
    auto it = pending_.find(s);
    if (it == pending_.end()) return;
    for (size_t k : it->second) lines_[k].flags |= kUndone;
    pending_.erase(it);
  };
  // A job line that names no queue speaks of its job's queue, else of the job.
  int s = -1;
  if (!queue.empty()) {
    s = state == ErrorXMLItem::Up ? known(queue) : subject(queue);
  } else if (job) {
    auto q = job_queue_.find(job);
    s = q != job_queue_.end() ? q->second
                              : state == ErrorXMLItem::Up ? known(job_key) : subject(job_key);
  }
  time_t t = 0;
  bool timed = line_time(line, len, &t);
  switch (state) {
    case ErrorXMLItem::Down:
      if (s >= 0) pending_[s].push_back(n);
      break;
    case ErrorXMLItem::Up:
      undo(s);
      if (job) undo(known(job_key));
      break;
    case ErrorXMLItem::Added: {
      if (queue.empty() || !timed) break;
      s = subject(queue);
      auto end = lookups_.upper_bound(t + kLookupWindow);
      for (auto it = lookups_.lower_bound(t - kLookupWindow); it != end;) {
        if (it->second.subject < 0 || it->second.subject == s) {
          lines_[it->second.line].flags |= kLookupMet;
          it = lookups_.erase(it);
        } else {
          ++it;
        }
      }
      added_.emplace(t, Stamp{n, s});
      break;
    }
    case ErrorXMLItem::Lookup: {
      if (!timed) break;
      // Only the queue the answer names; a job's queue is no lookup's.
      int asked = queue.empty() ? -1 : subject(queue);
      auto end = added_.upper_bound(t + kLookupWindow);
      for (auto it = added_.lower_bound(t - kLookupWindow); it != end; ++it)
        if (asked < 0 || it->second.subject == asked) {
          lines_[n].flags |= kLookupMet;
          return;
        }
      lookups_.emplace(t, Stamp{n, asked});
      break;
    }
    default:
      break;
  }
}

std::vector<Diagnosis::Standing> Diagnosis::rank(const std::vector<long long> &totals,
                                                 const std::vector<char> &cause) const {
  std::vector<size_t> order;
  for (size_t k = 0; k < scored_; k++)
    if (totals[k] > 0) order.push_back(k);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (cause[a] != cause[b]) return cause[a] > cause[b];
    return totals[a] > totals[b];
  });
  std::vector<Standing> out;
  for (size_t k : order) out.push_back({remedies_[k], clamp(totals[k]), cause[k] != 0});
  return out;
}

void Diagnosis::decide() const {
  if (decided_) return;
  size_t count = remedies_.size();
  // Index 0: the listed lines; 1: every line.
  std::vector<long long> totals[2] = {std::vector<long long>(count), std::vector<long long>(count)};
  std::vector<char> cause[2] = {std::vector<char>(count), std::vector<char>(count)};
  Tally tally[2];
  for (const Line &l : lines_) {
    if (l.flags & kContinued) continue;
    for (int pass = (l.flags & kListed) ? 0 : 1; pass < 2; pass++) {
      Tally &t = tally[pass];
      t.weighed++;
      if (l.item < 0) continue;
      const ItemInfo &info = items_[l.item];
      t.explained++;
      t.unknown += info.catch_all;
      if (info.remedy < 0) continue;
      int w = (l.flags & kDiscounted) ? 0 : info.severity;
      totals[pass][info.remedy] += w;
      if (w >= kCause && !info.catch_all) cause[pass][info.remedy] = 1;
    }
  }
  int pass = 0;
  standings_ = rank(totals[0], cause[0]);
  if (standings_.empty() || !standings_[0].cause) {
    std::vector<Standing> wider = rank(totals[1], cause[1]);
    if (!wider.empty() && wider[0].cause) {
      standings_.swap(wider);
      pass = 1;
    }
  }
  deeper_ = pass == 1;
  tally_ = tally[pass];
  for (size_t k = 0; k < count; k++) remedies_[k]->score = clamp(totals[pass][k]);

  leads_.clear();
  if (!standings_.empty()) {
    const ErrorXMLRemedy *winner = standings_[0].remedy;
    for (size_t i = 0; i < lines_.size(); i++) {
      const Line &l = lines_[i];
      if (l.item < 0 || (l.flags & (kContinued | kDiscounted))) continue;
      if (!deeper_ && !(l.flags & kListed)) continue;
      int r = items_[l.item].remedy;
      if (r >= 0 && remedies_[r] == winner) leads_.push_back(i);
    }
  }
  decided_ = true;
}

ErrorXMLRemedy *Diagnosis::best() const {
  decide();
  return standings_.empty() ? nullptr : standings_[0].remedy;
}

const std::vector<Diagnosis::Standing> &Diagnosis::standings() const {
  decide();
  return standings_;
}

std::vector<ErrorXMLRemedy *> Diagnosis::ranking() const {
  std::vector<ErrorXMLRemedy *> out;
  for (const Standing &s : standings()) out.push_back(s.remedy);
  return out;
}

bool Diagnosis::deeper() const {
  decide();
  return deeper_;
}

const std::vector<size_t> &Diagnosis::leads() const {
  decide();
  return leads_;
}

std::vector<size_t> Diagnosis::listed_leads() const {
  std::vector<size_t> out;
  for (size_t i : leads())
    if (listed(i)) out.push_back(i);
  return out;
}

std::vector<size_t> Diagnosis::unlisted_leads() const {
  std::vector<size_t> out;
  for (size_t i : leads())
    if (!listed(i)) out.push_back(i);
  return out;
}

size_t Diagnosis::weighed() const {
  decide();
  return tally_.weighed;
}

size_t Diagnosis::explained() const {
  decide();
  return tally_.explained;
}

size_t Diagnosis::unknown() const {
  decide();
  return tally_.unknown;
}

ErrorXMLItem *Diagnosis::item(size_t line) const {
  int i = lines_[line].item;
  return i < 0 ? nullptr : xml_.items_[i];
}

bool Diagnosis::discounted(size_t line) const { return lines_[line].flags & kDiscounted; }

int Diagnosis::weight(size_t line) const {
  const Line &l = lines_[line];
  if (l.item < 0 || (l.flags & (kContinued | kDiscounted))) return 0;
  return items_[l.item].severity;
}
