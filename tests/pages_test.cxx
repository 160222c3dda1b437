// pages_test.cxx - the pane's own pages from the facts the window hands them:
// the notices, the start page, the keys, a job's story, a one-line meaning;
// no toolkit, no knowledge base.
#include <errno.h>

#include <gtest/gtest.h>

#include "app/Pages.h"

namespace {

bool has(const std::string &doc, const std::string &part) { return doc.find(part) != std::string::npos; }

PaneFacts good_log() {
  PaneFacts f;
  f.cwd = "/work";
  f.path = "/var/log/tarn/error_log";
  f.kb_tried = {"errors.xml"};
  f.kb_loaded = "errors.xml";
  f.kb_shown = "/work/errors.xml";
  f.kb_items = 3;
  return f;
}

TEST(Pages, NoticesSayWhatKeepsTheLogOrTheKnowledgeBaseFromUse) {
  struct {
    const char *what;
    void (*change)(PaneFacts &);
    std::vector<std::string> says;
  } cases[] = {
      {"nothing wrong", [](PaneFacts &) {}, {}},
      {"missing", [](PaneFacts &f) { f.failed = true; f.error = ENOENT; f.reason = "No such file or directory"; },
       {"<H1>Cannot Read the Log</H1>", "<TT>/var/log/tarn/error_log</TT> cannot be read: No such file",
        "keeps looking for"}},
      {"a directory", [](PaneFacts &f) { f.failed = true; f.error = EISDIR; f.reason = "is a directory"; },
       {"cannot be read: it is a directory", "<TT>veklog /var/log/tarn/error_log/error_log</TT>"}},
      {"too long", [](PaneFacts &f) { f.failed = true; f.name_too_long = true; }, {"name is too long"}},
      {"no name", [](PaneFacts &f) { f.failed = true; f.path = ""; }, {"No log file is named"}},
      {"damaged", [](PaneFacts &f) { f.damaged = true; f.reason = "compressed data is damaged (<fd:3>: invalid block type)"; },
       {"<H1>Damaged Compressed Log</H1>", " (invalid block type)</P>"}},
      {"no knowledge base", [](PaneFacts &f) { f.kb_loaded = ""; f.kb_tried = {"errors.xml", "/usr/share/tarn/data/errors.xml"}; },
       {"<H1>No Knowledge Base</H1>", "<TT>/work/errors.xml</TT> and <TT>/usr/share/tarn/data/errors.xml</TT>"}},
      {"a broken entry", [](PaneFacts &f) { f.kb_errors = 1; },
       {"1 entry of <TT>/work/errors.xml</TT>", "veklog-explain --check-kb /work/errors.xml"}},
      {"no item", [](PaneFacts &f) { f.kb_items = 0; f.kb_errors = 1; },
       {"<H1>Errors in the Knowledge Base</H1>", "<TT>/work/errors.xml</TT> yields no item"}},
      {"not UTF-8", [](PaneFacts &f) { f.kb_items = 0; f.kb_refused = "it is UTF-16 (big-endian)"; },
       {"<H1>Errors in the Knowledge Base</H1>", "cannot be read: it is UTF-16 (big-endian)",
        "<TT>veklog-explain --check-kb /work/errors.xml</TT>"}},
      {"planted", [](PaneFacts &f) {
         f.kb_ignored = {"errors.xml: its directory /work may be written by others (mode 1777)"};
         f.kb_loaded = f.kb_shown = "/usr/share/tarn/data/errors.xml"; },
       {"<H1>Knowledge Base Ignored</H1>", "<LI>/work/errors.xml: its directory /work may be written",
        "Using <TT>/usr/share/tarn/data/errors.xml</TT>"}},
      {"markup in a name", [](PaneFacts &f) { f.failed = true; f.path = "<b>log"; f.error = ENOENT; },
       {"<TT>&lt;b&gt;log</TT>"}},
  };
  for (auto &c : cases) {
    PaneFacts f = good_log();
    c.change(f);
    std::string doc = notice_page(f);
    EXPECT_EQ(doc.empty(), c.says.empty()) << c.what << ": " << doc;
    for (const std::string &part : c.says) EXPECT_TRUE(has(doc, part)) << c.what << ": " << doc;
    // The start page says the same first.
    if (!doc.empty()) {
      EXPECT_EQ(start_page(f, StartFacts()).rfind(doc, 0), 0u) << c.what;
    }
  }
  PaneFacts f = good_log();
  f.failed = true;
  f.error = EACCES;
  EXPECT_TRUE(has(diagnose_unreadable_page(f), "<H1>Could Not Read the Log</H1>"));
  EXPECT_TRUE(has(diagnose_unreadable_page(f), "Permission denied"));
  f = good_log();
  f.kb_loaded = "";
  EXPECT_TRUE(has(diagnose_no_knowledge_page(f), "no knowledge base to weigh the lines against"));
  f = good_log();
  f.kb_items = 0;
  EXPECT_TRUE(has(diagnose_no_knowledge_page(f), "<TT>/work/errors.xml</TT> yields no item"));
  EXPECT_EQ("<P><I>Knowledge base: <TT>/work/errors.xml</TT></I></P>\n", kb_foot(good_log()));
  f.kb_shown = "";
  EXPECT_EQ("", kb_foot(f));
}

TEST(Pages, TheStartPageSaysWhatTheLogHolds) {
  StartFacts s;
  s.level = 1;
  s.listed = 12;
  s.at_level[0] = 5;
  s.at_level[1] = 12;
  s.at_level[2] = 40;
  s.unknown = 1;
  s.newest = "08/Dec/2026:12:39:21 +0000";
  s.following = true;
  std::string doc = start_page(good_log(), s);
  for (const char *part :
       {"<H2>The Log</H2>", "<TT>/var/log/tarn/error_log</TT>, followed", "<B>12 lines listed at the Informational level</B>",
        "5 at the Errors level", "12 at the Informational level", "40 in all",
        "1 error line the knowledge base does not know", "The newest line: 08/Dec/2026:12:39:21 +0000",
        "<TT>Ctrl+D</TT> Diagnose", "<TT>Ctrl+F</TT> or <TT>/</TT> Find", "<TT>Ctrl+L</TT> or <TT>&amp;</TT> Filter",
        "<TT>Ctrl+1</TT>", "<TT>F1</TT> Every key"})
    EXPECT_TRUE(has(doc, part)) << part << "\n" << doc;
  EXPECT_FALSE(has(doc, "filter is on"));
  s.filter = "<lab>";
  s.following = false;
  doc = start_page(good_log(), s);
  EXPECT_TRUE(has(doc, "listed at the Informational level, filtered"));
  EXPECT_TRUE(has(doc, "<B>A filter is on:</B> only the lines that hold &quot;<TT>&lt;lab&gt;</TT>&quot;"));
  EXPECT_TRUE(has(doc, ", not followed."));
  PaneFacts gz = good_log();
  gz.compressed = true;
  EXPECT_TRUE(has(start_page(gz, StartFacts()), "compressed: read whole"));
  EXPECT_TRUE(has(start_page(gz, StartFacts()), "The newest line: none has a time"));
  // Every key of the window is on the page of keys.
  std::string keys = keys_page();
  for (const char *key : {"Ctrl+D", "Ctrl+F", "F3", "Shift+F3", "Ctrl+L", "Ctrl+1", "Ctrl+3", "F5", "J",
                          "Escape", "End", "Ctrl+C", "Ctrl+Q", "F1"})
    EXPECT_TRUE(has(keys, std::string("<TT>") + key + "</TT>")) << key;
}

// What the start page and the notices say of the source: a journal, its
// host, why it was chosen, a rotated set's parts and those left out.
TEST(Pages, TheSourceAndWhyItWasChosen) {
  struct {
    const char *source, *host, *why;
    size_t parts;
    std::vector<std::string> notes;
    bool failed;
    std::vector<std::string> says;
  } cases[] = {
      {"", "", "Reading /l, the ErrorLog of /etc/tarn/tarn-files.conf.", 2, {"/l.2.gz: Permission denied"},
       false,
       {"<H2>The Log</H2>", "<TT>/l</TT>, after its 2 rotated parts as one history",
        "<P>Reading /l, the ErrorLog of /etc/tarn/tarn-files.conf.</P>", "<TT>/l.2.gz: Permission denied</TT>"}},
      {"the journal directory /r", "beta", "", 0, {}, false,
       {"<H2>The Journal</H2>", "entries in the journal directory /r, of the host <TT>beta</TT> alone"}},
      {"the system journal", "", "ErrorLog is syslog: the system journal.", 0, {}, false,
       {"in the system journal, every host's", "<P>ErrorLog is syslog: the system journal.</P>"}},
      {"the system journal", "", "ErrorLog is syslog.", 0, {}, true,
       {"<H1>Cannot Read the Log</H1>", "<P>The system journal cannot be read: Permission denied.",
        "<TT>systemd-journal</TT> or <TT>adm</TT>", "<P>ErrorLog is syslog.</P>"}},
  };
  for (const auto &c : cases) {
    PaneFacts f;
    f.path = c.source[0] ? "" : "/l";
    f.source = c.source;
    f.host = c.host;
    f.reason_chosen = c.why;
    f.parts = c.parts;
    f.notes = c.notes;
    f.failed = c.failed;
    f.error = c.failed ? EACCES : 0;
    f.reason = c.failed ? "Permission denied" : "";
    f.kb_loaded = f.kb_shown = "/kb/errors.xml";
    f.kb_items = 1;
    std::string page = start_page(f, StartFacts());
    for (const std::string &want : c.says) EXPECT_NE(page.find(want), std::string::npos) << want << "\n" << page;
  }
}

TEST(Pages, AJobsStory) {
  Story s;
  s.job = 420;
  s.left_out = 3;
  s.lines = {
      {"I [08/Dec/2026:10:03:40 +0000] [Job 420] Queued on \"label-1\" by \"dave\".\n", "A job was queued.", false, false},
      {"E [08/Dec/2026:10:03:41 +0000] [Job 420] Job stopped due to <filter> errors.\n", "", false, true},
      {"D [08/Dec/2026:10:03:41 +0000] [Job 420] 2 filters for job:\n", "The filters.", true, false},
      {"odd line\n", "", false, false},
  };
  std::string doc = story_section(s);
  for (const char *part :
       {"<H2>Job 420, all its lines</H2>", "The job's 7 lines at every level, oldest first (the 3 lines before these left out)",
        "<P><TT>I 10:03:40 Queued on \"label-1\" by \"dave\".</TT><BR>\n<I>A job was queued.</I></P>",
        "<P><B><TT>E 10:03:41 Job stopped due to &lt;filter&gt; errors.</TT></B> (the line explained above)",
        "<I>Not in the knowledge base.</I>", "<I>Recorded: The filters.</I>", "<TT>odd line</TT>",
        "Diagnose over this job's lines alone finds nothing"})
    EXPECT_TRUE(has(doc, part)) << part << "\n" << doc;
  s.remedy = "filter-missing";
  s.remedy_text = "<P>Install the filter.</P>";
  s.score = 7;
  doc = story_section(s);
  EXPECT_TRUE(has(doc, "<H3>Remedy for this job</H3>\n<P>Install the filter.</P>\n<P>Diagnose over this job's lines alone "
                       "names <TT>filter-missing</TT>, score 7.</P>"))
      << doc;
  s.same_remedy = true;
  doc = story_section(s);
  EXPECT_TRUE(has(doc, "names the remedy above: <TT>filter-missing</TT>, score 7."));
  EXPECT_FALSE(has(doc, "Install the filter"));
  // A long line is quoted cut.
  s.lines = {{"E [08/Dec/2026:10:03:41 +0000] [Job 420] " + std::string(500, 'x') + "\n", "", false, false}};
  EXPECT_TRUE(has(story_section(s), "<TT>E 10:03:41 " + std::string(240 - 11, 'x') + "...</TT>"));
}

TEST(Pages, TheOneLineMeaningIsTheFirstSentence) {
  struct {
    const char *html, *want;
  } cases[] = {
      {"<P>The printer is unplugged. Plug it in.</P>", "The printer is unplugged."},
      {"<P>Address 10.0.0.1 is used. Really.</P>", "Address 10.0.0.1 is used."},
      {"<P>No stop at all</P>", "No stop at all"},
      {"<P>Line\nbreaks   and <TT>tags</TT> go.</P>", "Line breaks and tags go."},
      {"<P>Is it gone?</P><P>Yes.</P>", "Is it gone?"},
      {"<P>A &lt;tag&gt; is text.</P>", "A &lt;tag&gt; is text."},
      {"", ""},
      {nullptr, ""},
  };
  for (auto &c : cases) EXPECT_EQ(first_sentence(c.html), c.want) << (c.html ? c.html : "null");
  std::string cut = first_sentence(("<P>" + std::string(190, 'a') + " &amp;&amp; more words here").c_str());
  EXPECT_EQ(cut, std::string(190, 'a') + " &amp;...");
  EXPECT_LE(first_sentence(std::string(1000, 'b').c_str()).size(), 203u);
}

}  // namespace
