// ErrorLog.cxx - building the window, switching levels, reloading and polling
// the log file.
#include "app/ErrorLog.h"

#include <errno.h>
#include <grp.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <FL/Fl_Group.H>

#include "knowledge/Diagnosis.h"
#include "knowledge/ErrorXML.h"
#include "knowledge/KbCheck.h"
#include "logread/LogReader.h"

static const char *kDefaultLog = "/var/log/tarn/error_log";

Fl_Menu_Item ErrorLog::menu_menubar_[] = {
  {"&Action", 0, 0, 0, FL_SUBMENU, FL_NORMAL_LABEL, 0, 14, 56},
  {"&Diagnose", 0, (Fl_Callback *)ErrorLog::cb_Diagnose, 0, 0, FL_NORMAL_LABEL, 0, 14, 56},
  {"&Quit", FL_CTRL + 'q', (Fl_Callback *)ErrorLog::cb_Quit, 0, 0, FL_NORMAL_LABEL, 0, 14, 56},
  {0, 0, 0, 0, 0, 0, 0, 0, 0},
  {"&View", 0, 0, 0, FL_SUBMENU, FL_NORMAL_LABEL, 0, 14, 56},
  {"&Errors", 0, (Fl_Callback *)ErrorLog::cb_Errors, 0, FL_MENU_RADIO | FL_MENU_VALUE,
   FL_NORMAL_LABEL, 0, 14, 56},
  {"&Informational", 0, (Fl_Callback *)ErrorLog::cb_Informational, 0, FL_MENU_RADIO,
   FL_NORMAL_LABEL, 0, 14, 56},
  {"&All", 0, (Fl_Callback *)ErrorLog::cb_All, 0, FL_MENU_RADIO, FL_NORMAL_LABEL, 0, 14, 56},
  {0, 0, 0, 0, 0, 0, 0, 0, 0},
  {"&Help", 0, 0, 0, FL_SUBMENU | FL_MENU_INVISIBLE, FL_NORMAL_LABEL, 0, 14, 56},
  {"&About", 0, 0, 0, 0, FL_NORMAL_LABEL, 0, 14, 56},
  {"&Contents", FL_F + 1, 0, 0, 0, FL_NORMAL_LABEL, 0, 14, 56},
  {"&Diagnosing Problems", 0, 0, 0, 0, FL_NORMAL_LABEL, 0, 14, 56},
  {0, 0, 0, 0, 0, 0, 0, 0, 0},
  {0, 0, 0, 0, 0, 0, 0, 0, 0}};

// The tile between the list and the pane. The toolkit's tile gives all of a
// change in height to the pane at its bottom; this one keeps the border where
// it was in proportion, so the list gets its share.
class ShareTile : public Fl_Tile {
public:
  ShareTile(int X, int Y, int W, int H) : Fl_Tile(X, Y, W, H) {}
  void resize(int X, int Y, int W, int H) override {
    int oldh = h();
    Fl_Widget *top = children() == 2 ? child(0) : 0;
    int toph = top ? top->h() : 0;
    Fl_Tile::resize(X, Y, W, H);
    if (!top || oldh <= 0 || H == oldh) return;
    int share = (int)((long long)toph * H / oldh);
    if (share > H) share = H;
    top->resize(X, Y, W, share);
    child(1)->resize(X, Y + share, W, H - share);
  }
};

static void show_text(Fl_Help_View *help, std::string doc);

// What is wrong with the log: its errno, -1 another failure, -2 damaged; 0 nothing.
static int trouble_of(const LogStatus &st) {
  return st.kind == LogStatus::Failed ? (st.error ? st.error : -1) : st.damaged ? -2 : 0;
}

// Menu callbacks reach the controller through the menu bar's window.
static ErrorLog *owner(Fl_Widget *w) {
  return (ErrorLog *)w->parent()->user_data();
}

void ErrorLog::cb_Diagnose(Fl_Menu_ *o, void *) { owner(o)->diagnose_cb(); }
void ErrorLog::cb_Quit(Fl_Menu_ *, void *) { exit(1); }
void ErrorLog::cb_Errors(Fl_Menu_ *o, void *) { owner(o)->level(0); }
void ErrorLog::cb_Informational(Fl_Menu_ *o, void *) { owner(o)->level(1); }
void ErrorLog::cb_All(Fl_Menu_ *o, void *) { owner(o)->level(2); }

void ErrorLog::cb_list_(ErrorBrowser *o, void *) {
  ((ErrorLog *)(o->parent()->parent()->user_data()))->list_cb();
}

const char *ErrorLog::cb_help_(Fl_Widget *o, const char *uri) {
  return ((ErrorLog *)(o->parent()->parent()->user_data()))->link_cb(uri);
}

ErrorLog::ErrorLog(const char *filename) {
  window_ = new Fl_Window(645, 455, "Error Log 1.0 beta 1");
  window_->user_data(this);
  menubar_ = new Fl_Menu_Bar(0, 0, 645, 25);
  menubar_->menu(menu_menubar_);
  Fl_Tile *tile = new ShareTile(0, 25, 645, 430);
  list_ = new ErrorBrowser(0, 25, 645, 230);
  list_->type(FL_MULTI_BROWSER);
  list_->box(FL_NO_BOX);
  list_->color(FL_BACKGROUND2_COLOR);
  list_->selection_color((Fl_Color)15);
  list_->labeltype(FL_NORMAL_LABEL);
  list_->labelfont(1);
  list_->labelsize(14);
  list_->labelcolor((Fl_Color)56);
  list_->align(Fl_Align(FL_ALIGN_TOP | FL_ALIGN_LEFT));
  list_->when(FL_WHEN_RELEASE_ALWAYS);
  list_->callback((Fl_Callback *)cb_list_);
  help_ = new Fl_Help_View(0, 255, 645, 200);
  help_->textsize(16);
  help_->link(cb_help_);
  tile->end();
  window_->resizable(tile);
  window_->end();

  mtime_ = 0;
  notice_ = 0;
  trouble_ = 0;
  // The checker watches the load, so that a broken entry is not lost in silence.
  xml_ = new ErrorXML(0);
  KbCheck check;
  xml_->load("errors.xml", &check);
  kb_errors_ = check.errors();

  list_->level_ = 0;
  list_->redraw();
  // A name too long to hold is not cut short: the shorter name could be
  // another file. Such a log is simply not there.
  if (!filename) filename = kDefaultLog;
  name_too_long_ = strlen(filename) >= sizeof list_->filename_;
  if (!name_too_long_)
    snprintf(list_->filename_, sizeof list_->filename_, "%s", filename);
  else
    list_->filename_[0] = 0;
  list_->load();
  trouble_ = trouble_of(list_->status());
  timeout_cb(this);
  // Say at once what keeps the log or the knowledge base from being used.
  std::string doc = notice();
  if (!doc.empty()) {
    help_->value(doc.c_str());
    notice_ = 1;
  }
}

ErrorLog::~ErrorLog() {
  Fl::remove_timeout(poll_timeout, this);
  delete window_;
  delete xml_;
}

void ErrorLog::show() {
  static char name[] = "veklog";
  static char *argv[] = {name, 0};
  // The desktop finds the window by its class; the toolkit would call it FLTK.
  window_->xclass("veklog");
  window_->show(1, argv);
  // The keys move through the lines from the start.
  list_->take_focus();
}

void ErrorLog::hide() { window_->hide(); }

int ErrorLog::shown() { return window_->shown(); }

void ErrorLog::level(int l) {
  list_->level_ = l;
  list_->redraw();
  reload();
}

void ErrorLog::reload() {
  list_->load();
  after_read();
}

void ErrorLog::poll() {
  time_t seen = mtime_;
  if (list_->changed(&seen)) {
    list_->update();
    after_read();
  }
  mtime_ = (int)seen;
}

// After a read: a log read afresh may no longer list the explained line,
// or list it at another number; the pane follows the current line. What is
// wrong with the log is said when it starts being wrong; when the log is
// back, the notice goes.
void ErrorLog::after_read() {
  const LogStatus &st = list_->status();
  if ((st.kind == LogStatus::Fresh || st.kind == LogStatus::Failed) && !explained_.empty()) {
    void *current = list_->current_item();
    if (current && explained_ == list_->text_of(list_->line_start(current)))
      explain();
    else
      explain("<P><I>The line explained before is not listed now; this is the line selected "
              "in its place.</I></P>\n");
  }
  int trouble = trouble_of(st);
  if (trouble != trouble_ && (trouble || notice_)) {
    std::string doc = notice();
    show_text(help_, doc);
    notice_ = !doc.empty();
    if (notice_) explained_.clear();
  }
  trouble_ = trouble;
}

void ErrorLog::poll_timeout(void *log) { timeout_cb((ErrorLog *)log); }

void ErrorLog::timeout_cb(ErrorLog *log) {
  // The log's reader decides whether it changed: another file, other bytes,
  // more bytes, or a failure other than the last. A log that is missing is
  // looked for again at every poll.
  log->poll();
  Fl::add_timeout(1.0, poll_timeout, log);
}

// Documents for the pane are cut at this size, whatever they hold.
static const size_t kDocSize = 65536;

// Appends text to out as HTML text: the characters that would start markup
// or an entity are written as entities. A log line carries text from network
// clients, and none of it may become markup in the pane.
static void append_escaped(std::string &out, const char *text) {
  for (const char *p = text; *p; p++) {
    switch (*p) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += *p; break;
    }
  }
}

// Shows a document formatted with snprintf, cut to the pane's limit; a format
// with one substitution ignores the second text.
static void show_doc(Fl_Help_View *help, const char *format, const char *a, const char *b = "") {
  std::vector<char> doc(kDocSize);
  snprintf(doc.data(), doc.size(), format, a, b);
  help->value(doc.data());
}

// Shows a document built as a string, cut to the pane's limit like the rest.
static void show_text(Fl_Help_View *help, std::string doc) {
  if (doc.size() >= kDocSize) doc.resize(kDocSize - 1);
  help->value(doc.c_str());
}

// Where the knowledge base was looked for, as a sentence of HTML.
static std::string knowledge_tried(const ErrorXML *xml) {
  std::string out = "Looked for ";
  for (int i = 0; i < xml->num_tried_; i++) {
    if (i) out += i + 1 == xml->num_tried_ ? " and " : ", ";
    out += "<TT>";
    // A bare name was looked for in the working directory: say which one.
    char cwd[1024];
    if (xml->tried_[i][0] != '/' && getcwd(cwd, sizeof cwd)) {
      append_escaped(out, cwd);
      out += strcmp(cwd, "/") ? "/" : "";
    }
    append_escaped(out, xml->tried_[i]);
    out += "</TT>";
  }
  out += ". Start the program in the directory that holds errors.xml, or set "
         "<TT>TARN_DATADIR</TT> to the directory whose <TT>data</TT> folder holds it.";
  return out;
}

static bool knowledge_missing(const ErrorXML *xml) { return !xml->loaded_[0]; }

// Why the log cannot be read and what to do about it, as paragraphs of HTML.
static std::string log_failure(const char *path, bool too_long, const LogStatus &st) {
  std::string out = "<P>";
  if (too_long) {
    out += "The log file's name is too long (the limit is 1023 characters).</P>\n"
           "<P>Name the log by a shorter path on the command line.</P>\n";
    return out;
  }
  if (!*path) {
    out += "No log file is named: the name given on the command line is empty.</P>\n"
           "<P>Name the log on the command line, for example <TT>veklog "
           "/var/log/tarn/error_log</TT>.</P>\n";
    return out;
  }
  std::string file = "<TT>";
  append_escaped(file, path);
  file += "</TT>";
  out += "The log file " + file + " cannot be read: ";
  const char *reason = st.reason.empty() ? strerror(st.error) : st.reason.c_str();
  if (!strncmp(reason, "is ", 3)) out += "it ";
  append_escaped(out, reason);
  out += ".</P>\n<P>";
  struct stat sb;
  struct group *gr;
  switch (st.error) {
    case EACCES:
    case EPERM:
      if (stat(path, &sb) == 0 && (sb.st_mode & S_IRGRP) && (gr = getgrgid(sb.st_gid))) {
        std::string group;
        append_escaped(group, gr->gr_name);
        out += "Members of the group <TT>" + group + "</TT> may read it: run the viewer as a "
               "member of that group (an administrator adds you with <TT>adduser "
               "<I>you</I> " + group + "</TT>; log in again afterwards), or as root.";
      } else {
        out += "Run the viewer as a user who may read it, for example as root "
               "(<TT>sudo veklog</TT>), or have its permissions let your group read it.";
      }
      break;
    case ENOENT:
    case ENOTDIR:
      out += "The print server may not have written its log yet, or it writes it elsewhere: "
             "name that file on the command line, for example <TT>veklog "
             "/path/to/error_log</TT>. This window keeps looking for " + file +
             " and shows the log as soon as it is there.";
      break;
    case EISDIR:
      out += "Name the log file in that directory on the command line, for example "
             "<TT>veklog " + file.substr(4, file.size() - 9) + "/error_log</TT>.";
      break;
    default:
      out += "Only a regular file can be shown: name the log file itself on the command line.";
      break;
  }
  out += "</P>\n";
  return out;
}

std::string ErrorLog::notice() const {
  std::string doc;
  const LogStatus &st = list_->status();
  if (st.kind == LogStatus::Failed) {
    doc += "<H1>Cannot Read the Log</H1>\n" +
           log_failure(list_->filename_, name_too_long_, st);
  } else if (st.damaged) {
    doc += "<H1>Damaged Compressed Log</H1>\n<P>The compressed log <TT>";
    append_escaped(doc, list_->filename_);
    doc += "</TT> is damaged: the list shows the lines that could be read before the "
           "damage.";
    // The decompressor's own words, when the reason carries them, without the
    // descriptor it names them by.
    size_t open = st.reason.find(" ("), close = st.reason.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open + 2) {
      std::string detail = st.reason.substr(open + 2, close - open - 2);
      if (!detail.compare(0, 4, "<fd:") && detail.find(">: ") != std::string::npos)
        detail.erase(0, detail.find(">: ") + 3);
      doc += " (";
      append_escaped(doc, detail.c_str());
      doc += ")";
    }
    doc += "</P>\n";
  }
  if (knowledge_missing(xml_)) {
    doc += "<H1>No Knowledge Base</H1>\n<P>No knowledge base (errors.xml) was found, so no "
           "line can be explained and Diagnose has nothing to weigh the lines against. ";
    doc += knowledge_tried(xml_);
    doc += "</P>\n";
  } else if (kb_errors_ > 0) {
    std::string path;
    char cwd[1024];
    if (xml_->loaded_[0] != '/' && getcwd(cwd, sizeof cwd))
      path = std::string(cwd) + (strcmp(cwd, "/") ? "/" : "");
    path += xml_->loaded_;
    std::string file;
    append_escaped(file, path.c_str());
    doc += "<H1>Errors in the Knowledge Base</H1>\n<P>" + std::to_string(kb_errors_) +
           (kb_errors_ == 1 ? " entry" : " entries") + " of <TT>" + file +
           "</TT> could not be read as written: items are lost, moved to another remedy or "
           "can never match a line, which changes what is explained and what Diagnose names. "
           "<TT>veklog-explain --check-kb " + file + "</TT> lists them with their line "
           "numbers.</P>\n";
  }
  return doc;
}

// The link of Diagnose's document to the lines it found below the level.
static const char kUnlistedLink[] = "veklog:unlisted";
// Lines quoted in that document, and the characters of each.
static const size_t kQuoted = 20, kQuotedChars = 240;

// Weighs the lines of a read as they come, listed when the view's level
// takes them.
namespace {
struct WeighSink : LogSink {
  ErrorXML &xml;
  int level;
  std::unique_ptr<Diagnosis> diagnosis;
  WeighSink(ErrorXML &x, int l) : xml(x), level(l), diagnosis(new Diagnosis(x)) {}
  void restart() override { diagnosis.reset(new Diagnosis(xml)); }
  void drop_unfinished() override {}  // a single read never withdraws a line
  // A piece is listed with its line; Diagnose never weighs it.
  bool listing = false;
  void line(const char *text, size_t len, bool continued) override {
    if (!continued) listing = LogReader::accepts(level, (unsigned char)text[0]);
    diagnosis->weigh(text, len, listing, continued);
  }
};

// Keeps the texts of the wanted lines of a read (their numbers ascending).
struct PickSink : LogSink {
  const std::vector<size_t> &wanted;
  size_t n = 0, next = 0;
  std::vector<std::string> texts;
  explicit PickSink(const std::vector<size_t> &w) : wanted(w) {}
  void restart() override {
    n = next = 0;
    texts.clear();
  }
  void drop_unfinished() override {}
  void line(const char *text, size_t len, bool) override {
    if (next < wanted.size() && wanted[next] == n) {
      texts.emplace_back(text, len);
      next++;
    }
    n++;
  }
};
}  // namespace

// The list's items, top first, and for each line or piece of the file, in
// the file's order, its place among them: the list is newest first, but a
// long line's pieces stand in their own order under its first piece.
static std::vector<int> file_order(ErrorBrowser *list, std::vector<void *> &items) {
  items.clear();
  items.reserve((size_t)list->size());
  for (void *item = list->first_item(); item; item = list->next_item(item)) items.push_back(item);
  std::vector<int> order;
  order.reserve(items.size());
  for (size_t end = items.size(); end > 0;) {
    size_t start = end - 1;  // the first piece of the line that ends at end
    while (start > 0 && list->continuation(items[start])) start--;
    for (size_t k = start; k < end; k++) order.push_back((int)k);
    end = start;
  }
  return order;
}

void ErrorLog::diagnose_cb() {
  notice_ = 0;
  explained_.clear();
  unlisted_.clear();
  unlisted_first_.clear();
  const LogStatus &st = list_->status();
  if (st.kind == LogStatus::Failed) {
    show_text(help_, "<H1>Could Not Read the Log</H1>\n<P>Diagnose weighs the lines of the log, "
                     "and there are none to weigh.</P>\n" +
                         log_failure(list_->filename_, name_too_long_, st));
    notice_ = 1;
    return;
  }
  if (knowledge_missing(xml_)) {
    show_text(help_, "<H1>No Knowledge Base</H1>\n<P>There is no knowledge base to weigh the "
                     "lines against: errors.xml was not found. " +
                         knowledge_tried(xml_) + "</P>\n");
    return;
  }

  // Every line of the file is weighed, oldest first, a long line by its
  // first piece. At the All level the list holds them (bottom = oldest); at
  // the others the file is read once more, after the list is brought up to
  // date, so that its listed lines are the list's from the bottom up; lines
  // appended since come after them.
  bool all = list_->level_ == 2;
  if (!all) list_->update();
  std::vector<void *> items;  // the list's lines and pieces, top first
  std::vector<int> order = file_order(list_, items);
  list_->deselect();
  std::unique_ptr<Diagnosis> diagnosis;
  if (all) {
    // The lines lie all over memory: ask for the next ones early.
    diagnosis.reset(new Diagnosis(*xml_, items.size()));
    for (size_t k = 0; k < order.size(); k++) {
      if (k + 8 < order.size()) __builtin_prefetch(list_->text_of(items[order[k + 8]]));
      void *item = items[order[k]];
      diagnosis->weigh(list_->text_of(item), true, list_->continuation(item));
    }
  } else {
    WeighSink sink(*xml_, list_->level_);
    LogReader(list_->filename_, 2).read(sink);
    diagnosis = std::move(sink.diagnosis);
  }

  ErrorXMLRemedy *best = diagnosis->best();
  if (!best) {
    help_->value("<H1>No Errors Found</H1>\n"
                 "<P>No errors were found that require a remedy.</P>\n");
    return;
  }
  // Select the listed lines behind the remedy from the oldest up, so the
  // matching line nearest the top ends up current and in view. The k-th
  // listed line of the file is the k-th list line from the bottom; one
  // beyond them was appended after the list was read.
  std::vector<size_t> leads = diagnosis->listed_leads();
  std::vector<int> shown;
  shown.reserve(leads.size());
  size_t listed = 0, next = 0;
  for (size_t i = 0; i < diagnosis->lines() && next < leads.size(); i++) {
    if (!diagnosis->listed(i)) continue;
    if (i == leads[next]) {
      if (listed < order.size()) {
        list_->select_item(items[order[listed]]);
        shown.push_back(order[listed] + 1);
      }
      next++;
    }
    listed++;
  }
  list_->scroll_through(shown.data(), (int)shown.size());

  // The document: the remedy's text, then what the diagnosis weighed.
  const std::vector<Diagnosis::Standing> &ranking = diagnosis->standings();
  char buf[1024];
  std::string doc = "<H1>Remedy</H1>\n";
  doc += best->text;
  doc += "\n<P>Remedy <TT>";
  append_escaped(doc, best->name);
  size_t weighed = diagnosis->weighed(), leading = diagnosis->leads().size();
  snprintf(buf, sizeof buf,
           "</TT>, score %d: %zu line%s weighed, %zu explained, %zu unknown; %zu point%s to "
           "it.</P>\n",
           ranking[0].total, weighed, weighed == 1 ? "" : "s", diagnosis->explained(),
           diagnosis->unknown(), leading, leading == 1 ? "s" : "");
  doc += buf;
  for (size_t k = 1; k < ranking.size() && k < 3; k++) {
    doc += k == 1 ? "<P>Next: <TT>" : "; <TT>";
    append_escaped(doc, ranking[k].remedy->name);
    snprintf(buf, sizeof buf, "</TT>, score %d", ranking[k].total);
    doc += buf;
    if (k + 1 == ranking.size() || k == 2) doc += ".</P>\n";
  }
  unlisted_ = diagnosis->unlisted_leads();
  if (!unlisted_.empty()) {
    std::vector<size_t> quoted(unlisted_.begin(),
                               unlisted_.begin() + std::min(unlisted_.size(), kQuoted));
    std::vector<std::string> texts;
    if (all) {
      for (size_t i : quoted) texts.push_back(list_->text_of(items[order[i]]));
    } else {
      PickSink pick(quoted);
      LogReader(list_->filename_, 2).read(pick);
      texts = pick.texts;
    }
    if (!texts.empty()) unlisted_first_ = texts[0];
    snprintf(buf, sizeof buf,
             "<H2>Found in lines this view does not list</H2>\n<P>%s the level leaves out "
             "point%s to this remedy. <A HREF=\"%s\">Show %s at the All level</A>.</P>\n<PRE>",
             unlisted_.size() == 1 ? "One line" : (std::to_string(unlisted_.size()) + " lines").c_str(),
             unlisted_.size() == 1 ? "s" : "", kUnlistedLink,
             unlisted_.size() == 1 ? "it" : "them");
    doc += buf;
    for (const std::string &t : texts) {
      std::string line = t.substr(0, t.find('\n'));
      if (line.size() > kQuotedChars) line = line.substr(0, kQuotedChars) + "...";
      append_escaped(doc, line.c_str());
      doc += "\n";
    }
    doc += "</PRE>\n";
    if (unlisted_.size() > texts.size()) {
      snprintf(buf, sizeof buf, "<P>... and %zu more.</P>\n", unlisted_.size() - texts.size());
      doc += buf;
    }
  }
  show_text(help_, doc);
}

const char *ErrorLog::link_cb(const char *uri) {
  if (!uri || strcmp(uri, kUnlistedLink) != 0) return uri;
  std::vector<size_t> lines = unlisted_;
  Fl_Menu_Item *all = (Fl_Menu_Item *)menubar_->find_item("&View/&All");
  if (all) all->setonly();
  level(2);
  list_->deselect();
  // The lines are found by their place in the file; a log replaced since
  // Diagnose has other lines there, and none is selected.
  std::vector<void *> items;
  std::vector<int> order = file_order(list_, items);
  if (lines.empty() || lines[0] >= order.size() ||
      unlisted_first_ != list_->text_of(items[order[lines[0]]]))
    return nullptr;
  // From the oldest up, as Diagnose selects: the one nearest the top ends
  // up current and in view.
  std::vector<int> shown;
  for (size_t i : lines) {
    if (i >= order.size()) break;
    list_->select(order[i] + 1);
    shown.push_back(order[i] + 1);
  }
  list_->scroll_through(shown.data(), (int)shown.size());
  return nullptr;
}

void ErrorLog::list_cb() {
  notice_ = 0;
  explain();
}

// Explains the current line (all of its line, when it is a piece of a long
// one) after `note`, or shows the empty document when there is none; a
// note with no current line says that the line explained is not listed.
void ErrorLog::explain(const char *note) {
  void *current = list_->current_item();
  if (!current) {
    std::string doc;
    if (*note) {
      doc = "<H1>Line No Longer Listed</H1>\n<P>The line explained here is not listed now:</P>\n"
            "<PRE>";
      append_escaped(doc, explained_.c_str());
      doc += "</PRE>\n";
    }
    explained_.clear();
    show_text(help_, doc);
    return;
  }
  void *first = list_->line_start(current);
  explained_ = list_->text_of(first);
  std::string joined;
  const char *text = list_->line_text(first, joined);
  std::string doc = note;
  if (ErrorXMLItem *item = xml_->find_item(text)) {
    doc += "<H1>Description</H1>\n" + std::string(item->text) + "\n<H1>Remedy</H1>\n" +
           item->remedy->text + "\n";
  } else {
    doc += "<H1>Unrecognized Error Message</H1>\n"
           "<P>Clicked on the following, unrecognized line:</P>\n<PRE>";
    append_escaped(doc, text);
    doc += "</PRE>\n";
    if (knowledge_missing(xml_))
      doc += "<P>No knowledge base is loaded (errors.xml was not found), so no line is "
             "recognized.</P>\n";
  }
  show_text(help_, doc);
}

void ErrorLog::help_cb(const char *) {}
