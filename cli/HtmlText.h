// HtmlText.h - the knowledge base's HTML fragments as plain text for a
// terminal: paragraphs wrapped, lists numbered or bulleted, PRE and TT kept.
#ifndef CLI_HTMLTEXT_H
#define CLI_HTMLTEXT_H

#include <string>

struct HtmlTextStyle {
  int width = 80;        // columns to wrap at; 0 or less: never wrap
  int indent = 0;        // columns every line starts with
  bool utf8 = true;      // bullets as U+2022, else '*'
};

// Renders an HTML fragment (parsed by libxml2's forgiving HTML parser, so
// broken markup still gives text) as lines ending in '\n'. Entities are
// decoded; whitespace outside PRE and TT collapses to single blanks. Text in
// TT is never broken across lines, PRE lines are kept as written (indented
// by two). Blocks are separated by one blank line, list items are not.
// Control characters are shown as '?', so a fragment cannot steer the
// terminal. Returns "" for a fragment without text.
std::string html_to_text(const std::string &html, const HtmlTextStyle &style);

// The first sentence of a rendered text (html_to_text): its first block, up
// to the first '.', '!' or '?' that ends the text or that blanks and no
// lower-case letter follow ("e.g." and the like end nothing), its blanks and
// line breaks collapsed. "" for a text without words.
std::string first_sentence(const std::string &text);

// Columns that UTF-8 text takes: one per character (continuation bytes
// count nothing). Wide characters are counted as one.
size_t text_columns(const std::string &s);

#endif
