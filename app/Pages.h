// Pages.h - the pane's documents that are not taken from the knowledge base:
// what keeps the log or the knowledge base from being used, the start page,
// the page of keys and a job's whole story. Knows neither the toolkit nor
// the knowledge base: the window hands each page the facts it shows.
#ifndef APP_PAGES_H
#define APP_PAGES_H

#include <stddef.h>

#include <string>
#include <vector>

// Appends text to out as HTML text: the characters that would start markup
// or an entity are written as entities. A log line carries text from network
// clients, and none of it may become markup in the pane.
void append_escaped(std::string &out, const char *text);

// What the pages say of the log and the knowledge base.
struct PaneFacts {
  std::string cwd;              // the working directory, for names looked for in it
  // The log.
  std::string path;             // as named; "" when the name given was empty
  bool name_too_long = false;   // the name did not fit, so no file was read
  bool failed = false;          // it cannot be read: errno and the reader's words
  int error = 0;
  std::string reason;
  bool compressed = false;
  bool damaged = false;         // compressed, and the data ended early or was corrupt
  std::string source;           // a journal's name ("the journal file F"); "" a log file
  std::string host;             // only this host's entries are shown; "" every host's
  std::string reason_chosen;    // why this source was chosen; "" it was named
  size_t parts = 0;             // rotated parts read before the log, as one history
  std::vector<std::string> notes;  // "F: why" for each rotated part that could not be read
  // The knowledge base.
  std::vector<std::string> kb_tried;  // the places looked in, in order
  std::string kb_loaded;              // the file read; "" none was found
  std::string kb_shown;               // the same as an absolute path
  std::vector<std::string> kb_ignored;  // "PATH: why" for each file passed over as untrusted
  std::string kb_refused;             // why the file was not read (its encoding); "" it was
  int kb_items = 0;                   // items it gave
  int kb_errors = 0;                  // entries that could not be read as written
};

// What keeps the log or the knowledge base from being used, or "" when
// nothing does.
std::string notice_page(const PaneFacts &facts);
// Diagnose's pages when there is nothing to weigh, or nothing to weigh it
// against.
std::string diagnose_unreadable_page(const PaneFacts &facts);
std::string diagnose_no_knowledge_page(const PaneFacts &facts);
// The line at the foot of an explanation or a diagnosis that names the
// knowledge base file it came from; "" when none was read.
std::string kb_foot(const PaneFacts &facts);

// What the start page shows of the log beside the facts above.
struct StartFacts {
  int level = 0;             // the level listed: 0 Errors, 1 Informational, 2 All
  std::string filter;        // the text the listed lines must hold; "" none
  size_t listed = 0;         // lines the list shows now, a long line once
  size_t at_level[3] = {0, 0, 0};  // lines of the whole log at each level
  size_t unknown = 0;        // error lines only a catch-all of the knowledge base takes
  size_t unjudged = 0;       // error lines not looked up yet
  std::string newest;        // the newest line's time as written; "" none has one
  bool following = false;    // new lines are shown as they are written
};

// The page the pane shows when no line is explained: what keeps the log or
// the knowledge base from being used, if anything; the log and what it
// holds; the keys that matter most.
std::string start_page(const PaneFacts &facts, const StartFacts &start);
// Every key of the window.
std::string keys_page();

// One line of a job's story.
struct StoryLine {
  std::string text;     // the line as stored (its first piece)
  std::string meaning;  // the one-line meaning (HTML text); "" when no item knows it
  bool recorded = false;  // from the job's recorded messages
  bool clicked = false;   // the line the pane explains
};
// A job's whole story and the remedy Diagnose names over its lines alone.
struct Story {
  int job = 0;
  std::vector<StoryLine> lines;  // oldest first
  size_t left_out = 0;           // older lines not shown
  std::string remedy;            // the remedy's name; "" when Diagnose names none
  std::string remedy_text;       // its HTML text
  int score = 0;
  bool same_remedy = false;      // the one the explanation above gives
};
// The section under an explanation that tells the job's story.
std::string story_section(const Story &story);

// The first sentence of an HTML text, as HTML text without markup, for a
// one-line meaning: up to the first full stop, question or exclamation mark
// that ends a sentence, cut at about 200 characters.
std::string first_sentence(const char *html);

#endif
