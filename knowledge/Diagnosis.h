// Diagnosis.h - Diagnose without a window: weighs every line of a log, in
// file order, against the knowledge base, with the rules of context, and
// names the most likely remedy, the ranking of the others and the lines that
// lead to the best one.
//
// The rules of context look at every line given, listed or not:
//   - a line whose item is a state "down" (a queue stopped, a printer that
//     did not answer) weighs nothing when a later "up" line for the same
//     queue undoes it (the queue started, one of its jobs completed);
//   - a "lookup" (a not-found answer for a queue) weighs nothing when that
//     queue (any queue, when the line names none) is "added" within 60
//     seconds either way;
//   - the lines of a job's recorded messages ("The following messages were
//     recorded from ..." to "End of messages") weigh as the lines they are,
//     and a line that an earlier block of the same job already gave counts
//     once;
//   - a piece that continues a long line weighs nothing and matches nothing.
// A remedy that a cause line (final weight 3 or more) points to ranks above
// every remedy that only lighter lines point to; within a rank the totals
// decide, then the order of the file; a total of 0 or less never ranks. The
// remedy for unknown messages (kUnknownRemedy) is never a cause.
//
// First the listed lines are weighed. When they name nothing, or a remedy no
// cause points to (a follow-on), every line is weighed, and a remedy a cause
// points to there is the answer ("the deeper look"); otherwise the listed
// result stands.
#ifndef KNOWLEDGE_DIAGNOSIS_H
#define KNOWLEDGE_DIAGNOSIS_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <time.h>

#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/LogLine.h"
#include "knowledge/ErrorXML.h"

// The remedy whose items take what no specific item knows (the catch-alls).
extern const char kUnknownRemedy[];
// True when only a catch-all knows the item's lines: it belongs to the
// remedy for unknown messages.
bool is_catch_all(const ErrorXMLItem *item);

// The totals live in the diagnosis, so several can exist over one knowledge
// base at once. The remedies' `score` members are the data model's view of
// the last one: a new diagnosis clears them, each listed line adds its item's
// severity as it comes, and the decision sets them to the totals it found.
// The knowledge base must outlive the diagnosis and must not change meanwhile.
class Diagnosis {
public:
  // A remedy's standing in a ranking.
  struct Standing {
    ErrorXMLRemedy *remedy;
    int total;   // its lines' final weights, stuck at the int limits
    bool cause;  // a line of weight 3 or more points to it
  };

  // What the diagnosis keeps of the lines given. Lines: a record of each
  // (12 bytes), for leads() and the readings of one line below. Counts:
  // the counts, and the few lines a rule passed over (discounted, repeated,
  // pieces), so that the room taken grows with those alone, not with the
  // log; leads() is then empty and a second reading of the same lines asks
  // leads_to() of each, and the readings of one line (item() to job()) are
  // not to be called.
  enum class Keep { Lines, Counts };

  // `lines`, when known, is how many lines will come: room is made at once.
  explicit Diagnosis(ErrorXML &xml, size_t lines = 0, Keep keep = Keep::Lines);

  // One line of the log as stored (newline kept), in file order; `listed`
  // when the view lists it. `continued` marks a piece that goes on the line
  // before; such a piece is also recognised without it (it follows a full
  // piece that had no newline). Gives the line's item (null for none and
  // for a piece). The text is not kept.
  ErrorXMLItem *weigh(const char *line, bool listed = true, bool continued = false) {
    if (!line) line = "";
    size_t len = strnlen(line, kPieceBytes + 1);
    if (len > kPieceBytes) len += strlen(line + len);  // given whole, not in pieces
    return weigh(line, len, listed, continued);
  }
  // The same for a line whose length (to its first NUL) the caller knows.
  ErrorXMLItem *weigh(const char *line, size_t len, bool listed, bool continued = false);

  // Weighs the lines given so far and fills the remedies' scores. Every
  // reading below decides first when lines came since the last decision.
  void decide() const;
  // No line is given after: decides, and lets go of what only weighing
  // needs (the rules' memory), so that what comes next has the room. The
  // readings stay.
  void close();

  // The answer: null when no remedy stands out.
  ErrorXMLRemedy *best() const;
  // The ranking of the pass that decided: remedies with a total above 0.
  const std::vector<Standing> &standings() const;
  // The same remedies alone: best() is ranking()[0].
  std::vector<ErrorXMLRemedy *> ranking() const;
  // True when the answer came from the deeper look.
  bool deeper() const;
  // The lines (0-based, in the order given) whose item leads to best() in
  // the deciding pass, whatever their own weight, less those a rule of
  // context discounted; and the same split by whether the view lists them.
  const std::vector<size_t> &leads() const;
  std::vector<size_t> listed_leads() const;
  std::vector<size_t> unlisted_leads() const;
  // How many lines lead to best(): leads().size() when the lines are kept.
  size_t lead_count() const;
  // Whether the line given as number `line`, listed or not as it was then,
  // whose item is `item` (find_item_index's answer for it), leads to best().
  bool leads_to(size_t line, int item, bool listed) const;

  // Counts of the deciding pass (the listed lines, or every line after the
  // deeper look): lines weighed (pieces of long lines not counted), of which
  // an item explained, of which only a catch-all did.
  size_t weighed() const;
  size_t explained() const;
  size_t unknown() const;

  // How many lines (and pieces) were given.
  size_t lines() const { return given_; }
  // Each line given, by its number (0-based, in the order given); Keep::Lines only.
  ErrorXMLItem *item(size_t line) const;
  int weight(size_t line) const;     // its final weight, after the rules of context
  bool discounted(size_t line) const;  // a rule of context took its weight
  bool listed(size_t line) const { return lines_[line].flags & kListed; }
  bool recorded(size_t line) const { return lines_[line].flags & kRecorded; }
  bool continued(size_t line) const { return lines_[line].flags & kContinued; }
  int job(size_t line) const { return lines_[line].job; }  // 0: none

private:
  // What can be read of a line without its neighbours: its item, its job,
  // and what the rules of context will want of it; weighing it then reads
  // only what a rule needs.
  struct Glance {
    enum : uint8_t {
      kOpenPiece = 1,      // a full piece without its end: the next line continues it
      kJobDebug = 2,       // a job's debug line
      kRecordedFrom = 4,   // ... that opens its recorded messages
      kEndOfMessages = 8,  // ... that closes them
      kQueuedOn = 16,      // a job's "Queued on" line
    };
    int32_t item;  // position in the knowledge base, -1 none
    int32_t job;
    uint8_t kind;
  };
  Glance glance(const char *line, size_t len) const;
  ErrorXMLItem *weigh(const char *line, const Glance &glance, bool listed, bool continued);

  enum Flag : uint8_t {
    kListed = 1,
    kRecorded = 2,     // between a job's "recorded" and "End of messages"
    kContinued = 4,    // a piece of the line before
    kUndone = 8,       // a down state a later line undid
    kRepeated = 16,    // a recorded line an earlier block gave
    kLookupMet = 32,   // a lookup whose queue was added within the minute
  };
  static const uint8_t kDiscounted = kUndone | kRepeated | kLookupMet;

  struct Line {
    int32_t item;  // position in the knowledge base, -1 none
    int32_t job;
    uint8_t flags;
  };
  // What the engine needs of each item, read once.
  struct ItemInfo {
    int severity;
    int remedy;   // position in remedies_, -1 none
    ErrorXMLItem::State state;
    bool catch_all;
  };
  // A line a rule of context may discount later: its number, item and
  // flags when it was given.
  struct Mark {
    size_t line;
    int32_t item;
    uint8_t flags;
  };
  // A lookup not yet met by an add, or an add: where and for which queue.
  struct Stamp {
    Mark mark;
    int subject;  // -1: names no queue
  };
  struct Tally {
    size_t weighed = 0, explained = 0, unknown = 0;
  };
  ErrorXML &xml_;
  std::vector<ItemInfo> items_;
  size_t scored_;  // remedies that rank: the first scored_ of remedies_
  std::vector<ErrorXMLRemedy *> remedies_;  // by position: the scored ones, then the orphans
  bool keep_lines_;
  std::vector<Line> lines_;  // Keep::Lines: every line's record
  size_t given_ = 0;
  Line last_ = {-1, 0, 0};   // the record of the line given last
  // Keep::Counts: the lines that lead nowhere whatever their item (sorted
  // at the decision).
  mutable std::vector<size_t> passed_;

  // Weighing state. Index 0 of the counts: the listed lines; 1: every line.
  size_t weighed_[2] = {0, 0};
  std::vector<size_t> seen_[2];        // by item: its lines
  std::vector<size_t> discounted_[2];  // by item: those a rule of context took the weight of
  bool piece_next_ = false;  // the last line given was a full piece without its end
  std::unordered_map<std::string, int> subjects_;         // queue -> subject
  std::unordered_map<int, int> job_subjects_;              // a job of no known queue -> subject
  struct Recent {
    std::string name;  // folded
    int subject = -1;
  };
  static const size_t kRecent = 8;
  Recent recent_[kRecent];  // the queues named last
  size_t next_recent_ = 0;
  std::unordered_map<int, int> job_queue_;                // job -> queue subject
  std::unordered_map<int, std::vector<Mark>> pending_;    // subject -> down lines not yet undone
  std::multimap<time_t, Stamp> lookups_, added_;  // by the line's time
  int block_job_ = 0;                              // the job whose recorded block is open
  std::vector<uint64_t> block_;                    // that block's lines so far
  std::unordered_set<uint64_t> recorded_before_;   // lines of earlier blocks

  // The decision.
  mutable bool decided_ = false;
  mutable bool deeper_ = false;
  mutable std::vector<Standing> standings_;
  mutable std::vector<size_t> leads_;
  mutable size_t lead_count_ = 0;
  mutable Tally decided_tally_;

  // The subject of a queue's name (as written: case does not count); when
  // it has none yet, a new one, or -1 unless `make`.
  int subject(std::string_view name, bool make = true);
  void note_state(const Mark &m, int job, const char *line, size_t len);
  void close_block();
  // A rule of context takes the line's weight.
  void discount(const Mark &m, Flag why);
  void pass_over(size_t line) {
    if (!keep_lines_) passed_.push_back(line);
  }
  void weigh_piece(Line rec);
  // A job's line, or any line while a job's recorded block is open.
  void weigh_job_line(const char *line, const Glance &g, Line &rec);
  std::vector<Standing> rank(const std::vector<long long> &totals,
                             const std::vector<char> &cause) const;
};

// The queue a log message names, in the shapes the server writes
// (Printer "Q", Printer \"Q\", printer 'Q', /printers/Q, /classes/Q,
// [Printer Q], Queued on "Q", Setting Q printer-...), folded to lower case;
// "" when it names none. `message` is the line from its message part.
std::string queue_named(const char *message);

#endif
