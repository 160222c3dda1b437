// KbCheck.h - finds what the reader of errors.xml would drop or misread
// without a word: lost items and remedies, attributes it cannot use,
// patterns that can never match a log line, items hidden by earlier ones.
#ifndef KNOWLEDGE_KBCHECK_H
#define KNOWLEDGE_KBCHECK_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "knowledge/ErrorXML.h"

struct KbProblem {
  std::string file;
  int line = 0;  // 0: the file as a whole
  bool error = true;  // an entry is lost or can never match; else a warning
  std::string message;
};

// Watches ErrorXML::load and compares what the file's tags say with what the
// reader made of them; each fault is reported once, on the line it starts at.
//
//   ErrorXML xml(nullptr);
//   KbCheck check;
//   xml.load("errors.xml", &check);      // the knowledge base, and its problems
//   check.check_samples(xml, "item_lines.txt");
//
// A KbCheck checks one load.
class KbCheck : public ErrorXMLObserver {
public:
  void open(const char *path, int error) override;
  void step(const ErrorXMLStep &s) override;
  void end(const ErrorXMLRemedy *unclosed) override;
  void refused(int line, const char *why) override;

  // Reads sample log lines ("@ L pattern" names an item by its level letter
  // and pattern as written; the log lines after it are its samples) and
  // reports each item that does not explain its own samples, naming the
  // item that does. Returns false, with the reason, when the file cannot be
  // read. Call after the load, with the knowledge base it filled.
  bool check_samples(ErrorXML &xml, const std::string &path, std::string *reason);

  // The file that was read, "" when none opened; then open_error() is the
  // errno of the most telling failure (anything but ENOENT first) and
  // tried() the path it belongs to.
  const std::string &path() const { return path_; }
  int open_error() const { return open_error_; }
  const std::string &tried() const { return tried_; }

  // Sorted by file (the knowledge base first) and line.
  std::vector<KbProblem> problems() const;
  int errors() const;
  int warnings() const;

  // "FILE:LINE: error: message", as compilers write it; a fault of the
  // whole file (line 0) is "FILE: error: message".
  static std::string format(const KbProblem &p);

  // The faults of a pattern that make it miss lines it was written for:
  // an unclosed set or group, a stray '}', a ',' or '|' outside a group
  // (it ends the pattern there), no final '*' to take the line's newline.
  static std::vector<std::string> pattern_faults(const std::string &pattern);

private:
  struct Remedy {
    int line = 0;
    std::string name;
    bool reported = false;  // its loss is already reported
    int items = 0;          // item tags inside it
  };

  std::string path_, tried_;
  int open_error_ = 0;
  std::vector<KbProblem> problems_;
  bool continuing_ = false;  // the last piece read was cut: the next continues its line

  bool in_remedy_ = false;  // between a remedy's tags, as the file is written
  Remedy remedy_;
  int item_line_ = 0;       // an item tag is open at this line
  bool item_reported_ = false;
  int last_item_line_ = 0;
  char item_level_ = 0;
  std::string item_pattern_;

  std::map<std::string, int> names_;                   // remedy name -> first line
  std::map<std::pair<char, std::string>, int> items_;  // level, pattern -> first line
  std::map<const ErrorXMLItem *, int> item_lines_;
  int items_made_ = 0;  // items the reader took

  void report(int line, bool error, const std::string &message, const std::string &file = "");
  void check_item_tag(const ErrorXMLStep &s, const char *rest);
  void item_unclosed(const char *before);
};

#endif
