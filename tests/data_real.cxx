// data_real.cxx - the shipped knowledge base against what the print server
// really writes: every error message of its catalog, the lines administrators
// quoted in public reports, and Diagnose on those reports' incidents.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "knowledge/Diagnosis.h"
#include "knowledge/ErrorXML.h"

#include "tests/data_util.h"

namespace {

const std::string kData = std::string(VEKLOG_TEST_DIR) + "/data/";

// Characters a pattern requires literally: escaped ones count, wildcards and
// sets do not, and a group counts as its shortest alternative. An item with
// fewer than 12 is a catch-all and does not count as recognising a message.
int literal_chars(const char *&p, bool in_group) {
  int n = 0;
  while (*p) {
    char c = *p;
    if (c == '\\' && p[1]) {
      n++, p += 2;
    } else if (c == '[') {
      const char *end = strchr(p + 2, ']');
      p = end ? end + 1 : p + strlen(p);
    } else if (c == '{') {
      int shortest = -1;
      for (p++;;) {
        int alternative = literal_chars(p, true);
        if (shortest < 0 || alternative < shortest) shortest = alternative;
        if (*p != '|' && *p != ',') break;
        p++;
      }
      if (*p == '}') p++;
      n += shortest;
    } else if (in_group && strchr("|,}", c)) {
      return n;
    } else {
      n += !strchr("*?|,}", c);
      p++;
    }
  }
  return n;
}

int literal_chars(const char *pattern) { return literal_chars(pattern, false); }

bool specific(const ErrorXMLItem *it) { return it && literal_chars(it->pattern) >= 12; }

// A catalog row's message with every conversion replaced by a value of one of
// three kinds: a plain word, a path with a blank, or empty (numbers then 0).
std::string instantiate(const std::string &format, int kind) {
  static const char *words[] = {"office-laser", "/var/spool/tarn/my file", ""};
  static const char *numbers[] = {"42", "7", "0"};
  std::string out;
  for (size_t i = 0; i < format.size(); i++) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%', i++;
      continue;
    }
    size_t j = i + 1;
    while (j < format.size() && strchr("-+ #0123456789.hlz", format[j])) j++;
    if (j == format.size()) break;
    char conv = format[j];
    if (conv == 's') out += words[kind];
    else if (conv == 'c') out += "x";
    else if (conv == 'p') out += "0x55d0c0a8";
    else if (conv == 'f') out += "1.500";
    else out += numbers[kind];
    i = j;
  }
  return out;
}

std::string log_line(char level, const std::string &message) {
  return std::string(1, level) + " [09/Dec/2026:10:00:00 +0000] " + message + "\n";
}

class RealMessages : public ShippedKbTest {};

// Every X, A, C and E row of the catalog, with each kind of value, is explained
// by a specific item of a level that fits it ("E/D" rows: E or D).
TEST_F(RealMessages, CatalogErrorsAreRecognised) {
  // What counts as specific: a catch-all has few literal characters, and a
  // group's alternatives count by the shortest one.
  EXPECT_EQ(7, literal_chars("\\[Job *\\] *"));
  EXPECT_EQ(19, literal_chars("*Returning {IPP,HTTP} * for *"));
  EXPECT_EQ(9, literal_chars("[Ee]rror {in {a,bc}|x}: \\*?"));
  std::vector<std::string> rows = read_lines(kData + "messages.tsv");
  ASSERT_GT(rows.size(), 2000u);
  int total = 0, known = 0;
  std::string misses;
  for (const std::string &row : rows) {
    if (row[0] == '#') continue;
    std::string level = row.substr(0, row.find('\t'));
    if (!strchr("XACE", level[0])) continue;
    size_t start = level.size() + 1;
    std::string format = row.substr(start, row.find('\t', start) - start);
    total++;
    bool ok = true;
    for (int kind = 0; kind < 3 && ok; kind++) {
      ErrorXMLItem *it = xml->find_item(log_line(level[0], instantiate(format, kind)).c_str());
      ok = specific(it) && level.find(it->level) != std::string::npos;
    }
    if (ok) known++;
    else misses += "  " + level + "\t" + format + "\n";
  }
  printf("catalog X/A/C/E rows recognised: %d of %d (%.1f%%)\n%s", known, total,
         100.0 * known / total, misses.c_str());
  EXPECT_GT(total, 500);
  EXPECT_GE(known, total * 0.95) << misses;
}

// The real lines, by level: the share that a specific item explains. At the
// error levels at least 85%; the others are reported.
TEST_F(RealMessages, RealLinesAreRecognised) {
  std::vector<std::string> lines = read_lines(kData + "real_lines.txt");
  std::map<char, int> total, known;
  std::string misses;
  for (const std::string &l : lines) {
    if (l[0] == '#' || l.size() < 32) continue;
    char level = l[0];
    total[level]++;
    ErrorXMLItem *it = xml->find_item(l.c_str());
    if (specific(it)) known[level]++;
    else if (strchr("XACE", level)) misses += "  " + l;
  }
  int errors = 0, errors_known = 0;
  for (char level : std::string("XACE")) errors += total[level], errors_known += known[level];
  printf("real X/A/C/E lines recognised: %d of %d (%.1f%%)\n", errors_known, errors,
         100.0 * errors_known / errors);
  for (char level : std::string("WNIDd"))
    if (total[level])
      printf("real %c lines recognised: %d of %d (%.1f%%)\n", level, known[level], total[level],
             100.0 * known[level] / total[level]);
  printf("unrecognised X/A/C/E lines:\n%s", misses.c_str());
  EXPECT_GT(errors, 300);
  EXPECT_GE(errors_known, errors * 0.85) << misses;
}

// Diagnose, weighing every line of a real incident the way the window does,
// names the remedy written down for it in incidents.txt ("-": none).
TEST_F(RealMessages, DiagnoseNamesTheRemedyForRealIncidents) {
  std::map<int, std::vector<std::string>> incidents;
  int current = -1;
  for (const std::string &l : read_lines(kData + "real_lines.txt")) {
    if (l.compare(0, 11, "# incident ") == 0) current = atoi(l.c_str() + 11);
    else if (l[0] != '#' && current >= 0) incidents[current].push_back(l);
  }
  int cases = 0, agree = 0;
  std::string disagreements;
  for (const std::string &l : read_lines(kData + "incidents.txt")) {
    if (l[0] == '#' || l == "\n") continue;
    std::istringstream in(l);
    int number;
    std::string expected;
    ASSERT_TRUE(in >> number >> expected) << l;
    ASSERT_TRUE(incidents.count(number)) << "no incident " << number;
    if (expected != "-") {
      EXPECT_NE(nullptr, xml->find_remedy(expected.c_str())) << l;
    }
    Diagnosis diagnosis(*xml);
    for (const std::string &line : incidents[number]) diagnosis.weigh(line.c_str());
    ErrorXMLRemedy *best = diagnosis.best();
    std::string got = best ? best->name : "-";
    cases++;
    if (got == expected) {
      agree++;
      // Diagnose selects the lines behind its answer; there is at least one.
      if (best) {
        EXPECT_FALSE(diagnosis.leads().empty()) << l;
      }
    } else {
      disagreements += "  incident " + std::to_string(number) + ": expected " + expected +
                       ", Diagnose names " + got + "\n";
    }
  }
  printf("Diagnose agrees on %d of %d real incidents (%.1f%%)\n%s", agree, cases,
         100.0 * agree / cases, disagreements.c_str());
  EXPECT_GE(cases, 40);
  EXPECT_GE(agree, cases * 0.90) << disagreements;
}

}  // namespace
