// cli_window_test.cxx - veklog-explain --diagnose gives the window's answer:
// on each scenario log and level, the built program (run without a display)
// names the remedy whose text the window's Diagnose shows, and the lines it
// says point to it are the lines the window selects. The window runs under
// the test display in this same process.
#include <stdio.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include <FL/Fl.H>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/ErrorLog.h"
#include "knowledge/ErrorXML.h"
#include "tests/support/widget_util.h"

namespace {

const std::string kSource = VEKLOG_SOURCE_DIR;

std::string run(const std::string &command) {
  std::string out;
  FILE *p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

TEST(ExplainAndWindow, DiagnoseNamesTheSameRemedyAndLines) {
  const char *logs[] = {"scenario_disk_full.log", "scenario_expired_cert.log",
                        "scenario_missing_filter.log", "scenario_routine.log",
                        "scenario_unplugged.log"};
  const char *levels[] = {"errors", "info", "all"};
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  int named = 0;
  for (const char *name : logs) {
    std::string log = std::string(VEKLOG_TEST_DIR) + "/data/" + name;
    // The window finds data/errors.xml from the source tree's root.
    ASSERT_EQ(0, chdir((kSource + "/data").c_str()));
    std::unique_ptr<ErrorLog> window(new ErrorLog(log.c_str()));
    ASSERT_EQ(0, chdir(cwd));
    for (int level = 0; level < 3; level++) {
      SCOPED_TRACE(std::string(name) + " at level " + levels[level]);
      window->level(level);
      window->diagnose_cb();
      std::string pane = window->help_->value() ? window->help_->value() : "";
      std::vector<std::string> selected;
      for (int i : selected_of(window->list_)) selected.push_back(window->list_->text(i));

      std::string out = run("env -u DISPLAY " VEKLOG_EXPLAIN " --json --diagnose --kb " +
                            kSource + "/data/errors.xml --level=" + levels[level] + " " + log);
      nlohmann::json d = nlohmann::json::parse(out, nullptr, false);
      ASSERT_FALSE(d.is_discarded()) << out;
      if (d["remedy"].is_null()) {
        EXPECT_NE(std::string::npos, pane.find("No Errors Found")) << pane;
        EXPECT_TRUE(selected.empty());
        continue;
      }
      named++;
      std::string remedy = d["remedy"]["name"];
      ErrorXMLRemedy *r = window->xml_->find_remedy(remedy.c_str());
      ASSERT_NE(nullptr, r) << remedy;
      // The remedy's text, then its name and the score both give it.
      EXPECT_EQ(0u, pane.find("<H1>Remedy</H1>\n" + std::string(r->text) + "\n<P>Remedy <TT>" +
                              remedy + "</TT>, score " +
                              std::to_string(d["remedy"]["score"].get<int>()) + ": "))
          << pane;
      EXPECT_EQ(!d["unlisted"].empty(), pane.find("veklog:unlisted") != std::string::npos);
      ASSERT_EQ(selected.size(), d["lines"].size());
      for (size_t i = 0; i < selected.size(); i++)
        EXPECT_EQ(selected[i], d["lines"][i].get<std::string>() + "\n");
    }
  }
  // Most scenarios call for a remedy; the routine one does not.
  EXPECT_GE(named, 10);
}

// The start-up pane counts the entries that the checker finds broken and
// names the command that lists them; a sound knowledge base gets no notice.
TEST(ExplainAndWindow, StartUpPaneCountsBrokenEntries) {
  const std::string good = "<remedy name=\"a\">\n<P>Do.</P>\n<item level=\"E\" "
                           "pattern=\"Foo*\" severity=\"5\">\n<P>Foo.</P>\n</item>\n";
  struct Case {
    std::string kb;
    const char *says;  // null: no notice at all
  } cases[] = {
      {good + "</remedy>\n", nullptr},
      {good + "<item level=\"E\" pattern=\"Bar\" severity=\"x\">\n</item>\n</remedy>\n",
       "2 entries of <TT>"},
      {good, "1 entry of <TT>"},
  };
  TempDir dir;
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  write_file(dir.file("error_log"), "E [08/Dec/2026:17:23:40 +0000] Foo\n");
  for (const Case &c : cases) {
    write_file(dir.file("errors.xml"), c.kb);
    ASSERT_EQ(0, chdir(dir.path.c_str()));
    std::unique_ptr<ErrorLog> window(new ErrorLog(dir.file("error_log").c_str()));
    ASSERT_EQ(0, chdir(cwd));
    std::string pane = window->help_->value() ? window->help_->value() : "";
    if (!c.says) {
      EXPECT_TRUE(is_start_page(pane)) << pane;  // no notice above the start page
      continue;
    }
    EXPECT_NE(std::string::npos, pane.find(c.says)) << pane;
    EXPECT_NE(std::string::npos,
              pane.find("<TT>veklog-explain --check-kb " + dir.file("errors.xml") + "</TT>"))
        << pane;
  }
}

}  // namespace
