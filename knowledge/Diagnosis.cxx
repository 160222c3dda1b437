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

// Byte by byte, inline: most lines are compared with one prefix or two, and
// the end of a shorter text is a mismatch like any other.
template <size_t N>
bool starts(const char *s, const char (&prefix)[N]) {
  for (size_t i = 0; i + 1 < N; i++)
    if (s[i] != prefix[i]) return false;
  return true;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

bool starts_folded(const char *s, const char *prefix) {
  for (; *prefix; s++, prefix++)
    if (lower(*s) != *prefix) return false;
  return true;
}

bool alnum(char c) { return (c >= '0' && c <= '9') || (lower(c) >= 'a' && lower(c) <= 'z'); }

// Queue names are at most 127 characters.
const size_t kNameMax = 127;

// A queue's name as the line writes it (not yet folded to lower case).
using Name = std::string_view;

// The name from p to the first of the stop characters, or the end of the
// line; empty when it is longer than a queue's name.
Name name_until(const char *p, const char *stops, const char **end) {
  size_t n = strcspn(p, stops);
  *end = p + n;
  return n > kNameMax ? Name() : Name(p, n);
}

// A quoted name at p, as the server quotes it: "Q", \"Q\", 'Q' or \'Q\'.
Name quoted_name(const char *p) {
  bool escaped = *p == '\\';
  if (escaped) p++;
  char quote = *p;
  if (quote != '"' && quote != '\'') return Name();
  const char stops[] = {quote, '\n', escaped ? '\\' : quote, 0};
  const char *end;
  Name name = name_until(p + 1, stops, &end);
  bool closed = escaped ? end[0] == '\\' && end[1] == quote : *end == quote;
  return closed ? name : Name();
}

// A name that runs to the next character no queue name holds.
Name bare_name(const char *p, const char *stops) {
  const char *end;
  return name_until(p, stops, &end);
}

std::string folded(Name name) {
  std::string out(name);
  for (char &c : out) c = lower(c);
  return out;
}

// "[Job N] " at the message part: N, and where the rest starts; 0 when none.
int job_of(const char *line, size_t len, const char **rest) {
  if (len < kMessageColumn + sizeof kJobPrefix) return 0;
  const char *p = line + kMessageColumn;
  if (!starts(p, kJobPrefix)) return 0;
  p += sizeof kJobPrefix - 1;
  int n = 0;
  const char *digits = p;
  for (; *p >= '0' && *p <= '9' && p - digits < 9; p++) n = n * 10 + (*p - '0');
  if (p == digits || p[0] != ']' || p[1] != ' ' || n <= 0) return 0;
  *rest = p + 2;
  return n;
}

int clamp(long long v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v; }

// The queue a message names, as written; empty when it names none.
Name queue_span(const char *m) {
  if (!m) return Name();
  if (starts(m, "[Printer ")) {
    Name name = bare_name(m + 9, "]\n");
    if (m[9 + name.size()] == ']') return name;
  }
  if (starts(m, "Setting ")) {
    Name name = bare_name(m + 8, " \n");
    const char *after = m + 8 + name.size();
    if (!name.empty() && (starts(after, " printer-") || starts(after, " device-uri ") ||
                          starts(after, " port-monitor ")))
      return name;
  }
  // A quoted name follows one of these words; a URI names its queue after
  // one of its directories.
  static const struct {
    const char *word;
    size_t len;
  } kWords[] = {{"printer ", 8}, {"class ", 6}, {"destination ", 12}, {"queued on ", 10},
                {"jobs on ", 8}};
  for (const char *p = m; *(p += strcspn(p, "\"'/\n")) && *p != '\n'; p++) {
    if (*p == '/') {
      const char *after = starts(p, "/printers/") ? p + 10 : starts(p, "/classes/") ? p + 9 : 0;
      Name name = after ? bare_name(after, "\"' \t\r\n?#()\\,;]/") : Name();
      if (!name.empty()) return name;
      continue;
    }
    const char *quote = p > m && p[-1] == '\\' ? p - 1 : p;
    for (const auto &w : kWords) {
      const char *word = quote - w.len;
      if (quote - m < (ptrdiff_t)w.len || !starts_folded(word, w.word) ||
          (word > m && alnum(word[-1])))
        continue;
      Name name = quoted_name(quote);
      if (!name.empty()) return name;
    }
  }
  return Name();
}

}  // namespace

std::string queue_named(const char *m) { return folded(queue_span(m)); }

Diagnosis::Diagnosis(ErrorXML &xml, size_t lines, Keep keep)
    : xml_(xml), keep_lines_(keep == Keep::Lines) {
  xml_.clear_scores();
  if (keep_lines_) lines_.reserve(lines);
  job_queue_.reserve(lines / 32);
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
  for (int pass = 0; pass < 2; pass++) {
    seen_[pass].assign((size_t)xml.num_items_, 0);
    discounted_[pass].assign((size_t)xml.num_items_, 0);
  }
  for (int i = 0; i < xml.num_items_; i++) {
    const ErrorXMLItem *item = xml.items_[i];
    auto found = position.find(item->remedy);
    items_.push_back({item->severity, found == position.end() ? -1 : found->second, item->state,
                      is_catch_all(item)});
  }
}

int Diagnosis::subject(std::string_view raw, bool make) {
  // A log names the same few queues over and over: those named last are
  // compared as written, before any is folded and hashed.
  for (const Recent &r : recent_) {
    if (r.subject < 0 || r.name.size() != raw.size()) continue;
    size_t i = 0;
    while (i < raw.size() && lower(raw[i]) == r.name[i]) i++;
    if (i == raw.size()) return r.subject;
  }
  std::string name = folded(raw);
  auto it = subjects_.find(name);
  int s;
  if (it != subjects_.end()) {
    s = it->second;
  } else {
    if (!make) return -1;
    s = (int)(subjects_.size() + job_subjects_.size());
    subjects_.emplace(name, s);
  }
  Recent &slot = recent_[next_recent_++ % kRecent];
  slot.name = std::move(name);
  slot.subject = s;
  return s;
}

void Diagnosis::close_block() {
  recorded_before_.insert(block_.begin(), block_.end());
  block_.clear();
  block_job_ = 0;
}

Diagnosis::Glance Diagnosis::glance(const char *line, size_t len) const {
  Glance g = {xml_.find_item_index(line, len), 0, 0};
  if (g.item >= (int)items_.size()) g.item = -1;  // added after this diagnosis began
  if (len == kPieceBytes && line[len - 1] != '\n') g.kind |= Glance::kOpenPiece;
  const char *rest = nullptr;
  g.job = job_of(line, len, &rest);
  if (g.job) {
    if (line[0] == 'D') {
      g.kind |= Glance::kJobDebug;
      if (starts(rest, kRecordedFrom)) g.kind |= Glance::kRecordedFrom;
      if (starts(rest, kEndOfMessages)) g.kind |= Glance::kEndOfMessages;
    }
    if (starts(rest, kQueuedOn)) g.kind |= Glance::kQueuedOn;
  }
  return g;
}

ErrorXMLItem *Diagnosis::weigh(const char *line, size_t len, bool listed, bool continued) {
  if (!continued && !piece_next_) return weigh(line, glance(line, len), listed, false);
  // A piece is never looked up: whatever it says, it is no line of its own.
  Glance piece = {-1, 0, 0};
  if (len == kPieceBytes && line[len - 1] != '\n') piece.kind = Glance::kOpenPiece;
  return weigh(line, piece, listed, continued);
}

ErrorXMLItem *Diagnosis::weigh(const char *line, const Glance &g, bool listed, bool continued) {
  decided_ = false;
  Line rec = {-1, 0, (uint8_t)(listed ? kListed : 0)};
  bool piece = continued || piece_next_;
  piece_next_ = g.kind & Glance::kOpenPiece;
  if (piece) {
    weigh_piece(rec);
    return nullptr;
  }
  int index = g.item;
  rec.item = index;
  rec.job = g.job;
  weighed_[1]++;
  weighed_[0] += listed;
  if (block_job_ || (g.kind & (Glance::kJobDebug | Glance::kQueuedOn))) weigh_job_line(line, g, rec);
  size_t n = given_++;
  if (keep_lines_) lines_.push_back(rec);
  last_ = rec;
  if (index < 0) return nullptr;

  const ItemInfo &info = items_[index];
  seen_[1][index]++;
  seen_[0][index] += listed;
  if (rec.flags & kRepeated) discounted_[1][index]++, discounted_[0][index] += listed;
  // The data model's running total of the listed lines, until the decision.
  if (listed && info.remedy >= 0) remedies_[info.remedy]->add_score(info.severity);
  if (rec.flags & kRepeated) pass_over(n);
  if (info.state != ErrorXMLItem::NoState)
    note_state(Mark{n, index, rec.flags}, rec.job, line, strlen(line));
  return xml_.items_[index];
}

void Diagnosis::weigh_piece(Line rec) {
  // Part of the line before: its job and block, never a line of its own.
  rec.flags |= kContinued;
  if (given_) {
    rec.job = last_.job;
    rec.flags |= last_.flags & kRecorded;
  }
  pass_over(given_++);
  if (keep_lines_) lines_.push_back(rec);
  last_ = rec;
}

void Diagnosis::weigh_job_line(const char *line, const Glance &g, Line &rec) {
  bool header = g.kind & Glance::kRecordedFrom;
  if (block_job_) {
    if (!(g.kind & Glance::kJobDebug) || rec.job != block_job_ || header) {
      close_block();
    } else if (g.kind & Glance::kEndOfMessages) {
      close_block();
    } else {
      rec.flags |= kRecorded;
      uint64_t h = std::hash<std::string_view>()(std::string_view(line)) ^
                   ((uint64_t)rec.job * 0x9E3779B97F4A7C15ull);
      if (recorded_before_.count(h)) rec.flags |= kRepeated;
      block_.push_back(h);
    }
  }
  if (header) block_job_ = rec.job;
  if (g.kind & Glance::kQueuedOn) {
    const char *rest = nullptr;
    job_of(line, strlen(line), &rest);
    Name queue = quoted_name(rest + sizeof kQueuedOn - 1);
    if (!queue.empty()) job_queue_[rec.job] = subject(queue);
  }
}

void Diagnosis::note_state(const Mark &mark, int job, const char *line, size_t len) {
  ErrorXMLItem::State state = items_[mark.item].state;
  Name queue = queue_span(line + kMessageColumn);
  // A job's own subject, when its queue is not known.
  auto job_subject = [this](int j, bool make) {
    auto it = job_subjects_.find(j);
    if (it != job_subjects_.end()) return it->second;
    if (!make) return -1;
    int s = (int)(subjects_.size() + job_subjects_.size());
    job_subjects_.emplace(j, s);
    return s;
  };
  auto undo = [this](int s) {
    auto it = pending_.find(s);
    if (it == pending_.end()) return;
    for (const Mark &m : it->second) discount(m, kUndone);
    it->second.clear();  // kept for the queue's next stop
  };
  // A job line that names no queue speaks of its job's queue, else of the job.
  int s = -1;
  if (!queue.empty()) {
    s = subject(queue, state != ErrorXMLItem::Up);
  } else if (job) {
    auto q = job_queue_.find(job);
    s = q != job_queue_.end() ? q->second : job_subject(job, state != ErrorXMLItem::Up);
  }
  time_t t = 0;
  bool timed = (state == ErrorXMLItem::Added || state == ErrorXMLItem::Lookup) &&
               line_time(line, len, &t);
  switch (state) {
    case ErrorXMLItem::Down:
      if (s >= 0) pending_[s].push_back(mark);
      break;
    case ErrorXMLItem::Up:
      undo(s);
      if (job) undo(job_subject(job, false));
      break;
    case ErrorXMLItem::Added: {
      if (queue.empty() || !timed) break;
      s = subject(queue);
      auto end = lookups_.upper_bound(t + kLookupWindow);
      for (auto it = lookups_.lower_bound(t - kLookupWindow); it != end;) {
        if (it->second.subject < 0 || it->second.subject == s) {
          discount(it->second.mark, kLookupMet);
          it = lookups_.erase(it);
        } else {
          ++it;
        }
      }
      added_.emplace(t, Stamp{mark, s});
      break;
    }
    case ErrorXMLItem::Lookup: {
      if (!timed) break;
      // Only the queue the answer names; a job's queue is no lookup's.
      int asked = queue.empty() ? -1 : subject(queue);
      auto end = added_.upper_bound(t + kLookupWindow);
      for (auto it = added_.lower_bound(t - kLookupWindow); it != end; ++it)
        if (asked < 0 || it->second.subject == asked) {
          discount(mark, kLookupMet);
          return;
        }
      lookups_.emplace(t, Stamp{mark, asked});
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

void Diagnosis::discount(const Mark &m, Flag why) {
  // A mark is discounted once (its list lets it go), but a repeated line
  // came discounted.
  uint8_t flags = m.flags;
  if (keep_lines_) {
    Line &l = lines_[m.line];
    flags = l.flags;
    l.flags |= why;
  } else if (!(flags & kDiscounted)) {
    pass_over(m.line);
  }
  if (m.item >= 0 && !(flags & kDiscounted)) {
    discounted_[1][m.item]++;
    if (flags & kListed) discounted_[0][m.item]++;
  }
}

void Diagnosis::decide() const {
  if (decided_) return;
  size_t count = remedies_.size();
  // Index 0: the listed lines; 1: every line.
  std::vector<long long> totals[2] = {std::vector<long long>(count), std::vector<long long>(count)};
  std::vector<char> cause[2] = {std::vector<char>(count), std::vector<char>(count)};
  Tally tally[2];
  for (size_t i = 0; i < items_.size(); i++) {
    const ItemInfo &info = items_[i];
    for (int pass = 0; pass < 2; pass++) {
      tally[pass].explained += seen_[pass][i];
      if (info.catch_all) tally[pass].unknown += seen_[pass][i];
      long long n = (long long)seen_[pass][i] - discounted_[pass][i];  // lines that keep their weight
      if (info.remedy < 0) continue;
      totals[pass][info.remedy] += n * info.severity;
      if (n > 0 && info.severity >= kCause && !info.catch_all) cause[pass][info.remedy] = 1;
    }
  }
  for (int pass = 0; pass < 2; pass++) tally[pass].weighed = weighed_[pass];
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
  decided_tally_ = tally[pass];
  for (size_t k = 0; k < count; k++) remedies_[k]->score = clamp(totals[pass][k]);

  leads_.clear();
  lead_count_ = 0;
  if (!standings_.empty()) {
    // The items whose lines lead to the answer, then those lines.
    const ErrorXMLRemedy *winner = standings_[0].remedy;
    std::vector<char> leading(items_.size());
    for (size_t i = 0; i < items_.size(); i++) {
      leading[i] = items_[i].remedy >= 0 && remedies_[items_[i].remedy] == winner;
      if (leading[i]) lead_count_ += seen_[pass][i] - discounted_[pass][i];
    }
    uint8_t skip = kContinued | kDiscounted;
    for (size_t i = 0; i < lines_.size(); i++) {
      const Line &l = lines_[i];
      if (l.item < 0 || (l.flags & skip) || !leading[l.item]) continue;
      if (deeper_ || (l.flags & kListed)) leads_.push_back(i);
    }
  }
  std::sort(passed_.begin(), passed_.end());
  decided_ = true;
}

size_t Diagnosis::lead_count() const {
  decide();
  return lead_count_;
}

bool Diagnosis::leads_to(size_t line, int item, bool listed) const {
  decide();
  if (standings_.empty() || item < 0 || (size_t)item >= items_.size() || line >= given_) return false;
  int r = items_[(size_t)item].remedy;
  if (r < 0 || remedies_[(size_t)r] != standings_[0].remedy || !(deeper_ || listed)) return false;
  if (keep_lines_) return lines_[line].item == item && !(lines_[line].flags & (kContinued | kDiscounted));
  return !std::binary_search(passed_.begin(), passed_.end(), line);
}

void Diagnosis::close() {
  decide();
  // Swapped with empty ones: clear() keeps the room.
  decltype(pending_)().swap(pending_);
  decltype(lookups_)().swap(lookups_);
  decltype(added_)().swap(added_);
  decltype(recorded_before_)().swap(recorded_before_);
  std::vector<uint64_t>().swap(block_);
  decltype(job_queue_)().swap(job_queue_);
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
  return decided_tally_.weighed;
}

size_t Diagnosis::explained() const {
  decide();
  return decided_tally_.explained;
}

size_t Diagnosis::unknown() const {
  decide();
  return decided_tally_.unknown;
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
