// genkb.cxx - writes a large knowledge base: many items of long patterns, as
// a base grown by a tool or by hand over years might hold, to time loading
// and indexing it.
//
//   veklog_genkb ITEMS [SHAPE] >errors.xml
// SHAPE is plain (words and stars, the default), groups (each pattern a
// group of alternatives followed by a star) or stray (plain, with a "}" that
// closes no group); longtext writes one item whose remedy's text is about
// ITEMS bytes of paragraphs instead. Each pattern is about 250 characters; the words are drawn
// from a fixed seed, so the same arguments give the same file. A line that
// the last item explains goes to standard error.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>

namespace {

const char *const kWords[] = {
    "printer", "queue",    "job",     "filter", "backend", "device",  "unable", "open",
    "file",    "spool",    "request", "client", "network", "address", "failed", "denied",
    "stopped", "document", "driver",  "remote", "socket",  "server",  "status", "error",
};
const size_t kPatternChars = 250;

// Words after the item's own name until the pattern is long enough; a star
// now and then, as a pattern skips what changes from line to line.
std::string words(std::mt19937 &rng, size_t room) {
  std::string out;
  while (out.size() + 12 < room) {
    out += kWords[rng() % (sizeof kWords / sizeof kWords[0])];
    out += rng() % 4 == 0 ? " * " : " ";
  }
  return out;
}

}  // namespace

int main(int argc, char **argv) {
  long items = argc > 1 ? atol(argv[1]) : 0;
  const char *shape = argc > 2 ? argv[2] : "plain";
  if (items <= 0 || (strcmp(shape, "plain") && strcmp(shape, "groups") && strcmp(shape, "stray") &&
                     strcmp(shape, "longtext"))) {
    fprintf(stderr, "usage: veklog_genkb ITEMS [plain|groups|stray|longtext] >errors.xml\n");
    return 2;
  }
  std::mt19937 rng(2026);
  printf("<?xml version=\"1.0\"?>\n<errors>\n");
  if (!strcmp(shape, "longtext")) {
    printf("<remedy name=\"long\">\n");
    for (long n = 0; n < items;) {
      std::string para = "<P>" + words(rng, 200) + "</P>\n";
      fputs(para.c_str(), stdout);
      n += (long)para.size();
    }
    printf("<item level=\"E\" pattern=\"Fault 0 *\" severity=\"3\">\n<P>Item 0.</P>\n</item>\n"
           "</remedy>\n</errors>\n");
    return 0;
  }
  const long per = 100;  // items per remedy
  for (long i = 0; i < items; i++) {
    if (i % per == 0) printf("<remedy name=\"r%ld\">\n<P>Remedy %ld.</P>\n", i / per, i / per);
    std::string name = "Fault " + std::to_string(i) + " ";
    std::string pattern;
    if (!strcmp(shape, "groups")) {
      // {name words,name other words,...}*
      std::string alts;
      while (alts.size() + 60 < kPatternChars) alts += (alts.empty() ? "" : ",") + name + words(rng, 50);
      pattern = "{" + alts + "}*";
    } else {
      pattern = name + words(rng, kPatternChars - name.size());
      if (!strcmp(shape, "stray")) pattern.insert(pattern.size() / 2, "}");
      pattern += "*";
    }
    printf("<item level=\"E\" pattern=\"%s\" severity=\"%ld\">\n<P>Item %ld.</P>\n</item>\n",
           pattern.c_str(), 1 + i % 5, i);
    if (i + 1 == items) {
      // Its first alternative, each star taking one word, no brace.
      std::string line = pattern.substr(pattern[0] == '{', pattern.find(',') - (pattern[0] == '{'));
      if (pattern[0] != '{') line = pattern;
      std::string out;
      for (char c : line) out += c == '*' ? std::string("x") : c == '}' ? std::string() : std::string(1, c);
      fprintf(stderr, "E [09/Dec/2026:00:00:01 +0000] %s\n", out.c_str());
    }
    if (i % per == per - 1 || i + 1 == items) printf("</remedy>\n");
  }
  printf("</errors>\n");
  return 0;
}
