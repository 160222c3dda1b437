// ErrorXML.h - the knowledge base of known log messages: remedies, the items
// that recognise log lines and point to them, and the reader of "errors.xml".
#ifndef KNOWLEDGE_ERRORXML_H
#define KNOWLEDGE_ERRORXML_H

#include <limits.h>
#include <stddef.h>
#include <stdio.h>

#include <string>

#include "knowledge/ItemIndex.h"
#include "knowledge/KbLookup.h"

// What to do about a kind of trouble. Owns copies of its name and text
// (HTML), freed by its destructor.
class ErrorXMLRemedy {
public:
  int score;   // Diagnose's running total: the last Diagnosis's (knowledge/Diagnosis.h)
  char *name;  // name from the file
  char *text;  // HTML: what to do

  ErrorXMLRemedy(const char *name, const char *text);
  ~ErrorXMLRemedy();
  // Adds one line's weight; the total sticks at the int limits instead of
  // wrapping, since the weights come from the file.
  void add_score(int severity) {
    long long sum = (long long)score + severity;
    score = sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : (int)sum;
  }
  ErrorXMLRemedy(const ErrorXMLRemedy &) = delete;
  ErrorXMLRemedy &operator=(const ErrorXMLRemedy &) = delete;
};

// One kind of log line. Owns copies of its pattern and text; the remedy
// belongs to the knowledge base and outlives the item.
class ErrorXMLItem {
public:
  int severity;            // added to the remedy's score per matching line
  char level;              // level letter the line starts with; 0: any
  char *pattern;           // pattern for the message part (knowledge/pattern.h)
  char *text;              // HTML: what the message means
  ErrorXMLRemedy *remedy;  // not owned

  // What a matching line tells of the queue it names (the file's state
  // attribute), for Diagnose's rules of context (knowledge/Diagnosis.h).
  enum State {
    NoState,
    Down,    // a state a later Up line for the same queue undoes
    Up,      // the queue works again
    Added,   // the queue was created
    Lookup   // a "not found" answer for a queue
  };
  State state;             // NoState unless the file says otherwise

  ErrorXMLItem(int severity, char level, const char *pattern, const char *text,
               ErrorXMLRemedy *remedy);
  // The state named by a state attribute's value; NoState for any other.
  static State state_named(const char *value);
  ~ErrorXMLItem();
  ErrorXMLItem(const ErrorXMLItem &) = delete;
  ErrorXMLItem &operator=(const ErrorXMLItem &) = delete;
};

// What the reader of errors.xml made of one line of the file (see load).
struct ErrorXMLStep {
  enum Rule { RemedyOpen, RemedyClose, ItemOpen, ItemClose, Text } rule;
  int line;            // the line's number in the file, from 1
  const char *text;    // the line as read, or a piece of one longer than 1023 characters
  bool cut;            // the line goes on in the next piece
  bool in_remedy;      // a remedy was current before this line
  size_t text_len;     // the length of the text gathered before this line
  ErrorXMLItem *item;  // ItemClose: the item made, null when it could not be kept
};

// Watches a load, for checkers of the file; load reads the same without one.
class ErrorXMLObserver {
public:
  virtual ~ErrorXMLObserver() = default;
  // One try to open the file: error is 0 for the file that is read, else errno.
  virtual void open(const char *path, int error) = 0;
  virtual void step(const ErrorXMLStep &step) = 0;
  // The end of the file; unclosed is the remedy whose closing tag never came.
  virtual void end(const ErrorXMLRemedy *unclosed) = 0;
  // The file was opened but not read: `why` names its encoding, `line` is
  // where the first byte that gave it away stands. No step or end follows.
  virtual void refused(int line, const char *why) { (void)line, (void)why; }
};

// The knowledge base. Owns its items and remedies; nothing is ever removed,
// so pointers it hands out live as long as it does.
class ErrorXML {
public:
  int num_items_;
  int alloc_items_;
  ErrorXMLItem **items_;         // in file order
  int num_remedies_;
  int alloc_remedies_;
  ErrorXMLRemedy **remedies_;    // in the order their closing tags came

  // Remedies whose closing tag never came: their items point to them, so they
  // are kept aside here and deleted with the knowledge base. Never scored.
  int num_orphans_;
  int alloc_orphans_;
  ErrorXMLRemedy **orphans_;

  // Lookup index, so that find_item tries only items that can match. Each
  // item's pattern is compiled into it when the item is added, so an item's
  // pattern must not be changed afterwards.
  ItemIndex index_;

  // Creates the knowledge base and fills it from `filename` (see load). A
  // null filename gives an empty knowledge base.
  explicit ErrorXML(const char *filename);
  ~ErrorXML();
  ErrorXML(const ErrorXML &) = delete;
  ErrorXML &operator=(const ErrorXML &) = delete;

  // Append, taking ownership. An item or remedy that cannot be stored (no
  // memory) is deleted at once.
  void add_item(ErrorXMLItem *item);
  void add_remedy(ErrorXMLRemedy *remedy);

  // The first item, in file order, whose level letter fits the line's first
  // character and whose pattern matches the message part (column 31 to the
  // end, newline included). Lines shorter than 31 characters match nothing.
  ErrorXMLItem *find_item(const char *line);
  // The same item's position in items_, or -1; `len` is the line's length
  // when the caller knows it.
  int find_item_index(const char *line);
  int find_item_index(const char *line, size_t len);
  // The first remedy named exactly `name`, or null.
  ErrorXMLRemedy *find_remedy(const char *name);
  // Adds the severity of the line's item, if any, to that item's remedy, and
  // gives that item (null when none explains the line). Diagnose weighs its
  // lines with this (knowledge/Diagnosis.h).
  ErrorXMLItem *score_item(const char *line);
  void clear_scores();
  // The remedy with the highest score above 0 (the earliest of equals), or null.
  ErrorXMLRemedy *best_remedy();

  // Builds the lookup tables of find_item now rather than at its next call.
  void build_index();

  // Reads the knowledge base file and adds what it holds, the file being
  // the first usable one that KbLookup::find gives for `path` (a file in the
  // working directory only when no one else could have put it there). Odd
  // lines become text. A UTF-8 byte-order mark at the start of the file is
  // skipped; a line ends at a newline, a carriage return and newline, or a
  // lone carriage return. A file in UTF-16 or UTF-32, or holding a NUL byte
  // anywhere, is refused whole (refused_ says why). An observer is told each
  // try to open and what became of each line.
  void load(const char *path, ErrorXMLObserver *observer = nullptr);
  // The same for exactly the file named, as a user names it: no other place.
  void load_file(const char *path, ErrorXMLObserver *observer = nullptr);
  // Where the last load looked, what it passed over and what it read.
  KbLookup lookup_;
  // Why the file that opened was not read ("" when it was, or none opened):
  // its encoding, e.g. "it is UTF-16 (little-endian), not UTF-8".
  std::string refused_;
  // Looks up attribute `attr_name` on a tag line (`tag_rest` is the line
  // after the tag). Leaves its value, cut to size - 1 characters, in buffer
  // and returns buffer; returns null (buffer empty) when it is absent.
  static char *get_attr(const char *tag_rest, const char *attr_name,
                        char *buffer, int size);
  // A severity as the file writes it: a decimal integer, with an optional
  // sign, that an int holds. False for anything else (the item is not taken).
  static bool parse_severity(const char *text, int *value);

private:
  void read(FILE *fp, ErrorXMLObserver *observer);
};

#endif
