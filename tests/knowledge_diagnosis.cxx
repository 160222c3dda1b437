// knowledge_diagnosis.cxx - Diagnose without a window: the best remedy, the
// ranking, the lines that lead to the best, and agreement with the model's
// own running totals (score_item, best_remedy) on random knowledge bases.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/Levels.h"
#include "knowledge/Diagnosis.h"
#include "knowledge/ErrorXML.h"
#include "tests/support/kb_builder.h"

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

// A diagnosis that keeps only counts, given the lines `d` was given (listed
// as there), reads out what `d` reads out, and a second reading of the
// lines finds the leads one by one, from either.
void expect_counts_agree(ErrorXML &kb, const Diagnosis &d, const std::vector<std::string> &lines,
                         const std::vector<bool> &listed) {
  Diagnosis flat(kb, 0, Diagnosis::Keep::Counts);
  for (size_t i = 0; i < lines.size(); i++) flat.weigh(lines[i].c_str(), listed[i]);
  flat.close();  // what it read out stays
  d.decide();
  EXPECT_EQ(d.lines(), flat.lines());
  EXPECT_EQ(d.best(), flat.best());
  EXPECT_EQ(d.ranking(), flat.ranking());
  EXPECT_EQ(d.deeper(), flat.deeper());
  EXPECT_EQ(d.weighed(), flat.weighed());
  EXPECT_EQ(d.explained(), flat.explained());
  EXPECT_EQ(d.unknown(), flat.unknown());
  ASSERT_EQ(d.standings().size(), flat.standings().size());
  for (size_t i = 0; i < d.standings().size(); i++) {
    EXPECT_EQ(d.standings()[i].total, flat.standings()[i].total);
    EXPECT_EQ(d.standings()[i].cause, flat.standings()[i].cause);
  }
  EXPECT_TRUE(flat.leads().empty());
  EXPECT_EQ(d.leads().size(), d.lead_count());
  EXPECT_EQ(d.leads().size(), flat.lead_count());
  std::vector<size_t> kept, counted;
  for (size_t i = 0; i < lines.size(); i++) {
    int item = kb.find_item_index(lines[i].c_str(), lines[i].size());
    if (d.leads_to(i, item, listed[i])) kept.push_back(i);
    if (flat.leads_to(i, item, listed[i])) counted.push_back(i);
  }
  EXPECT_EQ(d.leads(), kept);
  EXPECT_EQ(d.leads(), counted);
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
    std::vector<std::string> given;
    for (const std::string &l : c.lines) {
      given.push_back(line_of(l));
      EXPECT_EQ(kb->find_item(given.back().c_str()), d.weigh(given.back().c_str()));
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
    expect_counts_agree(*kb, d, given, std::vector<bool>(given.size(), true));
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
    // Some lines unlisted, so that the deeper look comes too.
    std::vector<bool> listed;
    for (size_t n = 0; n < lines.size(); n++) listed.push_back(rng() % 3 != 0);
    Diagnosis part(*kb);
    for (size_t n = 0; n < lines.size(); n++) part.weigh(lines[n].c_str(), listed[n]);
    expect_counts_agree(*kb, part, lines, listed);
  }
  EXPECT_GT(bests, 10);  // the comparison means something only if remedies win
}

namespace {

// A log line at a time of 9 December 2026 ("HH:MM:SS"), in the server's layout.
std::string at(const char *hms, char level, const std::string &message) {
  return std::string(1, level) + " [09/Dec/2026:" + hms + " +0000] " + message + "\n";
}

// A knowledge base with an item for each rule of context, and the catch-alls.
std::unique_ptr<ErrorXML> context_kb(int unknown_x = 2) {
  const char *x = "<P>item</P>";
  return KbBuilder()
      .remedy("unreachable")
      .item('W', "\\[Job *\\] The printer did not respond*", 3, x, "down")
      .item('E', "Unable to connect to *", 5)
      .remedy("stopped")
      .item('I', "*Printer * stopped by *", 5, x, "down")
      .remedy("filter-failed")
      .item('E', "\\[Job *\\] Job stopped due to filter errors*", 1)
      .remedy("filter-permissions")
      .item('D', "\\[Job *\\] PID * stopped with status * (Permission denied)*", 5)
      .remedy("disk")
      .item('E', "Disk full*", 5)
      .remedy("missing")
      .item('D', "* client-error-not-found: The printer or class does not exist*", 1, x, "lookup")
      .item('D', "*Returning IPP client-error-not-found for Get-Printer-Attributes *", 1, x, "lookup")
      .remedy("routine")
      .item('I', "*Printer * started by *", 0, x, "up")
      .item('I', "\\[Job *\\] Job completed*", 0, x, "up")
      .item('I', "New printer * added by *", 0, x, "added")
      .remedy(kUnknownRemedy)
      .item('X', "*", unknown_x)
      .item('A', "*", 2)
      .item('C', "*", 2)
      .item('E', "*", 1)
      .item(0, "*", 0)
      .load();
}

const char *kQueued = "[Job 2] Queued on \"lab\" by \"root\".";
const char *kNoAnswer = "[Job 2] The printer did not respond.";
const char *kRecorded = "[Job 3] The following messages were recorded from 17:15:32 to 17:15:36";
const char *kDenied = "[Job 3] PID 15 (/usr/lib/tarn/filter/x) stopped with status 13 (Permission denied)";
const char *kEnd = "[Job 3] End of messages";
const char *kFilterErrors = "[Job 3] Job stopped due to filter errors; please consult the log.";
const char *kLookup = "Get-Printer-Attributes client-error-not-found: The printer or class does not exist.";

std::string returning(const char *queue) {
  return std::string("[Client 2] Returning IPP client-error-not-found for Get-Printer-Attributes "
                     "(ipp://localhost:631/printers/") + queue + ") from localhost.";
}

}  // namespace

// Each log at the Errors level (X A C E listed): what Diagnose names, whether
// from the deeper look, and the lines behind it, listed and not.
TEST(Diagnosis, RulesOfContextAndTheDeeperLook) {
  std::unique_ptr<ErrorXML> kb = context_kb();
  struct Case {
    const char *what;
    std::vector<std::string> log;
    const char *best;  // "" none
    bool deeper;
    std::vector<size_t> listed, unlisted;
    int level = 0;
  } cases[] = {
      {"W lines only: found in the lines the view leaves out",
       {at("10:00:00", 'I', kQueued), at("10:00:05", 'W', kNoAnswer), at("10:00:35", 'W', kNoAnswer)},
       "unreachable", true, {}, {1, 2}},
      {"a job of the queue completes: the printer answers again",
       {at("10:00:00", 'I', kQueued), at("10:00:05", 'W', kNoAnswer),
        at("10:01:00", 'I', "[Job 4] Queued on \"lab\" by \"root\"."),
        at("10:01:05", 'I', "[Job 4] Job completed.")},
       "", false, {}, {}},
      {"a job of another queue completes: the state stands",
       {at("10:00:00", 'I', kQueued), at("10:00:05", 'W', kNoAnswer),
        at("10:01:00", 'I', "[Job 4] Queued on \"office\" by \"root\"."),
        at("10:01:05", 'I', "[Job 4] Job completed.")},
       "unreachable", true, {}, {1}},
      {"a job whose queue is not known: the job itself is the subject",
       {at("10:00:05", 'W', "[Job 9] The printer did not respond."),
        at("10:00:09", 'I', "[Job 8] Job completed."), at("10:00:10", 'W', kNoAnswer),
        at("10:00:12", 'I', "[Job 2] Job completed.")},
       "unreachable", true, {}, {0}},
      {"an administrator's stop",
       {at("10:00:00", 'I', "Printer \"lab\" stopped by \"root\".")}, "stopped", true, {}, {0}},
      {"a stop undone, in the escaped quotes of the current release",
       {at("10:00:00", 'I', "Printer \\\"Lab\\\" stopped by \\\"root\\\"."),
        at("10:05:00", 'I', "[Client 4] Printer \"lab\" started by \"root\".")},
       "", false, {}, {}},
      {"the last word decides: stopped, started, stopped again",
       {at("10:00:00", 'I', "Printer \"lab\" stopped by \"root\"."),
        at("10:01:00", 'I', "Printer \"lab\" started by \"root\"."),
        at("10:02:00", 'I', "Printer \"lab\" stopped by \"root\"."),
        at("10:03:00", 'I', "Printer \"office\" started by \"root\".")},
       "stopped", true, {}, {2}},
      {"a filter failure: its recorded lines name the cause",
       {at("10:00:00", 'E', kFilterErrors), at("10:00:00", 'D', kRecorded),
        at("10:00:00", 'D', kDenied), at("10:00:00", 'D', kEnd)},
       "filter-permissions", true, {}, {2}},
      {"a follow-on with no cause behind it stands",
       {at("10:00:00", 'E', kFilterErrors), at("10:00:01", 'I', "[Job 3] Something routine")},
       "filter-failed", false, {0}, {}},
      {"a listed cause decides against a heavier unlisted one",
       {at("10:00:00", 'E', "Disk full"), at("10:00:01", 'I', "Printer \"a\" stopped by \"root\"."),
        at("10:00:02", 'I', "Printer \"b\" stopped by \"root\".")},
       "disk", false, {0}, {}},
      {"unknown error lines name the remedy for them, and no cause hides behind them",
       {at("10:00:00", 'X', "Odd"), at("10:00:01", 'A', "Odder"), at("10:00:02", 'C', "Oddest"),
        at("10:00:03", 'E', "Strange"), at("10:00:04", 'D', "chatter")},
       kUnknownRemedy, false, {0, 1, 2, 3}, {}},
      {"lpadmin's lookups before it adds the queue weigh nothing",
       {at("10:00:00", 'D', kLookup), at("10:00:00", 'D', returning("lab")),
        at("10:00:59", 'I', "New printer \"lab\" added by \"root\".")},
       "", false, {}, {}, 2},
      {"... and so do those that come within the minute after it",
       {at("10:00:00", 'I', "New printer \"lab\" added by \"root\"."),
        at("10:01:00", 'D', returning("lab")), at("10:01:01", 'D', returning("lab")),
        at("10:00:30", 'D', kLookup)},
       "missing", false, {2}, {}, 2},
      {"lookups for a queue that never appears stay evidence",
       {at("10:00:00", 'D', kLookup), at("10:00:00", 'D', returning("lab")),
        at("10:00:30", 'I', "New printer \"office\" added by \"root\"."),
        at("10:03:00", 'D', returning("office"))},
       "missing", false, {1, 3}, {}, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Diagnosis d(*kb);
    std::vector<bool> listed;
    for (const std::string &l : c.log) {
      listed.push_back(level_accepts(c.level, (unsigned char)l[0]));
      d.weigh(l.c_str(), listed.back());
    }
    ErrorXMLRemedy *best = d.best();
    EXPECT_EQ(std::string(c.best), best ? best->name : "");
    EXPECT_EQ(c.deeper, d.deeper());
    EXPECT_EQ(c.listed, d.listed_leads());
    EXPECT_EQ(c.unlisted, d.unlisted_leads());
    if (best) {
      EXPECT_EQ(best->score, d.standings()[0].total);
    }
    expect_counts_agree(*kb, d, c.log, listed);
  }
}

// The remedy for unknown messages is no cause, however heavy its items: it
// never keeps the deeper look from a cause the view does not list.
TEST(Diagnosis, UnknownMessagesNeverStopTheDeeperLook) {
  std::unique_ptr<ErrorXML> kb = context_kb(9);
  Diagnosis d(*kb);
  d.weigh(at("10:00:00", 'X', "Odd").c_str(), true);
  d.weigh(at("10:00:01", 'I', "Printer \"lab\" stopped by \"root\".").c_str(), false);
  ASSERT_NE(nullptr, d.best());
  EXPECT_STREQ("stopped", d.best()->name);
  EXPECT_TRUE(d.deeper());
  ASSERT_EQ(2u, d.standings().size());
  EXPECT_FALSE(d.standings()[1].cause);
  EXPECT_EQ(9, d.standings()[1].total);
  EXPECT_EQ(1u, d.unknown());
  EXPECT_EQ(2u, d.weighed());
}

// A job's recorded messages: each line weighs as the line it is, belongs to
// the job and is marked recorded; a block the log repeats counts once, while
// one with other lines counts again.
TEST(Diagnosis, RecordedMessagesCountOnce) {
  std::unique_ptr<ErrorXML> kb = context_kb();
  std::vector<std::string> block = {at("10:00:00", 'D', kRecorded), at("10:00:00", 'D', kDenied),
                                    at("10:00:00", 'D', kDenied), at("10:00:00", 'D', kEnd)};
  std::vector<std::string> log = {at("10:00:00", 'E', kFilterErrors)};
  for (int copy = 0; copy < 2; copy++) log.insert(log.end(), block.begin(), block.end());
  log.push_back(at("10:00:09", 'E', kFilterErrors));
  log.push_back(at("10:00:09", 'D', kRecorded));
  log.push_back(at("10:00:09", 'D', kDenied));  // a later failure: other lines
  log.push_back(at("10:00:09", 'D', "[Job 4] not of this job: the block ends"));
  log.push_back(at("10:00:09", 'D', kDenied));
  Diagnosis d(*kb);
  std::vector<bool> listed;
  for (const std::string &l : log) listed.push_back(l[0] != 'D'), d.weigh(l.c_str(), listed.back());
  std::vector<int> weights, jobs;
  std::vector<bool> recorded;
  for (size_t i = 0; i < d.lines(); i++) {
    weights.push_back(d.weight(i));
    jobs.push_back(d.job(i));
    recorded.push_back(d.recorded(i));
  }
  // Two denials within the first block both count; its copy counts nothing.
  EXPECT_EQ((std::vector<int>{1, 0, 5, 5, 0, 0, 0, 0, 0, 1, 0, 5, 0, 5}), weights);
  EXPECT_EQ((std::vector<int>{3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 3}), jobs);
  EXPECT_EQ((std::vector<bool>{false, false, true, true, false, false, true, true, false, false,
                               false, true, false, false}),
            recorded);
  ASSERT_NE(nullptr, d.best());
  EXPECT_STREQ("filter-permissions", d.best()->name);
  EXPECT_EQ(20, d.best()->score);
  EXPECT_EQ((std::vector<size_t>{2, 3, 11, 13}), d.unlisted_leads());
  expect_counts_agree(*kb, d, log, listed);
}

// A piece that continues a long line is no line of its own, whatever its
// text: it weighs nothing, is not counted and stays with its line's job.
TEST(Diagnosis, PiecesOfALongLineWeighNothing) {
  std::unique_ptr<ErrorXML> kb = context_kb();
  std::string head = at("10:00:00", 'D', kRecorded);
  std::string document = "D [09/Dec/2026:10:00:00 +0000] [Job 3] %!PS ";
  document.resize(10239, 'x');  // a full piece, without its newline
  std::string forged = at("10:00:00", 'E', "Disk full");
  Diagnosis d(*kb);
  d.weigh(head.c_str(), false);
  d.weigh(document.c_str(), false);
  EXPECT_EQ(nullptr, d.weigh(forged.c_str(), true));
  EXPECT_EQ(nullptr, d.weigh(forged.c_str(), true, true));  // said so by the reader
  EXPECT_NE(nullptr, d.weigh(forged.c_str(), true));        // a line of its own again
  EXPECT_TRUE(d.continued(2) && d.continued(3) && !d.continued(4));
  EXPECT_TRUE(d.recorded(2));
  EXPECT_EQ(3, d.job(2));
  EXPECT_EQ(0, d.weight(2));
  EXPECT_EQ(std::vector<size_t>{4}, d.leads());
  EXPECT_EQ(1u, d.weighed());  // the listed lines: the last one alone
  // A line of three pieces: the middle one is full too.
  d.weigh(document.c_str(), false);
  d.weigh(document.c_str(), false);
  EXPECT_EQ(nullptr, d.weigh(forged.c_str(), true));
  EXPECT_TRUE(d.continued(6) && d.continued(7));
  // A line given whole, longer than a piece, is no piece: the next one counts.
  std::string whole = "D [09/Dec/2026:10:00:00 +0000] " + std::string(20000, 'y') + "\n";
  d.weigh(whole.c_str(), false);
  EXPECT_NE(nullptr, d.weigh(forged.c_str(), true));
  EXPECT_FALSE(d.continued(9));
  // Keeping counts alone: a piece leads nowhere, whatever it says.
  Diagnosis flat(*kb, 0, Diagnosis::Keep::Counts);
  flat.weigh(head.c_str(), false);
  flat.weigh(document.c_str(), false);
  flat.weigh(forged.c_str(), true);
  flat.weigh(forged.c_str(), true, true);
  for (int i = 0; i < 20000; i++) flat.weigh(head.c_str(), false);
  flat.weigh(forged.c_str(), true);
  int disk = kb->find_item_index(forged.c_str(), forged.size());
  EXPECT_EQ(20005u, flat.lines());
  EXPECT_EQ(1u, flat.lead_count());
  EXPECT_FALSE(flat.leads_to(2, disk, true));
  EXPECT_FALSE(flat.leads_to(3, disk, true));
  EXPECT_TRUE(flat.leads_to(20004, disk, true));
  EXPECT_FALSE(flat.leads_to(20004, disk, false));  // the listed lines decided
  EXPECT_FALSE(flat.leads_to(20005, disk, true));   // never given
}

// The queue a message names, in the shapes the server writes.
TEST(Diagnosis, QueueNamedInTheServersShapes) {
  struct {
    const char *message, *queue;
  } cases[] = {
      {"Printer \"Lab_PS\" stopped by \"root\".\n", "lab_ps"},
      {"Printer \\\"lab\\\" stopped by \\\"root\\\".\n", "lab"},
      {"[Client 4] Class 'office' rejecting jobs (\"x\").\n", "office"},
      {"Denying user \"bob\" access to printer \"front\"...\n", "front"},
      {"[Job 7] Unable to queue job for destination \"dest\".\n", "dest"},
      {"[Job 7] Queued on \"q1\" by \"root\".\n", "q1"},
      {"All jobs on \"q2\" were held by \"root\".\n", "q2"},
      {"[Client 2] Returning IPP client-error-not-found for Get-Printer-Attributes "
       "(ipp://localhost:631/printers/office) from localhost.\n", "office"},
      {"Get-Printer-Attributes ipp://localhost/classes/all-floors\n", "all-floors"},
      {"[Printer lab] printer-state-changed: Now accepting jobs.\n", "lab"},
      {"Setting Office_Raw printer-state to 3 (was 5.)\n", "office_raw"},
      {"Setting Office_Raw device-uri to \"socket://x\" (was \"file:///dev/null\".)\n",
       "office_raw"},
      {"Setting up the queue\n", ""},
      {"[Job 2] The printer may not exist or is unavailable at this time.\n", ""},
      {"Get-Printer-Attributes client-error-not-found: The printer or class does not exist.\n", ""},
      {"Subprinter \"x\" is no printer\n", ""},
      {"Printer \"unterminated\n", ""},
      {"", ""},
  };
  for (const auto &c : cases) EXPECT_EQ(c.queue, queue_named(c.message)) << c.message;
}
