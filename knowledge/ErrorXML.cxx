// ErrorXML.cxx - the knowledge base: remedies and items, matching log lines
// against them, Diagnose's scores, and the reader of "errors.xml".
#include "knowledge/ErrorXML.h"

#include <limits.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "knowledge/pattern.h"

namespace {

// Column where the message part of a log line starts.
const size_t MESSAGE_COLUMN = 31;

char *dup_or_empty(const char *s) { return strdup(s ? s : ""); }

// Appends p to an array of pointers, growing it 16, 32, ... 256, 512, 768...
// Returns false (nothing changed) when the array cannot grow.
template <class T>
bool append(T **&array, int &count, int &alloc, T *p) {
  if (count >= alloc) {
    int grown = alloc == 0 ? 16 : (alloc <= 255 ? alloc * 2 : alloc + 256);
    T **bigger = (T **)malloc(sizeof(T *) * (size_t)grown);
    if (!bigger) return false;
    if (count > 0) memcpy(bigger, array, sizeof(T *) * (size_t)count);
    free(array);
    array = bigger;
    alloc = grown;
  }
  array[count++] = p;
  return true;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// The text collected since the last tag that empties it.
struct TextBuffer {
  char *data;
  size_t len, alloc;

  // Room for the whole file: no text can be longer, and pages not written
  // cost nothing, where growing by copies touched each text three times.
  bool init(size_t most) {
    alloc = most + 1 > 8192 ? most + 1 : 8192;
    len = 0;
    data = (char *)malloc(alloc);
    if (data) data[0] = '\0';
    return data != 0;
  }
  void clear() {
    len = 0;
    data[0] = '\0';
  }
  bool append(const char *line) {
    size_t n = strlen(line);
    if (len + n + 1 > alloc) {
      // Doubling keeps a text of many lines linear to read.
      size_t grown = alloc * 2 > len + n + 1 ? alloc * 2 : len + n + 1;
      char *bigger = (char *)malloc(grown);
      if (!bigger) return false;
      memcpy(bigger, data, len + 1);
      free(data);
      data = bigger;
      alloc = grown;
    }
    memcpy(data + len, line, n + 1);
    len += n;
    return true;
  }
};

// Why the file's bytes are no text this reader can take, or "" when they
// are; *line is the line where that shows. A NUL byte is never part of a
// UTF-8 text, and a reader of lines would lose what follows it.
std::string encoding_fault(const std::string &b, int *line) {
  *line = 1;
  static const struct {
    const char *mark;
    size_t len;
    const char *name;
  } marks[] = {{"\xFF\xFE\0\0", 4, "UTF-32 (little-endian)"},
               {"\0\0\xFE\xFF", 4, "UTF-32 (big-endian)"},
               {"\xFF\xFE", 2, "UTF-16 (little-endian)"},
               {"\xFE\xFF", 2, "UTF-16 (big-endian)"}};
  for (const auto &m : marks)
    if (b.size() >= m.len && !memcmp(b.data(), m.mark, m.len))
      return std::string("it is ") + m.name + ", not UTF-8: save it as UTF-8";
  size_t nul = b.find('\0');
  if (nul == std::string::npos) return "";
  // Without a mark, text in UTF-16 shows its zero bytes on one side of each pair.
  size_t odd = 0, even = 0, span = b.size() < 4096 ? b.size() : 4096;
  for (size_t i = 0; i < span; i++)
    if (!b[i]) (i % 2 ? odd : even)++;
  if (odd + even >= 2 && odd + even >= span / 4 && (odd == 0 || even == 0))
    return std::string("it is UTF-16 (") + (odd ? "little" : "big") +
           "-endian), not UTF-8: save it as UTF-8";
  for (size_t i = 0; i < nul; i++)
    if (b[i] == '\n' || (b[i] == '\r' && b[i + 1] != '\n')) ++*line;
  return "it holds a NUL byte, which no UTF-8 text holds: it is not a text file, or it "
         "is damaged";
}

}  // namespace

ErrorXMLRemedy::ErrorXMLRemedy(const char *n, const char *t)
    : score(0), name(dup_or_empty(n)), text(dup_or_empty(t)) {}

ErrorXMLRemedy::~ErrorXMLRemedy() {
  free(name);
  free(text);
}

ErrorXMLItem::ErrorXMLItem(int s, char l, const char *p, const char *t,
                           ErrorXMLRemedy *r)
    : severity(s), level(l), pattern(dup_or_empty(p)), text(dup_or_empty(t)),
      remedy(r), state(NoState) {}

ErrorXMLItem::State ErrorXMLItem::state_named(const char *value) {
  static const struct {
    const char *name;
    State state;
  } names[] = {{"down", Down}, {"up", Up}, {"added", Added}, {"lookup", Lookup}};
  for (const auto &n : names)
    if (value && strcmp(value, n.name) == 0) return n.state;
  return NoState;
}

ErrorXMLItem::~ErrorXMLItem() {
  free(pattern);
  free(text);
}

ErrorXML::ErrorXML(const char *filename)
    : num_items_(0), alloc_items_(0), items_(0), num_remedies_(0),
      alloc_remedies_(0), remedies_(0), num_orphans_(0), alloc_orphans_(0),
      orphans_(0) {
  load(filename);
}

ErrorXML::~ErrorXML() {
  for (int i = 0; i < num_items_; i++) delete items_[i];
  free(items_);
  for (int i = 0; i < num_remedies_; i++) delete remedies_[i];
  free(remedies_);
  for (int i = 0; i < num_orphans_; i++) delete orphans_[i];
  free(orphans_);
}

void ErrorXML::add_item(ErrorXMLItem *item) {
  if (!item) return;
  if (!append(items_, num_items_, alloc_items_, item)) {
    delete item;
    return;
  }
  // An index that missed an item (no memory) stays behind for good.
  if (index_.size() == num_items_ - 1) index_.add(item->level, item->pattern);
}

void ErrorXML::add_remedy(ErrorXMLRemedy *remedy) {
  if (!remedy) return;
  if (!append(remedies_, num_remedies_, alloc_remedies_, remedy)) delete remedy;
}

ErrorXMLItem *ErrorXML::find_item(const char *line) {
  int i = find_item_index(line);
  return i < 0 ? 0 : items_[i];
}

int ErrorXML::find_item_index(const char *line) {
  return line ? find_item_index(line, strnlen(line, MESSAGE_COLUMN)) : -1;
}

int ErrorXML::find_item_index(const char *line, size_t len) {
  if (!line || len < MESSAGE_COLUMN) return -1;
  const char *message = line + MESSAGE_COLUMN;
  if (index_.size() == num_items_ && index_.prepare()) return index_.find(line[0], message);
  // No index (out of memory): try every item.
  for (int i = 0; i < num_items_; i++) {
    ErrorXMLItem *item = items_[i];
    if (item->level && item->level != line[0]) continue;
    if (pattern_match(message, item->pattern)) return i;
  }
  return -1;
}

void ErrorXML::build_index() { index_.prepare(); }

ErrorXMLRemedy *ErrorXML::find_remedy(const char *name) {
  if (!name) return 0;
  for (int i = 0; i < num_remedies_; i++)
    if (remedies_[i]->name && strcmp(remedies_[i]->name, name) == 0) return remedies_[i];
  return 0;
}

ErrorXMLItem *ErrorXML::score_item(const char *line) {
  ErrorXMLItem *item = find_item(line);
  if (item && item->remedy) item->remedy->add_score(item->severity);
  return item;
}

void ErrorXML::clear_scores() {
  for (int i = 0; i < num_remedies_; i++) remedies_[i]->score = 0;
  for (int i = 0; i < num_orphans_; i++) orphans_[i]->score = 0;
}

ErrorXMLRemedy *ErrorXML::best_remedy() {
  ErrorXMLRemedy *best = 0;
  for (int i = 0; i < num_remedies_; i++) {
    ErrorXMLRemedy *r = remedies_[i];
    if (r->score > 0 && (!best || r->score > best->score)) best = r;
  }
  return best;
}

char *ErrorXML::get_attr(const char *s, const char *attr_name, char *buffer,
                         int size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  if (!s || !attr_name || !*s || *s == '>') return 0;
  for (;;) {
    while (is_blank(*s)) s++;
    if (!*s || *s == '>') return 0;

    char name[255];
    int name_len = 0;
    while (*s && !is_blank(*s) && *s != '=' && *s != '>') {
      if (name_len < (int)sizeof name - 1) name[name_len++] = *s;
      s++;
    }
    name[name_len] = '\0';

    int len = 0;
    if (*s == '=') {
      s++;
      while (*s && !is_blank(*s) && *s != '>') {
        if (*s == '"' || *s == '\'') {
          char quote = *s++;
          while (*s && *s != quote) {
            if (len < size - 1) buffer[len++] = *s;
            s++;
          }
          if (*s == quote) s++;
        } else {
          if (len < size - 1) buffer[len++] = *s;
          s++;
        }
      }
    }
    buffer[len] = '\0';

    if (strcmp(name, attr_name) == 0) return buffer;
    buffer[0] = '\0';
    if (!*s || *s == '>') return 0;
  }
}

bool ErrorXML::parse_severity(const char *text, int *value) {
  if (!text) return false;
  const char *digits = text + (*text == '-' || *text == '+');
  if (!*digits || strspn(digits, "0123456789") != strlen(digits)) return false;
  errno = 0;
  long long v = strtoll(text, nullptr, 10);
  if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  *value = (int)v;
  return true;
}

// Tells the observer of each place that was tried and opened nothing; a
// file passed over as untrusted is the lookup's to tell.
static FILE *told(const KbLookup &lookup, FILE *fp, ErrorXMLObserver *observer) {
  if (!observer) return fp;
  for (const KbLookup::Place &p : lookup.places())
    if (p.ignored.empty()) observer->open(p.path.c_str(), p.error);
  return fp;
}

void ErrorXML::load(const char *path, ErrorXMLObserver *observer) {
  refused_.clear();
  read(told(lookup_, lookup_.find(path), observer), observer);
}

void ErrorXML::load_file(const char *path, ErrorXMLObserver *observer) {
  refused_.clear();
  read(told(lookup_, lookup_.open(path), observer), observer);
}

void ErrorXML::read(FILE *fp, ErrorXMLObserver *observer) {
  if (!fp) return;
  // The whole file first: one that is not UTF-8 text is refused before any
  // of it is taken.
  std::string bytes;
  struct stat st;
  if (fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode)) bytes.reserve((size_t)st.st_size);
  char chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, fp)) > 0) bytes.append(chunk, got);
  fclose(fp);
  int bad_line;
  refused_ = encoding_fault(bytes, &bad_line);
  if (!refused_.empty()) {
    if (observer) observer->refused(bad_line, refused_.c_str());
    return;
  }

  TextBuffer text;
  if (!text.init(bytes.size())) return;
  char line[1024];
  char name[128] = "";
  char level[2] = "";
  char pattern[256] = "";
  char severity[1024] = "";  // whole, so that no cut makes a number of it
  char state[16] = "";
  ErrorXMLRemedy *remedy = 0;

  int number = 1;  // the file's line; a long line comes in several pieces
  bool first = true;
  size_t pos = 0, size = bytes.size();
  while (pos < size) {
    // A piece of at most 1023 bytes, up to and with its line end; a lone
    // carriage return ends a line too, and is read as a newline.
    size_t limit = size - pos < sizeof line - 1 ? size - pos : sizeof line - 1, n = 0;
    bool lone_cr = false;
    while (n < limit) {
      char c = bytes[pos + n++];
      if (c == '\n') break;
      if (c == '\r' && (pos + n >= size || bytes[pos + n] != '\n')) {
        lone_cr = true;
        break;
      }
    }
    memcpy(line, bytes.data() + pos, n);
    line[n] = '\0';
    if (lone_cr) line[n - 1] = '\n';
    pos += n;
    // A UTF-8 byte-order mark at the start of the file is no part of its
    // first line: left there it would hide that line's tag.
    const char *start = line;
    if (first && strncmp(line, "\xEF\xBB\xBF", 3) == 0) start += 3;
    first = false;
    const char *p = start;
    while (is_blank(*p)) p++;
    size_t len = strlen(line);
    bool ends = len > 0 && line[len - 1] == '\n';
    ErrorXMLStep step = {ErrorXMLStep::Text, number, start, !ends && len == sizeof line - 1,
                         remedy != 0, text.len, 0};

    if (!remedy && strncmp(p, "<remedy ", 8) == 0) {
      get_attr(p + 8, "name", name, sizeof name);
      text.clear();
      step.rule = ErrorXMLStep::RemedyOpen;
    } else if (remedy && strncmp(p, "</remedy>", 9) == 0) {
      add_remedy(remedy);
      remedy = 0;
      step.rule = ErrorXMLStep::RemedyClose;
    } else if (strncmp(p, "<item ", 6) == 0 &&
               (remedy || (name[0] && text.len > 0))) {
      if (!remedy) remedy = new ErrorXMLRemedy(name, text.data);
      text.clear();
      get_attr(p + 6, "level", level, sizeof level);
      get_attr(p + 6, "pattern", pattern, sizeof pattern);
      // A severity that is no number an int holds would weigh as some other
      // number: the item is not taken, as one without a severity is not.
      int weight;
      if (get_attr(p + 6, "severity", severity, sizeof severity) &&
          !parse_severity(severity, &weight))
        severity[0] = '\0';
      get_attr(p + 6, "state", state, sizeof state);
      step.rule = ErrorXMLStep::ItemOpen;
    } else if (remedy && strncmp(p, "</item>", 7) == 0 && pattern[0] &&
               severity[0]) {
      int weight = 0;
      parse_severity(severity, &weight);
      ErrorXMLItem *item = new ErrorXMLItem(weight, level[0], pattern, text.data, remedy);
      item->state = ErrorXMLItem::state_named(state);
      int before = num_items_;
      add_item(item);
      step.rule = ErrorXMLStep::ItemClose;
      if (num_items_ > before) step.item = item;
    } else if (!text.append(start)) {
      break;
    }
    if (observer) observer->step(step);
    if (ends) number++;
  }
  free(text.data);
  if (observer) observer->end(remedy);
  // A remedy whose closing tag never came still backs its items.
  if (remedy && !append(orphans_, num_orphans_, alloc_orphans_, remedy)) {
    // No room to keep it: its items must not point at a deleted remedy.
    for (int i = 0; i < num_items_; i++)
      if (items_[i]->remedy == remedy) items_[i]->remedy = 0;
    delete remedy;
  }
}
