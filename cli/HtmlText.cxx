// HtmlText.cxx - renders knowledge base HTML as wrapped terminal text, walking
// the tree that libxml2's HTML parser builds.
#include "cli/HtmlText.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <ctype.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <vector>

namespace {

bool is_space(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Appends s to out with control characters (C0, DEL and the C1 range, which
// some terminals obey in UTF-8 too) shown as '?'. Tabs stay when keep_tabs.
void append_safe(std::string &out, const std::string &s, bool keep_tabs) {
  for (size_t i = 0; i < s.size(); i++) {
    unsigned char c = s[i];
    if (c == 0xC2 && i + 1 < s.size() && (unsigned char)s[i + 1] >= 0x80 &&
        (unsigned char)s[i + 1] <= 0x9F) {
      out += '?';
      i++;
    } else if (c == 0xC2 && i + 1 < s.size() && (unsigned char)s[i + 1] == 0xA0) {
      out += ' ';  // a no-break space has done its work once the lines are made
      i++;
    } else if ((c < 0x20 && !(keep_tabs && c == '\t')) || c == 0x7F) {
      out += '?';
    } else {
      out += (char)c;
    }
  }
}

bool named(const xmlNode *n, const char *name) {
  return n->name && strcasecmp((const char *)n->name, name) == 0;
}

bool named_any(const xmlNode *n, std::initializer_list<const char *> names) {
  for (const char *name : names)
    if (named(n, name)) return true;
  return false;
}

std::string attr(const xmlNode *n, const char *name) {
  xmlChar *v = xmlGetProp(n, (const xmlChar *)name);
  std::string s = v ? (const char *)v : "";
  xmlFree(v);
  return s;
}

class Renderer {
public:
  explicit Renderer(const HtmlTextStyle &style) : style_(style), indent_(style.indent) {}

  void walk(const xmlNode *n) {
    for (; n; n = n->next) {
      if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE)
        text(n->content ? (const char *)n->content : "");
      else if (n->type == XML_ELEMENT_NODE)
        element(n);
    }
  }

  std::string finish() {
    flush();
    return out_;
  }

private:
  struct List {
    bool ordered;
    int count;
    int indent;
  };

  const HtmlTextStyle &style_;
  std::string out_;
  std::vector<std::string> words_;  // the paragraph being gathered
  std::string word_;                // the word being gathered
  int indent_;                      // where the lines of the current block start
  std::string marker_;              // a list item's number or bullet, for its first line
  int marker_indent_ = 0;
  int gap_ = 0;                     // 2: a blank line before the next text
  int tt_ = 0;                      // inside TT (or CODE, KBD, SAMP)
  std::vector<List> lists_;

  void text(const char *s) {
    for (; *s; s++) {
      unsigned char c = *s;
      if (tt_) {
        word_ += is_space(c) ? ' ' : (char)c;
      } else if (is_space(c)) {
        end_word();
      } else {
        word_ += (char)c;
      }
    }
  }

  void end_word() {
    if (!word_.empty()) words_.push_back(word_);
    word_.clear();
  }

  // Starts a new block: what was gathered becomes lines, and a blank line
  // (gap 2) or just a new line (gap 1) comes before the next text.
  void block(int gap) {
    flush();
    gap_ = std::max(gap_, gap);
  }

  void emit(const std::string &prefix, const std::string &body) {
    if (gap_ == 2 && !out_.empty()) out_ += '\n';
    gap_ = 0;
    std::string line = prefix;
    append_safe(line, body, true);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out_ += line;
    out_ += '\n';
  }

  std::string first_prefix() {
    if (marker_.empty()) return std::string(indent_, ' ');
    std::string p(marker_indent_, ' ');
    p += marker_;
    int cols = (int)text_columns(p);
    if (cols < indent_) p += std::string(indent_ - cols, ' ');
    marker_.clear();
    return p;
  }

  // Wraps the gathered words into lines.
  void flush() {
    end_word();
    if (words_.empty()) return;
    int room = style_.width > 0 ? std::max(style_.width - indent_, 10) : 0;
    std::string prefix = first_prefix();
    std::string line;
    int cols = 0;
    for (const std::string &w : words_) {
      int wc = (int)text_columns(w);
      if (!line.empty() && room > 0 && cols + 1 + wc > room) {
        emit(prefix, line);
        prefix.assign(indent_, ' ');
        line.clear();
        cols = 0;
      }
      if (!line.empty()) {
        line += ' ';
        cols++;
      }
      line += w;
      cols += wc;
    }
    emit(prefix, line);
    words_.clear();
  }

  void pre(const xmlNode *n) {
    block(2);
    xmlChar *content = xmlNodeGetContent(n);
    std::string s = content ? (const char *)content : "";
    xmlFree(content);
    if (!s.empty() && s[0] == '\n') s.erase(0, 1);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    size_t start = 0;
    // A list item that starts with PRE keeps its marker on the first line.
    std::string prefix = marker_.empty() ? std::string(indent_ + 2, ' ') : first_prefix();
    while (start <= s.size()) {
      size_t end = s.find('\n', start);
      if (end == std::string::npos) end = s.size();
      std::string line = s.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      emit(prefix, line);
      prefix.assign(indent_ + 2, ' ');
      start = end + 1;
    }
    block(2);
  }

  void list(const xmlNode *n, bool ordered) {
    block(lists_.empty() ? 2 : 1);
    int saved = indent_;
    lists_.push_back({ordered, 0, indent_ + 2});
    walk(n->children);
    lists_.pop_back();
    indent_ = saved;
    block(lists_.empty() ? 2 : 1);
  }

  void item(const xmlNode *n) {
    block(1);
    int saved = indent_;
    int at = lists_.empty() ? indent_ : lists_.back().indent;
    std::string bullet = style_.utf8 ? "\xE2\x80\xA2 " : "* ";
    std::string marker =
        lists_.empty() || !lists_.back().ordered ? bullet
                                                 : std::to_string(++lists_.back().count) + ". ";
    marker_ = marker;
    marker_indent_ = at;
    indent_ = at + (int)text_columns(marker);
    walk(n->children);
    block(1);
    marker_.clear();
    indent_ = saved;
  }

  void element(const xmlNode *n) {
    if (named_any(n, {"script", "style", "head", "title"})) return;
    if (named(n, "pre") || named(n, "xmp") || named(n, "listing")) return pre(n);
    if (named(n, "ul") || named(n, "dir") || named(n, "menu")) return list(n, false);
    if (named(n, "ol")) return list(n, true);
    if (named(n, "li")) return item(n);
    if (named(n, "br")) return block(1);
    if (named(n, "img")) {
      text(attr(n, "alt").c_str());
      return;
    }
    if (named_any(n, {"tt", "code", "kbd", "samp"})) {
      tt_++;
      walk(n->children);
      tt_--;
      return;
    }
    if (named_any(n, {"tr", "dt", "dd"})) {
      block(1);
      int saved = indent_;
      if (named(n, "dd")) indent_ += 4;
      walk(n->children);
      block(1);
      indent_ = saved;
      return;
    }
    if (named_any(n, {"td", "th"})) {
      end_word();
      walk(n->children);
      end_word();
      return;
    }
    if (named_any(n, {"p", "div", "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "table",
                      "dl", "center", "hr", "address", "form"})) {
      block(2);
      int saved = indent_;
      if (named(n, "blockquote")) indent_ += 4;
      walk(n->children);
      block(2);
      indent_ = saved;
      return;
    }
    walk(n->children);
    if (named(n, "a")) {
      // A link's target is worth showing when the text does not say it.
      std::string href = attr(n, "href");
      if (!href.empty() && href[0] != '#' &&
          (words_.empty() || words_.back() != href) && word_ != href) {
        end_word();
        words_.push_back("<" + href + ">");
      }
    }
  }
};

}  // namespace

size_t text_columns(const std::string &s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) n++;
  return n;
}

std::string html_to_text(const std::string &html, const HtmlTextStyle &style) {
  if (html.find_first_not_of(" \t\r\n\f\v") == std::string::npos) return "";
  htmlDocPtr doc = htmlReadMemory(html.data(), (int)std::min(html.size(), (size_t)INT32_MAX),
                                  nullptr, "UTF-8",
                                  HTML_PARSE_RECOVER | HTML_PARSE_NOERROR |
                                      HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  if (!doc) return "";
  Renderer r(style);
  r.walk(xmlDocGetRootElement(doc));
  xmlFreeDoc(doc);
  return r.finish();
}

std::string first_sentence(const std::string &text) {
  // The first block, its blanks and line breaks as single blanks.
  std::string block = text.substr(0, text.find("\n\n")), s;
  for (char c : block) {
    bool blank = c == ' ' || c == '\n' || c == '\t';
    if (blank && (s.empty() || s.back() == ' ')) continue;
    s += blank ? ' ' : c;
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  static const char *const kAbbreviations[] = {"e.g", "i.e", "etc", "vs", "cf"};
  for (size_t i = s.find_first_of(".!?"); i != std::string::npos; i = s.find_first_of(".!?", i + 1)) {
    if (i + 1 < s.size() && s[i + 1] != ' ') continue;
    if (i + 2 < s.size() && s[i + 2] >= 'a' && s[i + 2] <= 'z') continue;
    size_t word = s.rfind(' ', i);
    word = word == std::string::npos ? 0 : word + 1;
    std::string w = s.substr(word, i - word);
    for (char &c : w) c = (char)tolower((unsigned char)c);
    bool abbreviation = false;
    for (const char *a : kAbbreviations) abbreviation |= w == a || w == std::string("(") + a;
    if (!abbreviation) return s.substr(0, i + 1);
  }
  return s;
}
