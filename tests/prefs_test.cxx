// prefs_test.cxx - the preferences record: which rc file is read, how its
// lines are taken apart, the address list, and saving without losing data.
#include "prefs/prefs.h"
#include "tests/support/test_child.h"
#include "tests/support/test_util.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string &path, const std::string &text, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  chmod(path.c_str(), mode);
}

std::vector<std::string> list_dir(const std::string &dir) {
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Every field of a record on one line, so a failed comparison shows the difference.
std::string describe(const prefs_t *p) {
  if (!p) return "(null)";
  std::ostringstream os;
  os << "interval=" << p->interval << " toolbar=" << p->toolbar
     << " locationbar=" << p->locationbar << " modernskin=" << p->modernskin
     << " show_printers=" << p->show_printers << " show_jobs=" << p->show_jobs
     << " label_printers=" << p->label_printers << " label_jobs=" << p->label_jobs
     << " type=" << p->type << " type_mask=" << p->type_mask
     << " location='" << p->location << "' description='" << p->description << "' uris=[";
  for (int i = 0; i < p->num_uris; i++) os << (i ? "," : "") << "'" << p->uris[i] << "'";
  os << "]";
  return os.str();
}

// A record with the defaults, built independently of the loader.
prefs_t *default_record() {
  prefs_t *p = (prefs_t *)calloc(1, sizeof *p);
  p->interval = 30;
  p->toolbar = p->locationbar = p->modernskin = 1;
  p->label_printers = p->label_jobs = 23;
  return p;
}

std::string load_and_describe() {
  prefs_t *p = guiPrefsLoad();
  std::string s = describe(p);
  guiPrefsFree(p);
  return s;
}

// A temporary HOME and server configuration directory, both readable by the
// unprivileged user; the environment is put back afterwards.
class PrefsFiles : public testing::Test {
protected:
  TempDir scratch;
  std::string root_ = scratch.path, home_ = root_ + "/home", server_ = root_ + "/server";
  ScopedEnv home_env_{"HOME", home_.c_str()}, server_env_{"TARN_SERVERROOT", server_.c_str()};

  void SetUp() override {
    chmod(root_.c_str(), 0755);
    mkdir(home_.c_str(), 0755);
    mkdir(server_.c_str(), 0755);
  }
  std::string personal() const { return home_ + "/.vekrc"; }
  std::string system() const { return server_ + "/vekrc"; }

  // Loads the system file (the tests run as root) holding text.
  std::string load_text(const std::string &text) {
    write_file(system(), text);
    return load_and_describe();
  }
  prefs_t *load_with(const std::string &text) {
    write_file(system(), text);
    return guiPrefsLoad();
  }
};

using PrefsLoad = PrefsFiles;
using PrefsSave = PrefsFiles;

TEST_F(PrefsLoad, ReadsThePersonalFileForUsersAndTheSystemFileForRoot) {
  const std::string sys = "Interval 22\nLocation system\n";
  const std::string own = "Interval 11\n";
  enum Personal { kNone, kFile, kEmptyFile, kDirectory, kFifo, kNameTooLong };
  struct Case {
    const char *name;
    bool unprivileged;
    bool home_set;
    Personal personal;
    bool system;
    int interval;
    const char *location;
  } cases[] = {
    {"root reads only the system file", false, true, kFile, true, 22, "system"},
    {"root never falls back to the personal file", false, true, kFile, false, 30, ""},
    {"a user's personal file hides the system file", true, true, kFile, true, 11, ""},
    {"an empty personal file still counts", true, true, kEmptyFile, true, 30, ""},
    {"no personal file: system file", true, true, kNone, true, 22, "system"},
    {"HOME unset: system file", true, false, kFile, true, 22, "system"},
    {"personal path is a directory", true, true, kDirectory, true, 22, "system"},
    {"personal path is a FIFO", true, true, kFifo, true, 22, "system"},
    {"no file at all: defaults", true, true, kNone, false, 30, ""},
    {"a personal name too long is not cut to another file", true, true, kNameTooLong, true, 22,
     "system"},
  };
  // HOME such that "HOME/.vekrc" is 1024 characters: cut to fit a 1024-byte
  // buffer it would be "HOME/.vekr", which exists and must not be read.
  std::string long_home = home_ + "/deep";
  while (long_home.size() < 1017) {
    size_t room = 1017 - long_home.size() - 1;
    long_home += room ? "/" + std::string(std::min<size_t>(room, 200), 'n') : "x";
  }
  ASSERT_EQ((long_home + "/.vekrc").size(), 1024u);
  fs::create_directories(long_home);
  write_file(long_home + "/.vekr", own);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::remove_all(personal(), ec);
    fs::remove(system(), ec);
    if (c.personal == kFile) write_file(personal(), own);
    if (c.personal == kEmptyFile) write_file(personal(), "");
    if (c.personal == kDirectory) mkdir(personal().c_str(), 0755);
    if (c.personal == kFifo) mkfifo(personal().c_str(), 0644);
    if (c.system) write_file(system(), sys);

    bool home_set = c.home_set;
    std::string home = c.personal == kNameTooLong ? long_home : home_;
    std::string got = in_child(c.unprivileged, [home_set, home] {
      setenv("HOME", home.c_str(), 1);
      if (!home_set) unsetenv("HOME");
      return load_and_describe();
    });
    prefs_t *want = default_record();
    want->interval = c.interval;
    snprintf(want->location, sizeof want->location, "%s", c.location);
    EXPECT_EQ(got, describe(want));
    guiPrefsFree(want);
  }
}

TEST_F(PrefsLoad, TakesEachLineAsKeyBlanksAndValue) {
  struct Case {
    const char *name;
    std::string text;
    std::function<void(prefs_t *)> expect;  // changes from the defaults
  } cases[] = {
    {"every key as written",
     "ToolBar off\nLocationBar off\nModernSkin off\nShowPrinters 1\nLabelPrinters 5\n"
     "ShowJobs 2\nLabelJobs 6\nType 7\nTypeMask 8\nInterval 9\n"
     "Location Room 12, second floor  \nDescription Laser\n",
     [](prefs_t *p) {
       p->toolbar = p->locationbar = p->modernskin = 0;
       p->show_printers = 1; p->label_printers = 5; p->show_jobs = 2; p->label_jobs = 6;
       p->type = 7; p->type_mask = 8; p->interval = 9;
       snprintf(p->location, sizeof p->location, "Room 12, second floor  ");
       snprintf(p->description, sizeof p->description, "Laser");
     }},
    {"keys and values in capitals",
     "TOOLBAR OFF\nLOCATIONBAR Off\nMODERNSKIN OFF\nINTERVAL 12\nlocation x\n",
     [](prefs_t *p) {
       p->toolbar = p->locationbar = p->modernskin = 0;
       p->interval = 12;
       snprintf(p->location, sizeof p->location, "x");
     }},
    {"carriage-return line ends",
     "ToolBar off\r\nInterval 45\r\nLocation lab\r\nModernSkin off\r\n",
     [](prefs_t *p) {
       p->interval = 45;
       snprintf(p->location, sizeof p->location, "lab\r");
     }},
    {"other switch values are ignored",
     "ToolBar no\nLocationBar 0\nModernSkin maybe\n", [](prefs_t *) {}},
    {"the last look wins", "ModernSkin off\nModernSkin ON\n", [](prefs_t *) {}},
    {"blank lead, lone key and unknown key are skipped",
     "  Interval 5\nInterval\nFoo 3\n\nInterval\t \t7 \n",
     [](prefs_t *p) { p->interval = 7; }},
    {"numbers are read as far as they go",
     "Interval abc\nLabelJobs -4x\nType 2147483647\n",
     [](prefs_t *p) { p->interval = 0; p->label_jobs = -4; p->type = 2147483647; }},
    {"long texts keep 127 characters",
     "Location " + std::string(200, 'a') + "\nDescription " + std::string(127, 'b') + "c\n",
     [](prefs_t *p) {
       snprintf(p->location, sizeof p->location, "%s", std::string(127, 'a').c_str());
       snprintf(p->description, sizeof p->description, "%s", std::string(127, 'b').c_str());
     }},
    {"ipp addresses keep scheme, host and port",
     "URI ipp://print.example:631/printers/laser\nURI http://host:80/admin\n",
     [](prefs_t *p) {
       guiPrefsAddURI(p, "ipp://print.example:631");
       guiPrefsAddURI(p, "http://host:80");
     }},
    {"a repeated address keeps its place and first spelling",
     "URI ipp://a:631/p1\nURI ipp://b:631\nURI IPP://A:631/p2\n",
     [](prefs_t *p) {
       guiPrefsAddURI(p, "ipp://a:631");
       guiPrefsAddURI(p, "ipp://b:631");
     }},
    {"an empty URI value adds an empty address; a bare key adds none",
     "URI  \nURI\n",
     [](prefs_t *p) { guiPrefsAddURI(p, ""); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    prefs_t *want = default_record();
    c.expect(want);
    EXPECT_EQ(load_text(c.text), describe(want));
    guiPrefsFree(want);
  }
}

TEST_F(PrefsLoad, ReadsLinesInPiecesOf1023Characters) {
  // The first piece ends just before "Interval 77", which becomes a line of
  // its own; the tail of the long Location line has no blank and is skipped.
  std::string first = "Description " + std::string(1023 - 12, 'd');
  ASSERT_EQ(first.size(), 1023u);
  std::string text = first + "Interval 77\nLocation " + std::string(1500, 'x') + "\nLabelJobs 3\n";
  prefs_t *want = default_record();
  want->interval = 77;
  want->label_jobs = 3;
  snprintf(want->description, sizeof want->description, "%s", std::string(127, 'd').c_str());
  snprintf(want->location, sizeof want->location, "%s", std::string(127, 'x').c_str());
  EXPECT_EQ(load_text(text), describe(want));
  guiPrefsFree(want);
}

// A file's address lines give the list that adding them one by one gives,
// and many of them load in time linear in their number (an old file can hold
// tens of thousands, and this program never uses them).
TEST_F(PrefsLoad, AddressLinesGiveTheListAddingThemInTurnGives) {
  struct Case {
    int lines, distinct;
  } cases[] = {{0, 1}, {7, 3}, {2000, 170}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.lines);
    std::string text = "Interval 5\n";
    prefs_t *want = default_record();
    want->interval = 5;
    for (int i = 0; i < c.lines; i++) {
      // Repeats in another case, with paths that are cut off, and moves of
      // the first entry, which change nothing.
      unsigned k = (unsigned)i * 2654435761u % (unsigned)c.distinct;
      std::string uri = std::string(i % 3 ? "ipp://Host" : "ipp://host") + std::to_string(k) +
                        (i % 2 ? ":631/printers/q" : "");
      text += "URI " + uri + "\n";
      guiPrefsAddURI(want, uri.c_str());
    }
    EXPECT_EQ(load_text(text), describe(want));
    guiPrefsFree(want);
  }
  // 80,000 addresses, each new: compared with all before it, they took 11 s.
  std::string text;
  for (int i = 0; i < 80000; i++) text += "URI ipp://host" + std::to_string(i) + "\n";
  text += "URI IPP://HOST7\n";
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  prefs_t *p = load_with(text);
  clock_gettime(CLOCK_MONOTONIC, &t1);
  ASSERT_NE(nullptr, p);
  ASSERT_EQ(80000, p->num_uris);
  EXPECT_STREQ("ipp://host7", p->uris[0]);
  EXPECT_STREQ("ipp://host0", p->uris[1]);
  EXPECT_STREQ("ipp://host79999", p->uris[79999]);
  EXPECT_LT((t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9, 1.0);
  guiPrefsFree(p);
}

TEST_F(PrefsLoad, ChoosesTheLookOnlyWhenAFileWasRead) {
  struct Case {
    const char *name;
    const char *text;  // null: no file
    const char *scheme;  // expected Fl::scheme() afterwards, null for the plain look
  } cases[] = {
    {"no file keeps the toolkit's look", nullptr, "gtk+"},
    {"a file without the key gives plastic", "Interval 5\n", "plastic"},
    {"ModernSkin off gives the plain look", "ModernSkin off\n", nullptr},
    {"ModernSkin OFF in capitals too", "modernskin OFF\n", nullptr},
    {"on after off gives plastic", "ModernSkin off\nModernSkin on\n", "plastic"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::remove(system(), ec);
    if (c.text) write_file(system(), c.text);
    Fl::scheme("gtk+");
    ASSERT_STREQ(Fl::scheme(), "gtk+");
    guiPrefsFree(guiPrefsLoad());
    if (c.scheme)
      EXPECT_STREQ(Fl::scheme(), c.scheme);
    else
      EXPECT_EQ(Fl::scheme(), nullptr) << Fl::scheme();
  }
}

TEST(PrefsAddURI, KeepsSchemeHostAndPort) {
  std::string long_uri(2000, 'h');
  struct Case {
    std::string in, stored;
  } cases[] = {
    {"ipp://host:631/printers/laser", "ipp://host:631"},
    {"http://host", "http://host"},
    {"host:631/x", "host:631"},
    {"server/path/more", "server"},
    {"a:/b", "a:/b"},          // fewer than three characters after the colon
    {"a:b/c", "a:b/c"},        // the search starts at the third one
    {"ipp:///path", "ipp://"},
    {"", ""},
    {long_uri, long_uri.substr(0, 1023)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.in.substr(0, 40));
    prefs_t *p = default_record();
    guiPrefsAddURI(p, c.in.c_str());
    ASSERT_EQ(p->num_uris, 1);
    EXPECT_EQ(std::string(p->uris[0]), c.stored);
    guiPrefsFree(p);
  }
}

TEST(PrefsAddURI, MovesAKnownAddressToTheFrontAndAppendsNewOnes) {
  guiPrefsFree(nullptr);
  guiPrefsAddURI(nullptr, "ipp://x");
  prefs_t *p = default_record();
  guiPrefsAddURI(p, nullptr);
  EXPECT_EQ(p->num_uris, 0);

  const char *order[] = {"a", "b", "c", "d"};
  for (const char *u : order) guiPrefsAddURI(p, u);
  struct Step {
    const char *add;
    const char *after;
  } steps[] = {
    {"C/printers/x", "['c','a','b','d']"},  // third entry moves up, keeps its case
    {"c", "['c','a','b','d']"},             // already first: nothing changes
    {"D", "['d','c','a','b']"},             // last entry moves up
    {"e", "['d','c','a','b','e']"},         // new: appended
    {"B", "['b','d','c','a','e']"},
  };
  for (const Step &s : steps) {
    SCOPED_TRACE(s.add);
    guiPrefsAddURI(p, s.add);
    std::string d = describe(p);
    EXPECT_EQ(d.substr(d.find("uris=") + 5), s.after);
  }
  guiPrefsFree(p);
}

TEST_F(PrefsSave, DefaultRecordWritesThreeLinesToTheSystemFileForRoot) {
  prefs_t *p = guiPrefsLoad();  // no file yet: defaults
  prefs_t *want = default_record();
  EXPECT_EQ(describe(p), describe(want));
  guiPrefsFree(want);
  guiPrefsSave(p);
  guiPrefsFree(p);
  EXPECT_EQ(read_file(system()), "ModernSkin on\nLabelPrinters 23\nLabelJobs 23\n");
  EXPECT_FALSE(fs::exists(personal()));
  EXPECT_EQ(list_dir(server_), std::vector<std::string>{"vekrc"});
}

TEST_F(PrefsSave, WritesEveryFieldInOrderAndReadsItBack) {
  prefs_t *p = default_record();
  p->interval = 5;
  p->toolbar = p->locationbar = p->modernskin = 0;
  guiPrefsAddURI(p, "ipp://a:631/printers/x");
  guiPrefsAddURI(p, "http://B:80");
  guiPrefsAddURI(p, "");
  p->show_printers = 1; p->show_jobs = 2; p->label_printers = 3; p->label_jobs = 4;
  p->type = 0; p->type_mask = 6;
  snprintf(p->location, sizeof p->location, "Room 4, west  ");
  snprintf(p->description, sizeof p->description, "Office laser");
  guiPrefsSave(p);
  EXPECT_EQ(read_file(system()),
            "URI ipp://a:631\nURI http://B:80\nURI \nToolBar off\nLocationBar off\n"
            "ModernSkin off\nShowPrinters 1\nLabelPrinters 3\nShowJobs 2\nLabelJobs 4\n"
            "Type 0\nTypeMask 6\nLocation Room 4, west  \nDescription Office laser\n"
            "Interval 5\n");
  EXPECT_EQ(load_and_describe(), describe(p));

  // A value holding a newline must not turn into a setting of its own.
  snprintf(p->location, sizeof p->location, "here\nModernSkin on");
  guiPrefsSave(p);
  std::string reread = load_and_describe();
  EXPECT_NE(reread.find("modernskin=0"), std::string::npos) << reread;
  EXPECT_NE(reread.find("location='here'"), std::string::npos) << reread;
  guiPrefsFree(p);
}

TEST_F(PrefsSave, UserWritesThePersonalFileOrTheSystemFileWithoutHome) {
  chown(home_.c_str(), kNobody, kNobody);
  chown(server_.c_str(), kNobody, kNobody);
  struct Case {
    bool home_set;
    std::string written, untouched;
  } cases[] = {{true, personal(), system()}, {false, system(), personal()}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.written);
    std::error_code ec;
    fs::remove(personal(), ec);
    fs::remove(system(), ec);
    bool home_set = c.home_set;
    std::string r = in_child(true, [home_set] {
      if (!home_set) unsetenv("HOME");
      prefs_t *p = guiPrefsLoad();
      p->interval = 99;
      guiPrefsSave(p);
      guiPrefsFree(p);
      return std::string("saved");
    });
    EXPECT_EQ(r, "saved");
    EXPECT_NE(read_file(c.written).find("Interval 99\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(c.untouched));
  }
}

TEST_F(PrefsSave, FailedSaveLeavesTheOldFileWhole) {
  const std::string old = "Interval 12\nLocation old place\n";
  prefs_t *p = default_record();
  for (int i = 0; i < 200; i++) guiPrefsAddURI(p, ("ipp://host" + std::to_string(i)).c_str());

  // The user may write the file but not its directory: no temporary file.
  // (Writing the file in place would succeed here and is what must not happen.)
  write_file(personal(), old, 0666);
  std::string r = in_child(true, [p] { guiPrefsSave(p); return std::string("done"); });
  EXPECT_EQ(r, "done");
  EXPECT_EQ(read_file(personal()), old);
  EXPECT_EQ(list_dir(home_), std::vector<std::string>{".vekrc"});

  // The disk fills up halfway through the new contents.
  write_file(system(), old);
  r = in_child(false, [p] {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {64, 64};
    setrlimit(RLIMIT_FSIZE, &lim);
    guiPrefsSave(p);
    return std::string("done");
  });
  EXPECT_EQ(r, "done");
  EXPECT_EQ(read_file(system()), old);
  EXPECT_EQ(list_dir(server_), std::vector<std::string>{"vekrc"});

  // The rc name is taken by a directory: nothing is written anywhere.
  fs::remove(system());
  mkdir(system().c_str(), 0755);
  guiPrefsSave(p);
  EXPECT_TRUE(fs::is_directory(system()));
  EXPECT_TRUE(fs::is_empty(system()));
  EXPECT_EQ(list_dir(server_), std::vector<std::string>{"vekrc"});
  guiPrefsFree(p);
}

TEST_F(PrefsSave, KeepsPermissionsAndLinksOfTheOldFile) {
  prefs_t *p = default_record();
  mode_t old_mask = umask(022);

  guiPrefsSave(p);  // a new file gets the usual permissions, not private ones
  struct stat st;
  ASSERT_EQ(stat(system().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);

  chmod(system().c_str(), 0640);
  guiPrefsSave(p);
  ASSERT_EQ(stat(system().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  // A linked rc file stays a link; the file it points to gets the contents.
  fs::remove(system());
  write_file(server_ + "/real.rc", "Interval 1\n");
  fs::create_symlink("real.rc", system());
  p->interval = 8;
  guiPrefsSave(p);
  EXPECT_TRUE(fs::is_symlink(system()));
  EXPECT_NE(read_file(server_ + "/real.rc").find("Interval 8\n"), std::string::npos);
  EXPECT_EQ(list_dir(server_), (std::vector<std::string>{"real.rc", "vekrc"}));

  umask(old_mask);
  guiPrefsFree(p);
}

}  // namespace
