// data_errors_xml.cxx - the shipped knowledge base and sample log: every tag
// in errors.xml becomes a remedy or item, every item explains its own sample
// lines, every text fits the pane, and every line of the sample log is
// explained.
#include <gtest/gtest.h>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "knowledge/ErrorXML.h"
#include "tests/support/data_util.h"


namespace {

const std::string kSampleLog = std::string(VEKLOG_SOURCE_DIR) + "/data/sample_error_log";
const std::string kItemLines = std::string(VEKLOG_TEST_DIR) + "/data/item_lines.txt";

// True when the line, after leading white space, begins with `tag`.
bool opens_with(const std::string &line, const char *tag) {
  size_t i = line.find_first_not_of(" \t\r\n\v\f");
  return i != std::string::npos && line.compare(i, strlen(tag), tag) == 0;
}

int count_tags(const std::vector<std::string> &lines, const char *tag) {
  int n = 0;
  for (const std::string &l : lines) n += opens_with(l, tag);
  return n;
}

class ShippedKnowledge : public ShippedKbTest {
protected:
  // The item whose level letter and pattern are exactly these, or null.
  static ErrorXMLItem *item_named(char level, const std::string &pattern) {
    for (int i = 0; i < xml->num_items_; i++)
      if (xml->items_[i]->level == level && pattern == xml->items_[i]->pattern)
        return xml->items_[i];
    return nullptr;
  }
};

// The loader silently drops a remedy without text of its own and items in
// odd places; so every opening tag in the file must show up as an object.
TEST_F(ShippedKnowledge, EveryTagInTheFileIsLoaded) {
  std::vector<std::string> lines = read_lines(kErrorsXml);
  ASSERT_FALSE(lines.empty()) << kErrorsXml;
  int remedies = count_tags(lines, "<remedy ");
  int items = count_tags(lines, "<item ");
  EXPECT_EQ(remedies, count_tags(lines, "</remedy>"));
  EXPECT_EQ(items, count_tags(lines, "</item>"));
  EXPECT_EQ(remedies, xml->num_remedies_);
  EXPECT_EQ(items, xml->num_items_);
  EXPECT_EQ(0, xml->num_orphans_);
  EXPECT_GE(xml->num_remedies_, 40);
  EXPECT_GE(xml->num_items_, 150);
}

// The loader reads lines of up to 1023 characters; a longer one would be
// split and its second piece taken as text.
TEST_F(ShippedKnowledge, NoLineOfTheFileIsSplitByTheReader) {
  std::vector<std::string> lines = read_lines(kErrorsXml);
  for (size_t i = 0; i < lines.size(); i++)
    EXPECT_LT(lines[i].size(), 1024u) << "line " << i + 1;
}

TEST_F(ShippedKnowledge, ItemsFollowTheFileConventions) {
  const std::set<int> scale = {0, 1, 2, 3, 5, 7, 10};
  for (int i = 0; i < xml->num_items_; i++) {
    const ErrorXMLItem *it = xml->items_[i];
    SCOPED_TRACE(it->pattern);
    // A level letter the server writes; an item without one would match every level.
    EXPECT_TRUE(it->level && strchr("XACEWNIDd", it->level)) << "level " << int(it->level);
    size_t n = strlen(it->pattern);
    ASSERT_GT(n, 0u);
    EXPECT_LE(n, 255u);
    // The message part ends in a newline, so a pattern must end in a star.
    EXPECT_EQ('*', it->pattern[n - 1]);
    EXPECT_TRUE(scale.count(it->severity)) << "severity " << it->severity;
    EXPECT_GT(strlen(it->text), 0u);
    // The remedy is a scored one, not a leftover of a remedy left open.
    bool listed = false;
    for (int r = 0; r < xml->num_remedies_; r++) listed |= xml->remedies_[r] == it->remedy;
    EXPECT_TRUE(listed);
  }
}

TEST_F(ShippedKnowledge, RemediesHaveUniqueNamesAndFitTheDiagnosePage) {
  for (int r = 0; r < xml->num_remedies_; r++) {
    const ErrorXMLRemedy *rem = xml->remedies_[r];
    SCOPED_TRACE(rem->name);
    EXPECT_EQ(rem, xml->find_remedy(rem->name)) << "name used twice";
    // Diagnose shows "<H1>Remedy</H1>\n%s\n" in 1024 bytes; a longer text is cut.
    char page[1024];
    int want = snprintf(page, sizeof page, "<H1>Remedy</H1>\n%s\n", rem->text);
    EXPECT_LT(want, 1024);
    EXPECT_NE(nullptr, strstr(rem->text, "<")) << "no HTML in the remedy text";
  }
}

// What a reader of the pane sees of some HTML: tags dropped (a block's tag
// parts words like a blank), a character reference one character, a run of
// white space one blank, none at the ends.
std::string visible(const std::string &html) {
  std::string out;
  for (size_t i = 0; i < html.size(); i++) {
    char c = html[i];
    if (c == '<' && html.find('>', i) != std::string::npos) {
      size_t name = html.find_first_not_of('/', i + 1), end = html.find('>', i);
      std::string tag = html.substr(name, html.find_first_of(" >", name) - name);
      for (char &t : tag) t = (char)toupper((unsigned char)t);
      i = end;
      if (tag != "P" && tag != "LI" && tag != "UL" && tag != "OL" && tag != "BR") continue;
      c = ' ';
    } else if (c == '&' && html.find(';', i) != std::string::npos && html.find(';', i) - i < 10) {
      i = html.find(';', i);
      c = 'x';
    }
    if (isspace((unsigned char)c)) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Characters, not bytes: UTF-8 continuation bytes do not count.
size_t characters(const std::string &text) {
  return std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; });
}

// Sentences: each ends at a full stop, "!" or "?" before a blank or the end.
int sentences(const std::string &text) {
  int n = 0;
  for (size_t i = 0; i < text.size(); i++)
    n += strchr(".!?", text[i]) && (i + 1 == text.size() || text[i + 1] == ' ');
  return n;
}

// The longest texts found, worst first, for a failure to show.
std::string worst(std::vector<std::pair<size_t, std::string>> found, size_t shown = 5) {
  std::sort(found.rbegin(), found.rend());
  std::string out;
  for (size_t i = 0; i < found.size() && i < shown; i++)
    out += "  " + std::to_string(found[i].first) + ": " + found[i].second + "\n";
  return out;
}

// The pane at the window's default size shows an item's text, then its
// remedy: the first step must show without scrolling. So each remedy begins
// with its list of steps, whose first step fits about one line (70 visible
// characters), and each item's text is two or three short sentences (160
// visible characters at most).
TEST_F(ShippedKnowledge, TextsLetTheFirstStepShowInThePane) {
  const size_t kFirstStep = 70, kItemText = 160;
  const int kSentences = 3;
  std::vector<std::pair<size_t, std::string>> steps, texts, long_steps, long_texts;
  std::string no_list;
  for (int r = 0; r < xml->num_remedies_; r++) {
    const ErrorXMLRemedy *rem = xml->remedies_[r];
    std::string text = rem->text;
    size_t start = text.find_first_not_of(" \t\r\n");
    size_t li = text.find("<LI>"), end = text.find("</LI>");
    if (start == std::string::npos || text.compare(start, 4, "<UL>") != 0 || li == std::string::npos ||
        end < li || visible(text.substr(start + 4, li - start - 4)) != "") {
      no_list += std::string("  ") + rem->name + "\n";
      continue;
    }
    std::string first = visible(text.substr(li + 4, end - li - 4));
    steps.push_back({characters(first), std::string(rem->name) + ": " + first});
    if (characters(first) > kFirstStep) long_steps.push_back(steps.back());
  }
  for (int i = 0; i < xml->num_items_; i++) {
    std::string text = visible(xml->items_[i]->text);
    texts.push_back({characters(text), text});
    if (characters(text) > kItemText || sentences(text) > kSentences) long_texts.push_back(texts.back());
  }
  printf("longest first steps (of %zu remedies):\n%s", steps.size(), worst(steps, 3).c_str());
  printf("longest item texts (of %zu items):\n%s", texts.size(), worst(texts, 3).c_str());
  EXPECT_EQ("", no_list) << "remedies whose text does not begin with its list of steps";
  EXPECT_EQ("", worst(long_steps)) << "first steps longer than " << kFirstStep << " characters";
  EXPECT_EQ("", worst(long_texts)) << "item texts longer than " << kItemText << " characters or "
                                   << kSentences << " sentences";
}

// Each "@ L pattern" block of item_lines.txt names an item; the log lines
// after it must be explained by that item and not by one earlier in the file.
TEST_F(ShippedKnowledge, EachItemExplainsItsOwnSampleLines) {
  std::vector<std::string> lines = read_lines(kItemLines);
  ASSERT_FALSE(lines.empty()) << kItemLines;
  std::set<const ErrorXMLItem *> covered;
  ErrorXMLItem *current = nullptr;
  int samples = 0;
  for (const std::string &l : lines) {
    if (l.empty() || l[0] == '#' || l == "\n") continue;
    if (l.compare(0, 2, "@ ") == 0) {
      std::string pattern = l.substr(4, l.size() - 5);
      current = item_named(l[2], pattern);
      EXPECT_NE(nullptr, current) << "no item " << l;
      continue;
    }
    if (!current) continue;
    samples++;
    covered.insert(current);
    ErrorXMLItem *got = xml->find_item(l.c_str());
    EXPECT_EQ(current, got) << l << "  expected: " << current->pattern
                            << "\n  matched by: " << (got ? got->pattern : "nothing");
  }
  EXPECT_GE(samples, xml->num_items_);
  // Every item has at least one sample line.
  for (int i = 0; i < xml->num_items_; i++)
    EXPECT_TRUE(covered.count(xml->items_[i])) << "no sample line for "
                                                << xml->items_[i]->level << " "
                                                << xml->items_[i]->pattern;
}

// The knowledge base is installed as <data dir>/data/errors.xml and found
// there through TARN_DATADIR when the working directory has no copy.
TEST_F(ShippedKnowledge, IsFoundUnderTheDataDirectory) {
  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  char tmpl[] = "/tmp/veklog-data-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(tmpl));
  const char *old = getenv("TARN_DATADIR");
  std::string saved = old ? old : "";
  setenv("TARN_DATADIR", VEKLOG_SOURCE_DIR, 1);
  ASSERT_EQ(0, chdir(tmpl));
  ErrorXML found("errors.xml");
  ASSERT_EQ(0, chdir(cwd));
  rmdir(tmpl);
  if (old) setenv("TARN_DATADIR", saved.c_str(), 1);
  else unsetenv("TARN_DATADIR");
  EXPECT_EQ(xml->num_items_, found.num_items_);
  EXPECT_EQ(xml->num_remedies_, found.num_remedies_);
}

// The sample log that the README's run command shows: the server's layout,
// oldest first, all nine levels, and every line explained when clicked.
TEST_F(ShippedKnowledge, SampleLogIsWellFormedAndFullyExplained) {
  std::vector<std::string> lines = read_lines(kSampleLog);
  EXPECT_GE(lines.size(), 300u);
  EXPECT_LE(lines.size(), 500u);
  std::set<char> levels;
  std::string last_time;
  for (size_t i = 0; i < lines.size(); i++) {
    const std::string &l = lines[i];
    SCOPED_TRACE("line " + std::to_string(i + 1) + ": " + l);
    ASSERT_GT(l.size(), 32u);
    EXPECT_TRUE(strchr("XACEWNIDd", l[0]));
    levels.insert(l[0]);
    EXPECT_EQ(' ', l[1]);
    EXPECT_EQ('[', l[2]);
    EXPECT_EQ(']', l[29]);
    EXPECT_EQ(' ', l[30]);
    EXPECT_NE(' ', l[31]);
    EXPECT_EQ('\n', l.back());
    // All on one day, so the clock time orders the lines.
    std::string time = l.substr(14, 8);
    EXPECT_LE(last_time, time);
    last_time = time;
    EXPECT_NE(nullptr, xml->find_item(l.c_str())) << "unexplained";
  }
  EXPECT_EQ(9u, levels.size());
}

}  // namespace
