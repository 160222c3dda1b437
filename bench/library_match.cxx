// library_match.cxx - the knowledge base's patterns translated from the
// parser's elements, and the two libraries measured: RE2's RE2::Set and
// Hyperscan, each when the build found it.
#include "bench/library_match.h"

#include <stdio.h>

#include "knowledge/ParsedPattern.h"

#ifdef VEKLOG_HAVE_RE2
#include <re2/re2.h>
#include <re2/set.h>
#endif
#ifdef VEKLOG_HAVE_HYPERSCAN
#include <hs/hs.h>
#endif

namespace {

typedef PatternElement E;

const char kNever[] = "[^\\x00-\\xff]";  // a class holding nothing

std::string byte(unsigned c) {
  char buf[8];
  snprintf(buf, sizeof buf, "\\x%02x", c);
  return buf;
}

// The elements from i up to `stop` (the end of an alternative, or of the
// pattern), and what follows a group that closes.
std::string elements(const ParsedPattern &pp, size_t i, size_t stop) {
  std::string out;
  while (i < stop) {
    const E &e = pp.elements[i];
    switch (e.kind) {
      case E::CHAR:
        if (e.c >= 'a' && e.c <= 'z') out += std::string("[") + (char)(e.c - 32) + (char)e.c + "]";
        else out += byte(e.c);
        break;
      case E::QUOTE: out += "\\\\?" + byte(e.c); break;
      case E::ANY: out += "."; break;
      case E::STAR: out += ".*"; break;
      case E::NOTHING: return out + kNever;
      case E::SET: {
        std::string members;
        for (unsigned c = 1; c < 256; c++)
          if (pp.sets[e.arg].has((unsigned char)c)) members += byte(c);
        out += members.empty() ? kNever : "[" + members + "]";
        break;
      }
      case E::OPEN: {
        // Each alternative runs to the next separator of its group; the last
        // to the "}", or to the end when the group never closes.
        const PatternLink &group = pp.link((int)i);
        size_t end = group.jump < 0 ? pp.elements.size() : (size_t)group.jump - 1;
        std::string alts;
        size_t from = i + 1;
        for (int s = group.next;; s = pp.link(s).next) {
          size_t to = s >= 0 ? (size_t)s : end;
          alts += (from == i + 1 ? "" : "|") + elements(pp, from, to);
          if (s < 0) break;
          from = (size_t)s + 1;
        }
        out += "(?:" + alts + ")";
        if (group.jump < 0) return out;
        i = (size_t)group.jump;
        continue;
      }
      case E::SEP:
        // Outside a group: the pattern ends here, or goes on past a "}".
        i = (size_t)pp.link((int)i).jump;
        if (i >= pp.elements.size()) return out;
        continue;
      case E::CLOSE: break;
    }
    i++;
  }
  return out;
}

}  // namespace

std::string pattern_regex(const char *pattern) {
  ParsedPattern pp = parse_pattern(pattern);
  return "(?s)" + elements(pp, 0, pp.elements.size());
}

namespace {

#ifdef VEKLOG_HAVE_RE2
class Re2Items : public LibraryItems {
public:
  Re2Items(const std::vector<char> &levels, const std::vector<std::string> &patterns)
      : levels_(levels), set_(options(), RE2::ANCHOR_BOTH) {
    for (size_t i = 0; i < patterns.size(); i++) {
      std::string re = pattern_regex(patterns[i].c_str()), why;
      int id = set_.Add(re, &why);
      if (id < 0) error += "item " + std::to_string(i) + ": " + why + "\n";
      ids_.push_back((int)i);
    }
    if (!set_.Compile()) error += "RE2::Set::Compile failed\n";
  }
  int find(char level, const char *message, size_t len) override {
    hits_.clear();
    RE2::Set::ErrorInfo info;
    if (!set_.Match(re2::StringPiece(message, len), &hits_, &info)) {
      if (info.kind != RE2::Set::kNoError && info.kind != RE2::Set::kInconsistent) failures++;
      return -1;
    }
    int best = -1;
    for (int h : hits_)
      if ((best < 0 || h < best) && (!levels_[h] || levels_[h] == level)) best = h;
    return best;
  }
  std::string name() const override { return "RE2::Set"; }
  long failures = 0;

private:
  static RE2::Options options() {
    RE2::Options o;
    o.set_encoding(RE2::Options::EncodingLatin1);
    o.set_dot_nl(true);
    o.set_max_mem((int64_t)1 << 30);
    o.set_log_errors(false);
    return o;
  }
  std::vector<char> levels_;
  RE2::Set set_;
  std::vector<int> ids_, hits_;
};
#endif

#ifdef VEKLOG_HAVE_HYPERSCAN
class HsItems : public LibraryItems {
public:
  HsItems(const std::vector<char> &levels, const std::vector<std::string> &patterns)
      : levels_(levels) {
    std::vector<std::string> res;
    std::vector<const char *> exprs;
    std::vector<unsigned> flags, ids;
    for (size_t i = 0; i < patterns.size(); i++) {
      std::string re = pattern_regex(patterns[i].c_str());
      res.push_back("^" + re + "\\z");
      ids.push_back((unsigned)i);
      flags.push_back(HS_FLAG_SINGLEMATCH | HS_FLAG_ALLOWEMPTY);
    }
    for (const std::string &r : res) exprs.push_back(r.c_str());
    hs_compile_error_t *err = 0;
    if (hs_compile_multi(exprs.data(), flags.data(), ids.data(), (unsigned)exprs.size(),
                         HS_MODE_BLOCK, 0, &db_, &err) != HS_SUCCESS) {
      error = std::string("hs_compile_multi: ") + (err ? err->message : "?") + " (expression " +
              std::to_string(err ? err->expression : -1) + ")";
      hs_free_compile_error(err);
      db_ = 0;
      return;
    }
    hs_alloc_scratch(db_, &scratch_);
  }
  ~HsItems() override {
    if (scratch_) hs_free_scratch(scratch_);
    if (db_) hs_free_database(db_);
  }
  int find(char level, const char *message, size_t len) override {
    if (!db_) return -1;
    Ask ask{this, level, -1};
    hs_scan(db_, message, (unsigned)len, 0, scratch_, on_match, &ask);
    return ask.best;
  }
  std::string name() const override { return "Hyperscan"; }
  size_t database_size() const {
    size_t n = 0;
    if (db_) hs_database_size(db_, &n);
    return n;
  }

private:
  struct Ask {
    HsItems *self;
    char level;
    int best;
  };
  static int on_match(unsigned id, unsigned long long, unsigned long long, unsigned, void *ctx) {
    Ask *a = (Ask *)ctx;
    char l = a->self->levels_[id];
    if ((!l || l == a->level) && (a->best < 0 || (int)id < a->best)) a->best = (int)id;
    return 0;
  }
  std::vector<char> levels_;
  hs_database_t *db_ = 0;
  hs_scratch_t *scratch_ = 0;
};
#endif

}  // namespace

std::unique_ptr<LibraryItems> re2_items(const std::vector<char> &levels,
                                        const std::vector<std::string> &patterns) {
#ifdef VEKLOG_HAVE_RE2
  return std::unique_ptr<LibraryItems>(new Re2Items(levels, patterns));
#else
  (void)levels, (void)patterns;
  return nullptr;
#endif
}

std::unique_ptr<LibraryItems> hyperscan_items(const std::vector<char> &levels,
                                              const std::vector<std::string> &patterns) {
#ifdef VEKLOG_HAVE_HYPERSCAN
  return std::unique_ptr<LibraryItems>(new HsItems(levels, patterns));
#else
  (void)levels, (void)patterns;
  return nullptr;
#endif
}
