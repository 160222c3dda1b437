// genlog.cxx - writes a large, realistic error log for the benchmarks: the
// same bytes on every run (fixed seed), all nine level letters, messages in the
// wording of the knowledge base and of a real day's log, and a few over-long lines.
//
//   genlog LINES ERRORS_XML SAMPLE_LOG > FILE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

namespace {

// A small generator whose sequence is the same on every platform.
struct Random {
  unsigned long long state = 0x5eedf00d2026ull;
  unsigned long long next() {
    unsigned long long z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  // A number in [0, n).
  unsigned below(unsigned n) { return (unsigned)(next() % n); }
};

struct Message {
  char level;        // 0: any letter will do
  std::string text;  // a pattern (knowledge base) or a message (sample log)
};

const char kLetters[] = "XACEWNIDd";

const char *kPrinters[] = {"office-laser", "copy-room", "front-desk", "plotter",
                           "finance", "label-1", "lab-color", "warehouse-2"};
const char *kTokens[] = {"localhost", "10.0.0.41", "ipp://10.0.0.41/ipp/print",
                         "/var/spool/tarn/d00042-001", "application/pdf", "alice",
                         "Connection reset by peer", "socket://10.0.0.40:9100",
                         "image/urf", "1.1", "printer-state-reasons", "bob"};

// The value of attribute `name` on a tag line, quoted with ' or "; false
// when the line has no such attribute.
bool attribute(const std::string &line, const char *name, std::string *value) {
  std::string key = std::string(" ") + name + "=";
  size_t at = line.find(key);
  if (at == std::string::npos) return false;
  at += key.size();
  if (at >= line.size() || (line[at] != '"' && line[at] != '\'')) return false;
  size_t end = line.find(line[at], at + 1);
  if (end == std::string::npos) return false;
  *value = line.substr(at + 1, end - at - 1);
  return true;
}

bool read_lines(const char *path, std::vector<std::string> *lines) {
  FILE *fp = fopen(path, "r");
  if (!fp) return false;
  char buf[16384];
  while (fgets(buf, sizeof buf, fp)) {
    size_t n = strlen(buf);
    if (n && buf[n - 1] == '\n') buf[--n] = 0;
    lines->push_back(buf);
  }
  fclose(fp);
  return true;
}

bool is_digit_context(const std::string &out) {
  static const char *words[] = {"line ", "PID ", "Job ", "job ", "#", "code ",
                                "in ", "port ", "after ", "of ", "status "};
  for (const char *w : words) {
    size_t n = strlen(w);
    if (out.size() >= n && out.compare(out.size() - n, n, w) == 0) return true;
  }
  return !out.empty() && out.back() >= '0' && out.back() <= '9';
}

// Index of the "}" closing the group whose "{" is at p[open], or the end.
size_t group_end(const std::string &p, size_t open) {
  int depth = 0;
  for (size_t i = open; i < p.size(); i++) {
    if (p[i] == '\\') {
      i++;
    } else if (p[i] == '{') {
      depth++;
    } else if (p[i] == '}' && --depth == 0) {
      return i;
    }
  }
  return p.size();
}

// Writes into out a text that the pattern p[from, to) matches: stars get a
// plausible value (a printer name in quotes, a number after "line ", a word
// elsewhere; nothing at the very end, where the newline goes), groups one of
// their alternatives, sets a member, escapes the character they hide.
void fill(const std::string &p, size_t from, size_t to, Random &rng, std::string &out) {
  for (size_t i = from; i < to; i++) {
    char c = p[i];
    if (c == '\\') {
      if (i + 1 < to) out += p[++i];
      else out += '\\';
    } else if (c == '*') {
      char before = out.empty() ? 0 : out.back();
      char after = i + 1 < to ? p[i + 1] : 0;
      if (i + 1 == p.size() && before != ' ') continue;
      if (before == '"')
        out += kPrinters[rng.below(sizeof kPrinters / sizeof *kPrinters)];
      else if (after == '"')
        out += "-warning";
      else if (is_digit_context(out))
        out += std::to_string(1 + rng.below(rng.below(2) ? 100 : 60000));
      else
        out += kTokens[rng.below(sizeof kTokens / sizeof *kTokens)];
    } else if (c == '?') {
      out += (char)('a' + rng.below(26));
    } else if (c == '[') {
      size_t k = i + 1;
      bool negate = k < to && (p[k] == '^' || p[k] == '!');
      if (negate) k++;
      size_t close = p.find(']', k + 1);
      if (close == std::string::npos || close > to) close = to;
      std::string set = p.substr(k, close - k);
      if (!negate) {
        out += set.empty() ? 'x' : set[0];
      } else {
        char pick = 'q';
        for (char t = 'a'; t <= 'z'; t++)
          if (set.find(t) == std::string::npos) { pick = t; break; }
        out += pick;
      }
      i = close;
    } else if (c == '{') {
      size_t close = group_end(p, i);
      std::vector<size_t> cuts{i};
      int depth = 0;
      for (size_t k = i + 1; k < close; k++) {
        if (p[k] == '\\') k++;
        else if (p[k] == '{') depth++;
        else if (p[k] == '}') depth--;
        else if (depth == 0 && (p[k] == '|' || p[k] == ',')) cuts.push_back(k);
      }
      cuts.push_back(close);
      size_t alt = rng.below((unsigned)(cuts.size() - 1));
      fill(p, cuts[alt] + 1, cuts[alt + 1], rng, out);
      i = close;
    } else if (c == '}' || c == ',' || c == '|') {
      return;  // an unescaped separator outside a group ends what can match
    } else {
      out += c;
    }
  }
}

void stamp(time_t t, char *field, size_t size) {
  static const char *months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  struct tm tm;
  gmtime_r(&t, &tm);
  snprintf(field, size, "[%02d/%s/%04d:%02d:%02d:%02d +0000]", tm.tm_mday,
           months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

// A debug dump of a job's attributes, far longer than a line the list takes whole.
std::string long_message(Random &rng) {
  size_t want = 10240 + rng.below(20000);
  std::string out = "[Job " + std::to_string(1000 + rng.below(9000)) + "] Attributes:";
  while (out.size() < want)
    out += " job-name=report-" + std::to_string(rng.below(100000)) +
           " document-format=application/pdf copies=1 sides=two-sided-long-edge";
  return out;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s LINES ERRORS_XML SAMPLE_LOG > FILE\n", argv[0]);
    return 2;
  }
  long count = atol(argv[1]);
  std::vector<std::string> xml, sample;
  if (count < 0 || !read_lines(argv[2], &xml) || !read_lines(argv[3], &sample)) {
    fprintf(stderr, "%s: cannot read the knowledge base or the sample log\n", argv[0]);
    return 1;
  }

  std::vector<Message> known, seen;
  for (const std::string &line : xml) {
    std::string level, pattern;
    if (line.compare(0, 5, "<item") != 0 || !attribute(line, "pattern", &pattern)) continue;
    attribute(line, "level", &level);
    known.push_back({level.empty() ? (char)0 : level[0], pattern});
  }
  for (const std::string &line : sample)
    if (line.size() > 31) seen.push_back({line[0], line.substr(31)});
  if (known.empty() || seen.empty()) {
    fprintf(stderr, "%s: no items or no sample lines found\n", argv[0]);
    return 1;
  }

  Random rng;
  time_t now = 1796688000;  // 08 Dec 2026 00:00:00 UTC
  time_t stamped = -1;
  char field[64] = "";
  std::string out, message;
  out.reserve(1 << 21);
  for (long n = 0; n < count; n++) {
    if (rng.below(12) == 0) now++;
    if (now != stamped) {
      stamp(now, field, sizeof field);
      stamped = now;
    }
    char level;
    message.clear();
    unsigned roll = rng.below(100);
    if (n % 100000 == 50000) {
      level = 'd';
      message = long_message(rng);
    } else if (roll < 15) {  // a message the knowledge base knows
      const Message &m = known[rng.below((unsigned)known.size())];
      level = m.level ? m.level : kLetters[rng.below(9)];
      fill(m.text, 0, m.text.size(), rng, message);
    } else if (roll < 85) {  // the wording of a real day's log
      const Message &m = seen[rng.below((unsigned)seen.size())];
      level = m.level;
      message = m.text;
    } else {  // a message nobody has written down, at any level
      level = kLetters[rng.below(9)];
      const Message &m = seen[rng.below((unsigned)seen.size())];
      message = "[Client " + std::to_string(rng.below(5000)) + "] " +
                m.text.substr(0, m.text.size() / 2) + " (retry " +
                std::to_string(rng.below(10)) + ")";
    }
    out += level;
    out += ' ';
    out += field;
    out += ' ';
    out += message;
    out += '\n';
    if (out.size() >= (1 << 20)) {
      if (fwrite(out.data(), 1, out.size(), stdout) != out.size()) return 1;
      out.clear();
    }
  }
  if (fwrite(out.data(), 1, out.size(), stdout) != out.size() || fflush(stdout) != 0) return 1;
  return 0;
}
