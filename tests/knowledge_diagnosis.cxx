// knowledge_diagnosis.cxx - Diagnose without a window: the best remedy, the
// ranking, the lines that lead to the best, and agreement with the model's
// own running totals (score_item, best_remedy) on random knowledge bases.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "knowledge/Diagnosis.h"
#include "knowledge/ErrorXML.h"
#include "tests/kb_builder.h"

namespace {

std::string line_of(const std::string &level_and_message) {
  return std::string(1, level_and_message[0]) + " [08/Dec/2026:10:00:00 +0000] " +
         level_and_message.substr(2) + "\n";
}

std::vector<std::string> names(const std::vector<ErrorXMLRemedy *> &remedies) {
  std::vector<std::string> out;
  for (ErrorXMLRemedy *r : remedies) out.push_back(r->name);
  return out;
}

// Four remedies; the network items weigh against their remedy.
std::unique_ptr<ErrorXML> small_kb() {
  return KbBuilder()
      .remedy("printer")
      .item('E', "Printer not connected*", 5)
      .item('E', "Printer slow*", 2)
      .item('I', "Printer idle*", 0)
      .remedy("disk")
      .item('E', "Disk full*", 11)
      .item('W', "Disk nearly full*", 20)
      .remedy("network")
      .item('E', "Host down*", -4)
      .item('E', "Host slow*", 1)
      .remedy("toner")
      .item('E', "Toner low*", 7)
      .load();
}

}  // namespace

TEST(Diagnosis, BestRankingAndLeads) {
  std::unique_ptr<ErrorXML> kb = small_kb();
  ASSERT_EQ(4, kb->num_remedies_);
  struct Case {
    std::vector<std::string> lines;  // level letter, blank, message
    const char *best;                // null: none
    std::vector<std::string> ranking;
    std::vector<size_t> leads;
    size_t explained;
    bool by_totals = true;  // the model's simple totals name the same remedy
  } cases[] = {
      {{}, nullptr, {}, {}, 0},
      {{"E Nothing known", "E x"}, nullptr, {}, {}, 0},
      // 3 x 5 + 2 against 11.
      {{"E Printer not connected", "E Disk full", "E Printer not connected", "E Printer slow",
        "E Unknown", "E Printer not connected"},
       "printer", {"printer", "disk"}, {0, 2, 3, 5}, 5},
      // Equal scores: the remedy earlier in the file, wherever its lines are.
      {{"E Toner low", "E Toner low", "E Printer not connected", "E Printer slow",
        "E Printer slow", "E Printer not connected", "E Printer slow"},
       "printer", {"printer", "toner"}, {2, 3, 4, 5, 6}, 7},
      // A cause (weight 3 or more) ranks above lighter lines, whatever their
      // total: 14 of 7s against 14 of 2s.
      {{"E Toner low", "E Toner low", "E Printer slow", "E Printer slow", "E Printer slow",
        "E Printer slow", "E Printer slow", "E Printer slow", "E Printer slow"},
       "toner", {"toner", "printer"}, {0, 1}, 9, false},
      // Among lighter lines alone, the totals.
      {{"E Printer slow", "E Host slow", "E Host slow", "E Host slow", "E Host slow",
        "E Host slow"},
       "network", {"network", "printer"}, {1, 2, 3, 4, 5}, 6},
      {{"E Disk full", "E Toner low", "E Toner low", "W Disk nearly full"},
       "disk", {"disk", "toner"}, {0, 3}, 4},
      // Negative and zero totals are never ranked.
      {{"E Host down", "E Host down", "E Host slow", "E Host slow"}, nullptr, {}, {}, 4},
      {{"E Host down", "E Toner low", "E Host slow"}, "toner", {"toner"}, {1}, 3},
      {{"I Printer idle", "I Printer idle"}, nullptr, {}, {}, 2},
      // A weightless line of the best remedy leads to it all the same.
      {{"I Printer idle", "E Printer slow", "E Host down"}, "printer", {"printer"}, {0, 1}, 3},
      // The level letter counts: e is not E.
      {{"e Disk full", "E Printer slow"}, "printer", {"printer"}, {1}, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.lines));
    Diagnosis d(*kb);
    for (const std::string &l : c.lines) {
      std::string line = line_of(l);
      EXPECT_EQ(kb->find_item(line.c_str()), d.weigh(line.c_str()));
    }
    EXPECT_EQ(c.lines.size(), d.weighed());
    EXPECT_EQ(c.explained, d.explained());
    ErrorXMLRemedy *best = d.best();
    EXPECT_EQ(c.best ? std::string(c.best) : "", best ? std::string(best->name) : "");
    EXPECT_EQ(c.ranking, names(d.ranking()));
    if (best) {
      EXPECT_EQ(best, d.ranking()[0]);
    }
    EXPECT_EQ(c.leads, d.leads());
    if (c.by_totals) {
      EXPECT_EQ(best, kb->best_remedy());
    } else {
      EXPECT_NE(best, kb->best_remedy());
    }
  }
}

// The totals are the remedies' scores; a new diagnosis starts them afresh,
// and a remedy whose closing tag never came backs its items but never wins.
TEST(Diagnosis, ScoresLiveInTheRemediesAndStartAfresh) {
  std::unique_ptr<ErrorXML> kb = KbBuilder()
                                     .remedy("paper")
                                     .item('E', "Out of paper*", 3)
                                     .raw("</remedy>\n<remedy name=\"lost\">\n<P>lost</P>\n"
                                          "<item level=\"E\" pattern=\"Lost*\" severity=\"9\">\n"
                                          "<P>x</P>\n</item>\n")
                                     .load();
  ASSERT_EQ(1, kb->num_remedies_);
  ASSERT_EQ(2, kb->num_items_);
  ErrorXMLRemedy *paper = kb->remedies_[0], *lost = kb->items_[1]->remedy;
  {
    Diagnosis d(*kb);
    for (const char *l : {"E Out of paper", "E Lost it", "E Lost again"})
      d.weigh(line_of(l).c_str());
    EXPECT_EQ(3, paper->score);
    EXPECT_EQ(18, lost->score);
    EXPECT_EQ(paper, d.best());
    EXPECT_EQ(std::vector<size_t>{0}, d.leads());
    EXPECT_EQ(3u, d.explained());
  }
  Diagnosis again(*kb);
  EXPECT_EQ(0, paper->score);
  EXPECT_EQ(0, lost->score);
  EXPECT_EQ(nullptr, again.best());
  EXPECT_TRUE(again.leads().empty());
}

// On random knowledge bases and logs, a Diagnosis agrees with the model's
// running totals (clear_scores, score_item per line) ranked causes first:
// the remedies a line of weight 3 or more points to, then the rest, each by
// total and file order; and the lines whose find_item leads to the best.
TEST(Diagnosis, AgreesWithTheModelsRunningTotals) {
  std::mt19937 rng(1412);
  static const char *words[] = {"printer", "paper", "job", "disk", "host", "filter"};
  auto message = [&] {
    std::string m;
    for (int k = 0, n = 1 + (int)(rng() % 3); k < n; k++) m += std::string(k ? " " : "") + words[rng() % 6];
    return m;
  };
  int bests = 0;
  for (int round = 0; round < 40; round++) {
    KbBuilder b;
    int remedies = 1 + (int)(rng() % 5);
    for (int r = 0; r < remedies; r++) {
      b.remedy("r" + std::to_string(r));
      for (int i = 0, n = 1 + (int)(rng() % 4); i < n; i++)
        b.item("EW\0"[rng() % 3], (rng() % 2 ? "*" : "") + message() + "*", (int)(rng() % 14) - 3);
    }
    std::unique_ptr<ErrorXML> kb = b.load();
    std::vector<std::string> lines;
    for (int n = 0, count = (int)(rng() % 60); n < count; n++)
      lines.push_back(line_of(std::string(1, "EWI"[rng() % 3]) + " " + message()));

    Diagnosis d(*kb);
    for (const std::string &l : lines) d.weigh(l.c_str());
    std::vector<int> scores;
    for (int r = 0; r < kb->num_remedies_; r++) scores.push_back(kb->remedies_[r]->score);
    ErrorXMLRemedy *best = d.best();
    std::vector<ErrorXMLRemedy *> ranking = d.ranking();
    std::vector<size_t> leads = d.leads();

    kb->clear_scores();
    std::vector<size_t> expect_leads;
    size_t explained = 0;
    std::set<ErrorXMLRemedy *> caused;
    for (const std::string &l : lines) {
      ErrorXMLItem *item = kb->score_item(l.c_str());
      if (item && item->severity >= 3) caused.insert(item->remedy);
    }
    ErrorXMLRemedy *expect_best = nullptr;
    for (int r = 0; r < kb->num_remedies_; r++) {
      ErrorXMLRemedy *c = kb->remedies_[r];
      if (c->score <= 0) continue;
      if (!expect_best || caused.count(c) > caused.count(expect_best) ||
          (caused.count(c) == caused.count(expect_best) && c->score > expect_best->score))
        expect_best = c;
    }
    for (size_t n = 0; n < lines.size(); n++) {
      ErrorXMLItem *item = kb->find_item(lines[n].c_str());
      explained += item != nullptr;
      if (item && expect_best && item->remedy == expect_best) expect_leads.push_back(n);
    }
    for (int r = 0; r < kb->num_remedies_; r++) EXPECT_EQ(kb->remedies_[r]->score, scores[r]);
    ASSERT_EQ(expect_best, best);
    EXPECT_EQ(expect_leads, leads);
    EXPECT_EQ(explained, d.explained());
    // The ranking: every remedy above 0, causes first, highest first, equals
    // in file order.
    size_t above = 0;
    for (int s : scores) above += s > 0;
    ASSERT_EQ(above, ranking.size());
    for (size_t k = 1; k < ranking.size(); k++) {
      ASSERT_GE(caused.count(ranking[k - 1]), caused.count(ranking[k]));
      if (caused.count(ranking[k - 1]) > caused.count(ranking[k])) continue;
      ASSERT_GE(ranking[k - 1]->score, ranking[k]->score);
      if (ranking[k - 1]->score == ranking[k]->score) {
        EXPECT_LT(std::find(kb->remedies_, kb->remedies_ + kb->num_remedies_, ranking[k - 1]),
                  std::find(kb->remedies_, kb->remedies_ + kb->num_remedies_, ranking[k]));
      }
    }
    if (best) {
      EXPECT_EQ(best, ranking[0]);
    }
    bests += best != nullptr;
  }
  EXPECT_GT(bests, 10);  // the comparison means something only if remedies win
}
