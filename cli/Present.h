// Present.h - what veklog-explain prints: each log line with what the
// knowledge base says of it, and Diagnose's answer; as text for people or
// as JSON Lines for scripts.
#ifndef CLI_PRESENT_H
#define CLI_PRESENT_H

#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "knowledge/ErrorXML.h"
#include "logread/HostGroups.h"

class Diagnosis;

struct PresentStyle {
  bool json = false;
  bool color = false;   // ANSI colours for levels and names (text only)
  bool remedy = false;  // each line's remedy text too
  bool utf8 = true;     // the terminal takes UTF-8 (list bullets)
  int width = 80;       // columns to wrap explanations at
  bool oldest_first = false;  // lines in the log's own order, not newest first
  bool brief = false;  // text: a line and its meaning on one line; no explanations or remedy texts
  std::string kb;      // the knowledge base file that explains the lines ("kb" in JSON)
  // Above the lines that point to the remedy but are not listed.
  std::string unlisted_heading = "Found in lines this view does not list:";
};

// Writes to `out`; the knowledge base must outlive it. Lines are given as
// the reader stores them (newline kept); control characters in them are
// shown as '?' in text, so a log line cannot steer the terminal.
class Presenter {
public:
  Presenter(ErrorXML &kb, std::ostream &out, const PresentStyle &style);

  // One log line and its explanation (or that the knowledge base does not
  // know it); with `brief`, its meaning on the same line. JSON records
  // carry the meaning ("meaning") either way.
  void line(const std::string &text);

  // That `file` was read only in part: what is wrong, and where in its
  // bytes (-1: not known). Only JSON records it; the text goes to standard
  // error, where the caller says it.
  void warning(const std::string &file, const std::string &damage, long long offset);

  // Weighs every line of the log, in file order, as the window's Diagnose
  // does; listed[i] tells whether the view lists lines[i]. Shows the remedy
  // it names (with its score and text), the next two, the listed lines that
  // point to the named one, and those the view does not list. Gives the
  // named remedy, or null when no line calls for one.
  const ErrorXMLRemedy *diagnose(const std::vector<std::string> &lines,
                                 const std::vector<bool> &listed);
  // A line that points to the remedy, and whether the view lists it.
  struct Quote {
    std::string_view text;
    bool listed;
  };
  // The same answer from a diagnosis already weighed (over this knowledge
  // base) and the lines that lead to its remedy, in file order.
  const ErrorXMLRemedy *diagnosis(const Diagnosis &d, const std::vector<Quote> &quoted);
  // One host's lines weighed as diagnose() weighs them: the remedy named
  // (rank 2 when a cause stands behind it, 1 without, 0 none), its score,
  // the error lines (X A C E) and the time of the last one. Prints nothing.
  HostRow host_row(const std::string &host, const std::vector<std::string> &lines,
                   const std::vector<bool> &listed);
  // The rows as given: a table, or one JSON record ("type":"host") each.
  void hosts(const std::vector<HostRow> &rows);
  // Text: the line that names the knowledge base file, after the lines it
  // explained. JSON records carry it in each record instead.
  void source();

private:
  ErrorXML &kb_;
  std::ostream &out_;
  PresentStyle style_;
  bool first_ = true;
  // Rendered texts by their HTML's address: a log repeats itself, and the
  // knowledge base's texts stay put while it lives.
  std::unordered_map<const char *, std::string> rendered_, meanings_;

  std::string paint(const std::string &text, const char *sgr) const;
  std::string log_text(const std::string &line) const;
  const std::string &render(const char *html);
  // The first sentence of the text, unwrapped.
  const std::string &meaning(const char *html);
  void separate();
};

// The line without its trailing newline (and carriage return).
std::string line_body(const std::string &line);

#endif
