// KbCheck.cxx - the knowledge base checker: follows the reader line by line
// and says where the file and the reader part ways.
#include "knowledge/KbCheck.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <fstream>

#include "base/Levels.h"
#include "knowledge/ParsedPattern.h"

namespace {

// The level letters the print server writes.

bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum Tag { None, RemedyOpen, RemedyClose, ItemOpen, ItemClose, RemedyBad, ItemBad };

// What the author meant the line to be, whether or not the reader takes it so.
Tag tag_of(const char *p, const char **rest) {
  while (blank(*p)) p++;
  *rest = p;
  if (strncmp(p, "</remedy>", 9) == 0) return RemedyClose;
  if (strncmp(p, "</item>", 7) == 0) return ItemClose;
  if (strncmp(p, "<remedy", 7) == 0 && (!p[7] || blank(p[7]) || p[7] == '>')) {
    *rest = p + 8;
    return p[7] == ' ' ? RemedyOpen : RemedyBad;
  }
  if (strncmp(p, "<item", 5) == 0 && (!p[5] || blank(p[5]) || p[5] == '>')) {
    *rest = p + 6;
    return p[5] == ' ' ? ItemOpen : ItemBad;
  }
  return None;
}

// An attribute as written, with room for far more than the reader keeps.
std::string attr(const char *rest, const char *name, bool *present) {
  static char buffer[8192];
  *present = ErrorXML::get_attr(rest, name, buffer, sizeof buffer) != nullptr;
  return buffer;
}

std::string quoted(const std::string &s) { return "'" + s + "'"; }

bool is_integer(const std::string &s) {
  size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
  return i < s.size() && s.find_first_not_of("0123456789", i) == std::string::npos;
}

}  // namespace

void KbCheck::report(int line, bool error, const std::string &message, const std::string &file) {
  problems_.push_back({file.empty() ? path_ : file, line, error, message});
}

void KbCheck::open(const char *path, int error) {
  if (error == 0) {
    path_ = path;
    return;
  }
  // A file that is there but cannot be read says more than one that is not.
  if (tried_.empty() || open_error_ == ENOENT) {
    tried_ = path;
    open_error_ = error;
  }
}

std::vector<std::string> KbCheck::pattern_faults(const std::string &p) {
  ParsedPattern parsed = parse_pattern(p.c_str());
  std::vector<std::string> faults;
  for (const PatternFault &f : parsed.faults) {
    std::string at = " at column " + std::to_string(f.column + 1);
    switch (f.kind) {
      case PatternFault::UNCLOSED_SET:
        // Nothing after it matters: the set matches nothing.
        faults.push_back("'['" + at + " is never closed: the set matches nothing");
        return faults;
      case PatternFault::UNCLOSED_GROUP: faults.push_back("'{'" + at + " is never closed"); break;
      case PatternFault::STRAY_CLOSE:
        faults.push_back("'}'" + at + " closes no group: write \\} for a brace");
        break;
      case PatternFault::SEPARATOR_OUTSIDE:
        faults.push_back(std::string("unescaped '") + f.c + "'" + at +
                         " ends the pattern there: write \\" + f.c);
        break;
    }
  }
  // A closing brace keeps what ended its group: "{a*|b*}" still ends in a star.
  bool star_last = false;
  for (const PatternElement &e : parsed.elements)
    if (e.kind != PatternElement::CLOSE) star_last = e.kind == PatternElement::STAR;
  if (!star_last)
    faults.push_back("the pattern does not end in '*', so it cannot take the newline "
                     "that ends every log line");
  return faults;
}

void KbCheck::item_unclosed(const char *before) {
  if (item_line_ && !item_reported_)
    report(item_line_, true,
           std::string("item is not closed before ") + before + ": the reader drops it");
  item_line_ = 0;
}

void KbCheck::check_item_tag(const ErrorXMLStep &s, const char *rest) {
  bool present;
  std::string level = attr(rest, "level", &present);
  if (level.empty())
    report(s.line, false, "item has no level: it matches lines of every level");
  else if (level.size() > 1 || !strchr(kLevelLetters, level[0]))
    report(s.line, true, "level " + quoted(level) + " is not one of the letters " + kLevelLetters +
                             (level.size() > 1 ? " (the reader keeps only its first letter)"
                                               : ": the item matches no line"));
  item_level_ = level.empty() ? 0 : level[0];

  std::string severity = attr(rest, "severity", &present);
  int weight;
  if (severity.empty()) {
    report(s.line, true, "item has no severity: the reader drops it");
    item_reported_ = true;
  } else if (!ErrorXML::parse_severity(severity.c_str(), &weight)) {
    report(s.line, true, "severity " + quoted(severity) +
                             (is_integer(severity) ? " is outside -2147483648 to 2147483647"
                                                   : " is not a whole number") +
                             ": the reader drops the item");
    item_reported_ = true;
  }

  std::string pattern = attr(rest, "pattern", &present);
  item_pattern_ = pattern.substr(0, 255);
  // A backslash does not escape the attribute's own quote: the value ends
  // there and whatever follows joins it unquoted, up to the next blank.
  const char *at = strstr(rest, "pattern=");
  if (at && (at[8] == '"' || at[8] == '\'')) {
    const char *close = strchr(at + 9, at[8]);
    if (close && close[-1] == '\\') {
      report(s.line, true, std::string("the pattern's quote ends at the \\") + at[8] +
                               " at column " + std::to_string(close - s.text + 1) +
                               ": a backslash does not escape it; quote a pattern that holds " +
                               at[8] + " with " + (at[8] == '"' ? "'" : "\""));
      item_reported_ = true;
      return;
    }
  }
  if (pattern.empty()) {
    report(s.line, true, "item has no pattern: the reader drops it");
    item_reported_ = true;
    return;
  }
  if (pattern.size() > 255)
    report(s.line, true, "pattern is longer than 255 characters: the reader cuts it");
  for (const std::string &f : pattern_faults(pattern))
    report(s.line, true, "pattern " + quoted(pattern) + ": " + f);
}

void KbCheck::step(const ErrorXMLStep &s) {
  bool first_piece = !continuing_;
  continuing_ = s.cut;
  if (!first_piece) return;
  const char *rest;
  Tag tag = tag_of(s.text, &rest);
  if (tag == None) return;
  if (s.cut)
    report(s.line, true, "tag line is longer than 1023 characters: the reader cuts it there "
                         "and reads the rest as text");

  switch (tag) {
    case None:
      break;
    case RemedyBad:
    case ItemBad: {
      const char *what = tag == RemedyBad ? "<remedy" : "<item";
      report(s.line, true, std::string(what) + " must be followed by a blank and its attributes "
                           "on the same line: the reader takes this line as text");
      if (tag == RemedyBad) {
        item_unclosed("the next <remedy>");
        in_remedy_ = true;
        remedy_ = Remedy();
        remedy_.line = s.line;
        remedy_.reported = true;
      } else {
        item_unclosed("the next <item>");
        item_line_ = s.line;
        item_reported_ = true;
        remedy_.items++;
      }
      break;
    }
    case RemedyOpen: {
      item_unclosed("the next <remedy>");
      bool present;
      std::string name = attr(rest, "name", &present);
      if (s.rule != ErrorXMLStep::RemedyOpen) {
        // The reader still holds a remedy: this tag is text.
        if (in_remedy_ && !remedy_.reported)
          report(remedy_.line, true, "remedy " + quoted(remedy_.name) +
                 " is not closed before the <remedy> at line " + std::to_string(s.line) +
                 ": the reader takes that tag as text, loses its name and text, and gives its "
                 "items to " + quoted(remedy_.name));
        else if (!in_remedy_)
          report(s.line, true, "remedy " + quoted(name) + " starts while the remedy that an item "
                 "outside any remedy started is still open: the reader takes this tag as text");
      } else if (in_remedy_ && !remedy_.reported) {
        report(remedy_.line, remedy_.items > 0, "remedy " + quoted(remedy_.name) +
               " is not closed before the <remedy> at line " + std::to_string(s.line));
      }
      bool lost = s.rule != ErrorXMLStep::RemedyOpen;
      in_remedy_ = true;
      remedy_ = Remedy();
      remedy_.line = s.line;
      remedy_.name = name;
      remedy_.reported = lost;
      if (!lost && name.empty()) {
        report(s.line, true, "remedy has no name: the reader drops it with its items");
        remedy_.reported = true;
      } else if (!name.empty()) {
        if (name.size() > 127)
          report(s.line, false, "remedy name is longer than 127 characters: the reader cuts it");
        auto seen = names_.emplace(name, s.line);
        if (!seen.second)
          report(s.line, false, "remedy name " + quoted(name) + " is already used at line " +
                                    std::to_string(seen.first->second));
      }
      break;
    }
    case RemedyClose:
      item_unclosed("</remedy>");
      if (s.rule != ErrorXMLStep::RemedyClose) {
        if (!in_remedy_)
          report(s.line, false, "</remedy> closes no remedy");
        else if (!remedy_.reported && remedy_.items == 0)
          report(remedy_.line, false, "remedy " + quoted(remedy_.name) +
                                          " has no items: the reader drops it");
      }
      in_remedy_ = false;
      break;
    case ItemOpen:
      item_unclosed("the next <item>");
      item_line_ = s.line;
      item_reported_ = false;
      remedy_.items++;
      if (s.rule == ErrorXMLStep::ItemOpen) {
        if (!in_remedy_)
          report(s.line, true, "item is outside any remedy: the reader starts another remedy "
                               "named " + quoted(remedy_.name) + " for it");
        if (s.cut)
          item_reported_ = true;
        else
          check_item_tag(s, rest);
      } else {
        if (!in_remedy_)
          report(s.line, true, "item is outside any remedy: the reader drops it");
        else if (!remedy_.reported)
          report(s.line, true, "item comes before any text of remedy " + quoted(remedy_.name) +
                 ": the reader drops it and takes its lines for the remedy's text (put a line "
                 "of text, a blank one will do, between <remedy> and the first <item>)");
        item_reported_ = true;
      }
      break;
    case ItemClose:
      items_made_ += s.item != nullptr;
      if (s.rule == ErrorXMLStep::ItemClose) {
        if (!item_line_) {
          report(s.line, true, "</item> without its <item>: the reader makes a second copy of "
                               "the item at line " + std::to_string(last_item_line_));
        } else {
          if (s.item) item_lines_[s.item] = item_line_;
          auto seen = items_.emplace(std::make_pair(item_level_, item_pattern_), item_line_);
          if (!seen.second)
            report(item_line_, true, "item has the level and pattern of the item at line " +
                                         std::to_string(seen.first->second) +
                                         ", which comes first: this one never explains a line");
        }
      } else if (!item_line_) {
        report(s.line, false, "</item> closes no item");
      }
      if (item_line_) last_item_line_ = item_line_;
      item_line_ = 0;
      break;
  }
}

void KbCheck::refused(int line, const char *why) {
  report(line, true, std::string("the file is not read: ") + why);
}

void KbCheck::end(const ErrorXMLRemedy *unclosed) {
  item_unclosed("the end of the file");
  if (!items_made_)
    report(0, true, "the file yields no item: no line can be explained, and Diagnose names "
                    "nothing");
  if (in_remedy_ && !remedy_.reported) {
    if (unclosed)
      report(remedy_.line, true, "remedy " + quoted(remedy_.name) +
             " is never closed: its items explain lines, but Diagnose never names it");
    else
      report(remedy_.line, remedy_.items > 0,
             "remedy " + quoted(remedy_.name) + " is never closed");
  }
  in_remedy_ = false;
}

bool KbCheck::check_samples(ErrorXML &xml, const std::string &path, std::string *reason) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (reason) *reason = strerror(errno);
    return false;
  }
  std::string l;
  int number = 0, item_line = 0;
  ErrorXMLItem *item = nullptr;
  std::map<const ErrorXMLItem *, bool> told;  // one report per item
  while (std::getline(in, l)) {
    number++;
    if (l.empty() || l[0] == '#') continue;
    if (l.compare(0, 2, "@ ") == 0 && l.size() >= 4) {
      char level = l[2] == '-' ? 0 : l[2];
      std::string pattern = l.substr(4);
      item = nullptr;
      for (int i = 0; i < xml.num_items_ && !item; i++)
        if (xml.items_[i]->level == level && pattern == xml.items_[i]->pattern)
          item = xml.items_[i];
      if (!item)
        report(number, false, "no item of level " + std::string(1, l[2]) + " with the pattern " +
                                  quoted(pattern) + " in " + path_, path);
      item_line = item && item_lines_.count(item) ? item_lines_[item] : 0;
      continue;
    }
    if (!item || told[item]) continue;
    std::string line = l + "\n";
    ErrorXMLItem *got = xml.find_item(line.c_str());
    if (got == item) continue;
    told[item] = true;
    std::string where = path + ":" + std::to_string(number);
    if (got)
      report(item_line, true, "item is shadowed by the item at line " +
             std::to_string(item_lines_.count(got) ? item_lines_[got] : 0) +
             ", which explains its sample (" + where + ") first");
    else
      report(item_line, true, "item does not explain its own sample (" + where + ")");
  }
  return true;
}

std::vector<KbProblem> KbCheck::problems() const {
  std::vector<KbProblem> sorted = problems_;
  std::stable_sort(sorted.begin(), sorted.end(), [this](const KbProblem &a, const KbProblem &b) {
    bool a_kb = a.file == path_, b_kb = b.file == path_;
    if (a_kb != b_kb) return a_kb;
    if (a.file != b.file) return a.file < b.file;
    return a.line < b.line;
  });
  return sorted;
}

int KbCheck::errors() const {
  return (int)std::count_if(problems_.begin(), problems_.end(),
                            [](const KbProblem &p) { return p.error; });
}

int KbCheck::warnings() const { return (int)problems_.size() - errors(); }

std::string KbCheck::format(const KbProblem &p) {
  return p.file + (p.line ? ":" + std::to_string(p.line) : "") + ": " +
         (p.error ? "error" : "warning") + ": " + p.message;
}
