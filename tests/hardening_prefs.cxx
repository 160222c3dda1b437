// hardening_prefs.cxx - the preferences reader on rc files and environments it
// cannot trust: random bytes, overlong or missing HOME and server root, and
// rc files the user may not read.
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "prefs/prefs.h"
#include "tests/support/test_child.h"
#include "tests/support/test_util.h"


namespace {

// The record as one line of text, for comparing whole records at once.
std::string describe(const prefs_t *p) {
  if (!p) return "<null>";
  std::ostringstream os;
  os << "interval=" << p->interval << " toolbar=" << p->toolbar
     << " locationbar=" << p->locationbar << " modernskin=" << p->modernskin
     << " show=" << p->show_printers << "/" << p->show_jobs << " label=" << p->label_printers
     << "/" << p->label_jobs << " type=" << p->type << "/" << p->type_mask
     << " location='" << std::string(p->location, strnlen(p->location, sizeof p->location))
     << "' description='"
     << std::string(p->description, strnlen(p->description, sizeof p->description))
     << "' uris=" << p->num_uris;
  return os.str();
}

const std::string kDefaults =
    "interval=30 toolbar=1 locationbar=1 modernskin=1 show=0/0 label=23/23 type=0/0 "
    "location='' description='' uris=0";

std::string load_and_describe() {
  prefs_t *p = guiPrefsLoad();
  std::string s = describe(p);
  if (p) {
    // Every string the record holds must end inside its room.
    if (strnlen(p->location, sizeof p->location) >= sizeof p->location ||
        strnlen(p->description, sizeof p->description) >= sizeof p->description)
      s += " <unterminated>";
    for (int i = 0; i < p->num_uris; i++)
      if (!p->uris[i] || strlen(p->uris[i]) > 1023) s += " <bad uri>";
  }
  guiPrefsFree(p);
  return s;
}

// Sets the environment of one test and puts the old one back afterwards.
struct Env {
  struct Saved {
    std::string name, value;
    bool had;
  };
  std::vector<Saved> saved;
  void set(const char *name, const char *value) {
    const char *old = getenv(name);
    saved.push_back({name, old ? old : "", old != nullptr});
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~Env() {
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
      if (it->had) setenv(it->name.c_str(), it->value.c_str(), 1);
      else unsetenv(it->name.c_str());
    }
  }
};

struct BadPrefs : ::testing::Test {
  TempDir home, root;
  Env env;
  void SetUp() override {
    chmod(home.path.c_str(), 0755);
    chmod(root.path.c_str(), 0755);
    env.set("HOME", home.path.c_str());
    env.set("TARN_SERVERROOT", root.path.c_str());
  }
};

TEST_F(BadPrefs, RandomBytesLeaveDefaultsAndLaterLinesStillCount) {
  for (unsigned seed = 1; seed <= 8; seed++) {
    std::mt19937 rng(seed);
    std::string junk(20000 + seed * 997, '\0');
    for (char &c : junk) c = (char)(rng() & 0xff);
    // Tests run as root, so the system file is the one read.
    write_file(root.file("vekrc"), junk);
    EXPECT_EQ(load_and_describe(), kDefaults) << "seed " << seed;
    write_file(root.file("vekrc"), junk + "\nInterval 42\nLocation Room 7\n");
    std::string want = kDefaults;
    want.replace(want.find("interval=30"), 11, "interval=42");
    want.replace(want.find("location=''"), 11, "location='Room 7'");
    EXPECT_EQ(load_and_describe(), want) << "seed " << seed;
  }
}

TEST_F(BadPrefs, OverlongLocationAndAddressesAreCut) {
  std::string big(5000, 'L');
  write_file(root.file("vekrc"), "Location " + big + "\nDescription " + big +
                                     "\nURI ipp://" + std::string(3000, 'h') + "/printers/x\n");
  prefs_t *p = guiPrefsLoad();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p->location), std::string(127, 'L'));
  EXPECT_EQ(std::string(p->description), std::string(127, 'L'));
  ASSERT_GE(p->num_uris, 1);
  for (int i = 0; i < p->num_uris; i++) EXPECT_LE(strlen(p->uris[i]), 1023u);
  guiPrefsFree(p);
}

TEST_F(BadPrefs, OverlongOrMissingHomeAndServerRoot) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
  write_file(root.file("vekrc"), "Interval 7\n");
  write_file(home.file(".vekrc"), "Interval 5\n");
  std::string long_home = home.path + "/" + std::string(1100, 'h');
  std::string long_root = "/" + std::string(1500, 'r');
  std::string seven = kDefaults;
  seven.replace(seven.find("interval=30"), 11, "interval=7");
  std::string five = kDefaults;
  five.replace(five.find("interval=30"), 11, "interval=5");

  struct {
    const char *what;
    const char *home;  // null: unset
    const char *root;
    std::string want;
  } cases[] = {
      {"ordinary", home.path.c_str(), root.path.c_str(), five},
      {"HOME unset", nullptr, root.path.c_str(), seven},
      {"HOME too long", long_home.c_str(), root.path.c_str(), seven},
      {"both too long", long_home.c_str(), long_root.c_str(), kDefaults},
      {"HOME unset, root too long", nullptr, long_root.c_str(), kDefaults},
  };
  for (const auto &c : cases) {
    env.set("HOME", c.home);
    env.set("TARN_SERVERROOT", c.root);
    EXPECT_EQ(as_nobody(load_and_describe), c.want) << c.what << " (user)";
  }
  // For root only the system file counts, whatever HOME says.
  env.set("HOME", nullptr);
  env.set("TARN_SERVERROOT", root.path.c_str());
  EXPECT_EQ(load_and_describe(), seven);
  env.set("TARN_SERVERROOT", long_root.c_str());
  EXPECT_EQ(load_and_describe(), kDefaults);
}

TEST_F(BadPrefs, UnreadableRcFilesGiveTheNextFileOrDefaults) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
  write_file(root.file("vekrc"), "Interval 7\n");
  write_file(home.file(".vekrc"), "Interval 5\n");
  chmod(root.file("vekrc").c_str(), 0644);
  chmod(home.file(".vekrc").c_str(), 0644);
  EXPECT_NE(as_nobody(load_and_describe).find("interval=5 "), std::string::npos);
  chmod(home.file(".vekrc").c_str(), 0);
  EXPECT_NE(as_nobody(load_and_describe).find("interval=7 "), std::string::npos);
  chmod(root.file("vekrc").c_str(), 0);
  EXPECT_EQ(as_nobody(load_and_describe), kDefaults);
}

}  // namespace
