// knowledge_finder.cxx - the index's literal finder: which of its texts a
// message holds, wherever they stand and in either case.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "knowledge/LiteralFinder.h"

namespace {

// The numbers found in an exactly sized copy of the first `len` bytes of
// `message` (all of it when len is npos), sorted.
std::vector<int> found(LiteralFinder &finder, const std::string &message,
                       size_t len = std::string::npos) {
  len = std::min(len, message.size());
  char *copy = (char *)malloc(len + 1);
  memcpy(copy, message.data(), len);
  copy[len] = '\0';
  std::vector<int> out;
  finder.find(copy, len, out);
  free(copy);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(LiteralFinder, FindsEachTextItHolds) {
  LiteralFinder finder;
  const char *texts[] = {"unable to open", "printer", "queue stopped", "abcde", "\xe9t\xe9s!",
                         "unable to"};
  for (int i = 0; i < 6; i++) EXPECT_EQ(i, finder.add(texts[i])) << texts[i];
  EXPECT_EQ(-1, finder.add("abcd"));      // too short to key
  EXPECT_EQ(1, finder.add("printer"));    // the same text keeps its number
  EXPECT_EQ(6, finder.size());
  finder.build();
  struct {
    std::string message;
    std::vector<int> expect;
    size_t len;
  } rows[] = {
      {"Unable TO Open file", {0, 5}, std::string::npos},
      {"the PRINTER queue stopped", {1, 2}, std::string::npos},
      {"printer printer printer", {1}, std::string::npos},       // once each
      {"xabcde", {3}, std::string::npos},                       // at an odd offset
      {"abcde", {3}, std::string::npos},                        // the whole message
      {"abcd", {}, std::string::npos},
      {"", {}, std::string::npos},
      {"unable to ope", {5}, std::string::npos},                // cut short
      {"\xc9t\xc9s!", {}, std::string::npos},                   // only A-Z fold
      {"\xe9t\xe9S!", {4}, std::string::npos},
      {"queue_stopped", {}, std::string::npos},
      {"no printer", {}, 8},                                    // past len is not read
      {"no printer", {1}, 10},
  };
  for (const auto &row : rows) {
    EXPECT_EQ(row.expect, found(finder, row.message, row.len)) << row.message;
    EXPECT_EQ(row.expect, found(finder, row.message, row.len)) << row.message << " (again)";
  }
}

// Texts made of one common piece all get found, however they are keyed.
TEST(LiteralFinder, ManyTextsSharingPieces) {
  LiteralFinder finder;
  std::vector<std::string> texts;
  for (int i = 0; i < 500; i++) {
    texts.push_back("unable to " + std::to_string(i * 7919 % 1000) + " job");
    finder.add(texts.back());
  }
  finder.build();
  for (int i = 0; i < 500; i += 37) {
    std::vector<int> got = found(finder, "E: Unable to " + texts[i].substr(10) + " now");
    EXPECT_EQ(std::vector<int>{i}, got) << texts[i];
  }
  EXPECT_EQ(std::vector<int>{}, found(finder, std::string(5000, 'u') + "unable to 1 jo"));
}

// A finder with no text to look for, built or not, finds nothing and reads
// nothing it does not hold.
TEST(LiteralFinder, WithoutTextsFindsNothing) {
  for (bool build : {false, true}) {
    LiteralFinder finder;
    EXPECT_EQ(-1, finder.add("abc"));
    if (build) finder.build();
    EXPECT_EQ(std::vector<int>{}, found(finder, "abc abcdefgh abc")) << build;
    EXPECT_EQ(0, finder.size());
  }
}
