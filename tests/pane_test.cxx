// pane_test.cxx - what the pane shows for a clicked line, and what
// Diagnose weighs, selects and shows; real widgets under the test display.
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include "app/ErrorLog.h"
#include "knowledge/ErrorXML.h"
#include "tests/support/widget_util.h"

namespace {

// A small knowledge base: a printer remedy with a heavy, a light and a
// weightless item, a disk remedy, and an item for warnings.
const char *kKnowledge =
    "<remedy name=\"printer\">\n"
    "<P>Check the printer's cable.</P>\n"
    "<item level=\"E\" pattern=\"Printer not connected*\" severity=\"5\">\n"
    "<P>The printer is unplugged.</P>\n"
    "</item>\n"
    "<item level=\"E\" pattern=\"Printer slow*\" severity=\"2\">\n"
    "<P>The printer answers slowly.</P>\n"
    "</item>\n"
    "<item level=\"I\" pattern=\"Printer idle*\" severity=\"0\">\n"
    "<P>Nothing to print.</P>\n"
    "</item>\n"
    "</remedy>\n"
    "<remedy name=\"disk\">\n"
    "<P>Free some disk space.</P>\n"
    "<item level=\"E\" pattern=\"Disk full*\" severity=\"11\">\n"
    "<P>The spool disk is full.</P>\n"
    "</item>\n"
    "<item level=\"W\" pattern=\"Disk nearly full*\" severity=\"20\">\n"
    "<P>The spool disk fills up.</P>\n"
    "</item>\n"
    "</remedy>\n";

struct Explain : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("error_log");
  std::unique_ptr<ErrorLog> log;
  char cwd[4096];

  // The window reads "errors.xml" from the working directory.
  void open(const std::string &lines, const std::string &knowledge = kKnowledge) {
    write_file(dir.file("errors.xml"), knowledge);
    write_file(path, lines);
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    log.reset(new ErrorLog(path.c_str()));
    ASSERT_EQ(chdir(cwd), 0);
  }
  std::string pane() { return log->help_->value() ? log->help_->value() : ""; }
  // The foot of an explanation or a diagnosis: the file it came from.
  std::string foot() { return "<P><I>Knowledge base: <TT>" + dir.file("errors.xml") + "</TT></I></P>\n"; }
  // A plain left click on a line of the shown list, as the toolkit delivers it.
  void click_line(int line, int state = 0) {
    ErrorBrowser *list = log->list_;
    Fl::e_x = list->x() + 100;
    Fl::e_y = list->y() + 2 + (line - 1) * 16 + 8;
    Fl::e_x_root = Fl::e_x;
    Fl::e_y_root = Fl::e_y;
    Fl::e_state = state | FL_BUTTON1;
    Fl::e_keysym = FL_Button + 1;
    Fl::e_clicks = 0;
    Fl::e_is_click = 1;
    Fl::handle(FL_PUSH, log->window_);
    Fl::e_state = state;
    Fl::handle(FL_RELEASE, log->window_);
  }
};

TEST_F(Explain, ClickDocuments) {
  open(log_line('E', "Printer not connected to lp0") + log_line('E', "Odd <b>bold</b> & more"));
  ErrorBrowser *list = log->list_;
  EXPECT_TRUE(is_start_page(pane())) << pane();  // no line is explained yet
  list->select(2);
  log->list_cb();
  EXPECT_EQ(pane(),
            "<H1>Description</H1>\n<P>The printer is unplugged.</P>\n\n"
            "<H1>Remedy</H1>\n<P>Check the printer's cable.</P>\n\n" + foot());
  // Text from the log is shown as text, never as markup.
  list->select(1);
  log->list_cb();
  EXPECT_EQ(pane(),
            "<H1>Unrecognized Error Message</H1>\n"
            "<P>Clicked on the following, unrecognized line:</P>\n"
            "<PRE>E [08/Dec/2026:17:23:40 +0000] Odd &lt;b&gt;bold&lt;/b&gt; &amp; more\n</PRE>\n" +
            foot());
  // No current line: the start page.
  log->reload();
  list->deselect();
  write_file(path, "");
  log->reload();
  log->list_cb();
  EXPECT_TRUE(is_start_page(pane())) << pane();
}

TEST_F(Explain, DiagnoseWeighsTheListedLinesAndSelectsTheWinnersLines) {
  // Printer: 3 x 5 + 2 = 17 against disk 11; the weightless line of the
  // printer remedy is selected too, but only when it is listed.
  std::string lines = log_line('E', "Printer not connected") + log_line('E', "Disk full") +
                      log_line('I', "Printer idle") + log_line('E', "Printer not connected") +
                      log_line('E', "Printer slow") + log_line('E', "Printer not connected") +
                      log_line('W', "Disk nearly full") + log_line('E', "Unknown thing");
  open(lines);
  ErrorBrowser *list = log->list_;
  ASSERT_EQ(list->size(), 6);  // Errors level: no I or W lines
  log->diagnose_cb();
  // The remedy's text, then its name and score, what was weighed and the
  // next remedy.
  EXPECT_EQ(pane(), "<H1>Remedy</H1>\n<P>Check the printer's cable.</P>\n\n"
                    "<P>Remedy <TT>printer</TT>, score 17: 6 lines weighed, 5 explained, "
                    "0 unknown; 4 point to it.</P>\n<P>Next: <TT>disk</TT>, score 11.</P>\n" + foot());
  EXPECT_EQ(selected_of(list), (std::vector<int>{2, 3, 4, 6}));
  EXPECT_EQ(list->value(), 2);  // the matching line nearest the top
  for (int i = 0; i < log->xml_->num_remedies_; i++) {
    if (!strcmp(log->xml_->remedies_[i]->name, "printer")) {
      EXPECT_EQ(log->xml_->remedies_[i]->score, 17);
    }
  }

  // At the All level the warning weighs 20 more for the disk.
  log->level(2);
  log->diagnose_cb();
  EXPECT_EQ(pane(), "<H1>Remedy</H1>\n<P>Free some disk space.</P>\n\n"
                    "<P>Remedy <TT>disk</TT>, score 31: 8 lines weighed, 7 explained, "
                    "0 unknown; 2 point to it.</P>\n<P>Next: <TT>printer</TT>, score 17.</P>\n" + foot());
  EXPECT_EQ(selected_of(list), (std::vector<int>{2, 7}));
  EXPECT_EQ(list->value(), 2);

  // A Ctrl-click toggles one line and keeps the others; a plain click
  // afterwards selects just the clicked line and explains it.
  log->window_->show();
  // Let the window map and draw: the list finds clicked lines from its drawing.
  for (int i = 0; i < 20; i++) {
    Fl::check();
    usleep(20000);
  }
  log->window_->redraw();
  Fl::flush();
  click_line(5, FL_CTRL);
  EXPECT_EQ(selected_of(list), (std::vector<int>{2, 5, 7}));
  EXPECT_NE(pane().find("The printer is unplugged"), std::string::npos);
  click_line(6);
  EXPECT_EQ(selected_of(list), std::vector<int>{6});
  EXPECT_EQ(list->value(), 6);
  EXPECT_NE(pane().find("Nothing to print"), std::string::npos);
}

TEST_F(Explain, DiagnoseWithNothingToWeigh) {
  const std::string nothing =
      "<H1>No Errors Found</H1>\n<P>No errors were found that require a remedy.</P>\n";
  struct {
    std::string lines, knowledge;
  } cases[] = {
      {"", kKnowledge},
      {log_line('E', "Something else") + log_line('E', "Also unknown"), kKnowledge},
      // A knowledge base that yields no item is no knowledge base.
      {log_line('E', "Printer not connected"), ""},
  };
  for (auto &c : cases) {
    open(c.lines, c.knowledge);
    log->diagnose_cb();
    EXPECT_EQ(selected_of(log->list_), std::vector<int>{});
    if (c.knowledge.empty()) {
      EXPECT_EQ(pane(), "<H1>No Knowledge Base</H1>\n<P>There is no knowledge base to weigh the "
                        "lines against: <TT>" + dir.file("errors.xml") + "</TT> yields no item.</P>\n");
      continue;
    }
    EXPECT_EQ(pane(), nothing + foot());
    EXPECT_EQ(selected_of(log->list_), std::vector<int>{});
    EXPECT_EQ(log->list_->value(), log->list_->size());  // the last line is current
  }
  // Only weightless lines: nothing is found either.
  open(log_line('I', "Printer idle"));
  log->level(1);
  log->diagnose_cb();
  EXPECT_EQ(pane(), nothing + foot());
}

TEST_F(Explain, ALongRemedyReadsTheSameFromDiagnoseAndFromAClick) {
  std::string para = "<P>" + std::string(3000, 'r') + "</P>\n";
  std::string knowledge = "<remedy name=\"long\">\n" + para +
                          "<item level=\"E\" pattern=\"Long*\" severity=\"1\">\n<P>x</P>\n"
                          "</item>\n</remedy>\n";
  open(log_line('E', "Long story"), knowledge);
  log->diagnose_cb();
  EXPECT_EQ(pane(), "<H1>Remedy</H1>\n" + para + "\n<P>Remedy <TT>long</TT>, score 1: 1 line "
                    "weighed, 1 explained, 0 unknown; 1 points to it.</P>\n" + foot());
  log->list_->select(1);
  log->list_cb();
  EXPECT_NE(pane().find(para), std::string::npos);
}

// A long line is one line to click and to weigh, at the level of its first
// letter: a 2 MB E line is explained as E from any of its pieces and weighs
// once, though each piece after the first starts with an A; a job's recorded
// document line with an E line's text at its 10,240th byte is a D line.
TEST_F(Explain, ALongLineIsOneLineToClickAndToDiagnose) {
  std::string knowledge = std::string(kKnowledge) +
                          "<remedy name=\"alert\">\n<P>Alert.</P>\n"
                          "<item level=\"A\" pattern=\"*\" severity=\"1\">\n<P>An alert.</P>\n</item>\n"
                          "</remedy>\n<remedy name=\"device\">\n<P>Plug it in.</P>\n"
                          "<item level=\"E\" pattern=\"Unable to open device*\" severity=\"50\">\n"
                          "<P>No device.</P>\n</item>\n</remedy>\n";
  std::string big = log_line('E', "Printer not connected " + std::string(2 << 20, 'A'));
  std::string doc = "D [09/Dec/2026:10:00:00 +0000] [Job 5] %!PS ";
  doc += std::string(LogReader::kPiece - doc.size(), 'd') + log_line('E', "Unable to open device");
  doc.pop_back();
  doc += std::string(20000 - doc.size(), 'd') + "\n";
  open(log_line('E', "Disk full") + doc + big, knowledge);
  ErrorBrowser *list = log->list_;
  int pieces = (int)((big.size() + LogReader::kPiece - 1) / LogReader::kPiece);
  ASSERT_EQ(list->size(), pieces + 1);  // the long E line and the disk line; no D line
  for (int line : {1, 2, pieces}) {
    list->select(line);
    log->list_cb();
    EXPECT_NE(pane().find("The printer is unplugged"), std::string::npos) << "piece " << line;
  }
  log->diagnose_cb();
  // 11 against 5; the long line weighs once.
  EXPECT_EQ(pane().rfind("<H1>Remedy</H1>\n<P>Free some disk space.</P>\n", 0), 0u) << pane();
  EXPECT_NE(pane().find("<TT>disk</TT>, score 11: 2 lines weighed"), std::string::npos) << pane();
  EXPECT_EQ(selected_of(list), std::vector<int>{pieces + 1});
  auto score = [&](const char *name) { return log->xml_->find_remedy(name)->score; };
  EXPECT_EQ(score("printer"), 5);
  EXPECT_EQ(score("alert"), 0);
  EXPECT_EQ(score("device"), 0);
  // At the All level the document line is listed, as a D line, in two
  // pieces; its second piece, the forged text, explains the D line.
  log->level(2);
  ASSERT_EQ(list->size(), pieces + 3);
  list->select(pieces + 2);
  ASSERT_TRUE(list->continuation(list->current_item()));
  log->list_cb();
  EXPECT_NE(pane().find("<PRE>D [09/Dec/2026:10:00:00 +0000] [Job 5]"), std::string::npos);
  log->diagnose_cb();
  EXPECT_EQ(score("device"), 0);
  EXPECT_EQ(score("printer"), 5);
}

TEST_F(Explain, DiagnoseOverManyLinesStaysLinear) {
  std::string lines;
  for (int i = 0; i < 200000; i++)
    lines += log_line('E', i % 3 ? "Printer not connected" : "Something unknown here");
  open(lines);
  ASSERT_EQ(log->list_->size(), 200000);
  auto start = std::chrono::steady_clock::now();
  log->diagnose_cb();
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(took, 5.0);
  EXPECT_EQ(log->list_->value(), 1);
  EXPECT_TRUE(log->list_->selected(199999));
  EXPECT_FALSE(log->list_->selected(200000));  // the oldest line is unknown
}

// The shipped knowledge base, as the window reads it.
std::string shipped_knowledge() {
  std::string kb;
  FILE *f = fopen(VEKLOG_SOURCE_DIR "/data/errors.xml", "rb");
  char buf[65536];
  size_t n;
  while (f && (n = fread(buf, 1, sizeof buf, f)) > 0) kb.append(buf, n);
  if (f) fclose(f);
  return kb;
}

// At the Errors level a refused connection shows nothing: the server wrote
// W lines only. Diagnose names the remedy from them, quotes them (as text)
// with a link, and the link shows them selected at the All level.
TEST_F(Explain, DiagnoseFindsTheCauseInLinesTheViewDoesNotList) {
  std::string lines =
      "I [09/Dec/2026:17:15:30 +0000] [Job 2] Queued on \"lab\" by \"root\".\n"
      "E [09/Dec/2026:17:15:31 +0000] Something no item knows\n"
      "W [09/Dec/2026:17:15:36 +0000] [Job 2] The printer may not exist or is unavailable at this time.\n"
      "D [09/Dec/2026:17:15:40 +0000] [Job 2] Connecting to lab <port 9100>\n"
      "W [09/Dec/2026:17:16:06 +0000] [Job 2] The printer did not respond <b>at all</b>.\n"
      "I [09/Dec/2026:17:16:07 +0000] [Job 1] Job completed.\n";
  open(lines, shipped_knowledge());
  ErrorBrowser *list = log->list_;
  ASSERT_EQ(1, list->size());
  log->diagnose_cb();
  std::string doc = pane();
  ErrorXMLRemedy *remedy = log->xml_->find_remedy("network-printer-unreachable");
  ASSERT_NE(nullptr, remedy);
  EXPECT_EQ(0u, doc.find("<H1>Remedy</H1>\n" + std::string(remedy->text) + "\n")) << doc;
  EXPECT_NE(std::string::npos, doc.find("<TT>network-printer-unreachable</TT>, score 10: 6 lines "
                                        "weighed, 6 explained, 1 unknown; 2 point to it.")) << doc;
  EXPECT_NE(std::string::npos,
            doc.find("<H2>Found in lines this view does not list</H2>\n<P>2 lines the level "
                     "leaves out point to this remedy. <A HREF=\"veklog:unlisted\">Show them at "
                     "the All level</A>.</P>\n<PRE>"
                     "W [09/Dec/2026:17:15:36 +0000] [Job 2] The printer may not exist or is "
                     "unavailable at this time.\n"
                     "W [09/Dec/2026:17:16:06 +0000] [Job 2] The printer did not respond "
                     "&lt;b&gt;at all&lt;/b&gt;.\n</PRE>\n")) << doc;
  EXPECT_EQ(selected_of(list), std::vector<int>{});  // none of them is listed

  // The toolkit follows the link through the pane's link callback.
  EXPECT_EQ(0, log->help_->load("veklog:unlisted"));
  EXPECT_EQ(2, list->level_);
  EXPECT_NE(0, log->menubar_->find_item("&View/&All")->value());
  EXPECT_EQ(0, log->menubar_->find_item("&View/&Errors")->value());
  ASSERT_EQ(6, list->size());
  EXPECT_EQ(selected_of(list), (std::vector<int>{2, 4}));
  EXPECT_EQ(list->value(), 2);
  EXPECT_EQ(doc, pane());  // the document stays
}

// A log whose only errors are unknown to the knowledge base is no all-clear:
// the remedy for unknown messages is named and its lines selected.
TEST_F(Explain, DiagnoseNamesUnknownErrorLines) {
  std::string lines;
  for (char level : std::string("XACE"))
    lines += std::string(1, level) + " [09/Dec/2026:17:20:00 +0000] A message the server never wrote before\n";
  lines += "I [09/Dec/2026:17:20:01 +0000] [Job 1] Job completed.\n";
  open(lines, shipped_knowledge());
  log->diagnose_cb();
  ErrorXMLRemedy *unknown = log->xml_->find_remedy("unlisted-message");
  ASSERT_NE(nullptr, unknown);
  EXPECT_EQ(0u, pane().find("<H1>Remedy</H1>\n" + std::string(unknown->text))) << pane();
  EXPECT_NE(std::string::npos, pane().find("<TT>unlisted-message</TT>, score 7:")) << pane();
  EXPECT_EQ(std::string::npos, pane().find("veklog:unlisted"));
  EXPECT_EQ(selected_of(log->list_), (std::vector<int>{1, 2, 3, 4}));
  // A link with no unlisted lines behind it selects nothing at the All level.
  EXPECT_EQ(0, log->help_->load("veklog:unlisted"));
  EXPECT_EQ(2, log->list_->level_);
  EXPECT_EQ(selected_of(log->list_), std::vector<int>{});
}

}  // namespace
