// ErrorLog.cxx - building the window, switching levels, reloading and polling
// the log file; the find bar, the filter, the keys, the start page and a
// job's story.
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

#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>

#include "app/Pages.h"
#include "base/LogLine.h"
#include "knowledge/Diagnosis.h"
#include "knowledge/ErrorXML.h"
#include "knowledge/KbCheck.h"
#include "knowledge/KbLookup.h"
#include "logread/LogIndex.h"
#include "logread/LogLocation.h"
#include "logread/LogReader.h"
#include "logread/NameWatch.h"
#include "base/open_regular.h"

Fl_Menu_Item ErrorLog::menu_menubar_[] = {
  {"&File", 0, 0, 0, FL_SUBMENU, FL_NORMAL_LABEL, 0, 14, 56},
  {"&Open...", FL_CTRL + 'o', (Fl_Callback *)ErrorLog::cb_Open, 0, 0, FL_NORMAL_LABEL, 0, 14, 56},
  {"Open &Journal Directory...", 0, (Fl_Callback *)ErrorLog::cb_Open_Journal_Directory, 0, 0,
   FL_NORMAL_LABEL, 0, 14, 56},
  {0, 0, 0, 0, 0, 0, 0, 0, 0},
  {"&Action", 0, 0, 0, FL_SUBMENU, FL_NORMAL_LABEL, 0, 14, 56},
  {"&Diagnose", 0, (Fl_Callback *)ErrorLog::cb_Diagnose, 0, 0, FL_NORMAL_LABEL, 0, 14, 56},
  {"&Find...", FL_CTRL + 'f', (Fl_Callback *)ErrorLog::cb_Find, 0, 0, FL_NORMAL_LABEL, 0, 14, 56},
  {"Find &Next", FL_F + 3, (Fl_Callback *)ErrorLog::cb_Find_Next, 0, 0, FL_NORMAL_LABEL, 0, 14,
   56},
  {"Find &Previous", FL_SHIFT + FL_F + 3, (Fl_Callback *)ErrorLog::cb_Find_Previous, 0, 0,
   FL_NORMAL_LABEL, 0, 14, 56},
  {"&Quit", FL_CTRL + 'q', (Fl_Callback *)ErrorLog::cb_Quit, 0, 0, FL_NORMAL_LABEL, 0, 14, 56},
  {0, 0, 0, 0, 0, 0, 0, 0, 0},
  {"&View", 0, 0, 0, FL_SUBMENU, FL_NORMAL_LABEL, 0, 14, 56},
  {"&Errors", 0, (Fl_Callback *)ErrorLog::cb_Errors, 0, FL_MENU_RADIO | FL_MENU_VALUE,
   FL_NORMAL_LABEL, 0, 14, 56},
  {"&Informational", 0, (Fl_Callback *)ErrorLog::cb_Informational, 0, FL_MENU_RADIO,
   FL_NORMAL_LABEL, 0, 14, 56},
  {"&All", 0, (Fl_Callback *)ErrorLog::cb_All, 0, FL_MENU_RADIO, FL_NORMAL_LABEL, 0, 14, 56},
  {"&Filter...", FL_CTRL + 'l', (Fl_Callback *)ErrorLog::cb_Filter, 0, 0, FL_NORMAL_LABEL, 0, 14,
   56},
  {"&Job's Lines Only", 'j', (Fl_Callback *)ErrorLog::cb_Job, 0, FL_MENU_TOGGLE, FL_NORMAL_LABEL,
   0, 14, 56},
  {"R&otated Logs", 0, (Fl_Callback *)ErrorLog::cb_Rotated_Logs, 0, FL_MENU_TOGGLE | FL_MENU_VALUE,
   FL_NORMAL_LABEL, 0, 14, 56},
  {"&Reload", FL_F + 5, (Fl_Callback *)ErrorLog::cb_Reload, 0, 0, FL_NORMAL_LABEL, 0, 14, 56},
  {"&Keys", FL_F + 1, (Fl_Callback *)ErrorLog::cb_Keys, 0, 0, FL_NORMAL_LABEL, 0, 14, 56},
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

// The window hands the controller the keys its widgets leave, and gives the
// pane the focus when it is clicked, so that Ctrl+C copies the text selected
// in it.
class LogWindow : public Fl_Window {
public:
  LogWindow(int W, int H, const char *L) : Fl_Window(W, H, L) {}
  int handle(int event) override {
    ErrorLog *log = (ErrorLog *)user_data();
    if (log && (event == FL_KEYBOARD || event == FL_SHORTCUT) && log->key_cb(event)) return 1;
    int used = Fl_Window::handle(event);
    if (log && event == FL_PUSH && Fl::event_inside(log->help_)) Fl::focus(log->help_);
    return used;
  }

protected:
  // The pane cannot be told itself that it draws; the window that draws it can.
  void draw() override {
    ErrorLog *log = (ErrorLog *)user_data();
    if (!log || !log->help_) return Fl_Window::draw();
    HelpPane::LayingOut busy(log->help_);
    Fl_Window::draw();
  }
};

static void show_text(HelpPane *help, std::string doc);

// What is wrong with the log: its errno, -1 another failure, -2 damaged; 0 nothing.
static int trouble_of(const LogStatus &st) {
  return st.kind == LogStatus::Failed ? (st.error ? st.error : -1) : st.damaged ? -2 : 0;
}

static void show_level(Fl_Menu_Bar *menubar, int level);

// Menu callbacks reach the controller through the menu bar's window.
static ErrorLog *owner(Fl_Widget *w) {
  return (ErrorLog *)w->parent()->user_data();
}

void ErrorLog::cb_Diagnose(Fl_Menu_ *o, void *) { owner(o)->diagnose_cb(); }
void ErrorLog::cb_Quit(Fl_Menu_ *, void *) { exit(1); }
void ErrorLog::cb_Errors(Fl_Menu_ *o, void *) { owner(o)->level(0); }
void ErrorLog::cb_Informational(Fl_Menu_ *o, void *) { owner(o)->level(1); }
void ErrorLog::cb_All(Fl_Menu_ *o, void *) { owner(o)->level(2); }
void ErrorLog::cb_Find(Fl_Menu_ *o, void *) { owner(o)->open_find(); }
void ErrorLog::cb_Find_Next(Fl_Menu_ *o, void *) { owner(o)->find_next(true); }
void ErrorLog::cb_Find_Previous(Fl_Menu_ *o, void *) { owner(o)->find_next(false); }
void ErrorLog::cb_Filter(Fl_Menu_ *o, void *) { owner(o)->open_filter(); }
void ErrorLog::cb_Job(Fl_Menu_ *o, void *) { owner(o)->job_cb(); }
void ErrorLog::cb_Reload(Fl_Menu_ *o, void *) {
  ErrorLog *log = owner(o);
  log->reload();
  if (log->start_) log->show_start();
}
void ErrorLog::cb_Keys(Fl_Menu_ *o, void *) { owner(o)->keys_cb(); }
void ErrorLog::cb_Open(Fl_Menu_ *o, void *) { owner(o)->open_cb(); }
void ErrorLog::cb_Open_Journal_Directory(Fl_Menu_ *o, void *) { owner(o)->open_directory_cb(); }
void ErrorLog::cb_Rotated_Logs(Fl_Menu_ *o, void *) { owner(o)->rotated_cb(); }

// The row's fields reach the controller through the row's window.
void ErrorLog::cb_find_(Fl_Input *o, void *) {
  ((ErrorLog *)(o->parent()->parent()->user_data()))->find_cb();
}
void ErrorLog::cb_filter_(Fl_Input *o, void *) {
  ((ErrorLog *)(o->parent()->parent()->user_data()))->filter_cb();
}

void ErrorLog::cb_list_(ErrorBrowser *o, void *) {
  ((ErrorLog *)(o->parent()->parent()->user_data()))->list_cb();
}

const char *ErrorLog::cb_help_(Fl_Widget *o, const char *uri) {
  return ((ErrorLog *)(o->parent()->parent()->user_data()))->link_cb(uri);
}

static SourceRef named_file(const char *filename) {
  SourceRef ref;
  ref.path = filename ? filename : kDefaultLog;
  return ref;
}

ErrorLog::ErrorLog(const char *filename) : ErrorLog(named_file(filename)) {}

ErrorLog::ErrorLog(const SourceRef &ref, const std::string &why) {
  window_ = new LogWindow(645, 455, "Error Log " VEKLOG_VERSION_TEXT);
  window_->user_data(this);
  menubar_ = new Fl_Menu_Bar(0, 0, 645, 25);
  menubar_->menu(menu_menubar_);
  bar_ = new Fl_Group(0, 25, 645, 25);
  find_ = new Fl_Input(42, 27, 200, 21, "Find:");
  find_->when(FL_WHEN_CHANGED);
  find_->callback((Fl_Callback *)cb_find_);
  found_ = new Fl_Box(246, 27, 150, 21);
  found_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  found_->labelsize(13);
  filter_ = new Fl_Input(448, 27, 192, 21, "Filter:");
  filter_->when(FL_WHEN_CHANGED);
  filter_->callback((Fl_Callback *)cb_filter_);
  bar_->end();
  bar_->resizable(0);
  bar_->hide();
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
  help_ = new HelpPane(0, 255, 645, 200);
  help_->textsize(16);
  help_->link(cb_help_);
  tile->end();
  window_->resizable(tile);
  window_->end();

  mtime_ = 0;
  notice_ = 0;
  trouble_ = 0;
  finding_ = 0;
  start_ = 0;
  job_view_ = 0;
  saved_level_ = 0;
  // The checker watches the load, so that a broken entry is not lost in silence.
  xml_ = new ErrorXML(0);
  KbCheck check;
  xml_->load(kKbName, &check);
  kb_errors_ = check.errors();
  // The start page counts the error lines that only a catch-all knows.
  index_ = new LogIndex([this](const char *line, size_t) {
    ErrorXMLItem *item = xml_->find_item(line);
    return !item || is_catch_all(item);
  });

  list_->level_ = 0;
  list_->redraw();
  watch_ = 0;
  journal_fd_ = -1;
  open(ref, why);
  timeout_cb(this);
}

void ErrorLog::unwatch() {
  if (watch_) {
    if (watch_->fd() >= 0) Fl::remove_fd(watch_->fd());
    delete watch_;
    watch_ = 0;
  }
  if (journal_fd_ >= 0) Fl::remove_fd(journal_fd_);
  journal_fd_ = -1;
}

void ErrorLog::open(const SourceRef &ref, const std::string &why) {
  unwatch();
  source_reason_ = why;
  explained_.clear();
  unlisted_.clear();
  unlisted_first_.clear();
  // A name too long to hold is not cut short: the shorter name could be
  // another file. Such a log is simply not there.
  name_too_long_ = ref.kind == SourceRef::File && ref.path.size() >= sizeof list_->filename_;
  list_->source(ref);
  if (job_view_) {
    // A job of the source shown before: what was listed before it comes back.
    job_view_ = 0;
    if (Fl_Menu_Item *job = (Fl_Menu_Item *)menubar_->find_item("&View/&Job's Lines Only")) job->clear();
    filter_->value(saved_filter_.c_str());
    list_->level_ = saved_level_;
    show_level(menubar_, saved_level_);
    list_->filter(saved_filter_.c_str());
    update_bar();
  }
  list_->load();
  trouble_ = trouble_of(list_->status());
  if (ref.kind == SourceRef::File) {
    // A rotation is read at once, not at the next poll: the server may
    // rotate again before it, and keeps only one old file.
    watch_ = new NameWatch(list_->filename_);
    if (watch_->fd() >= 0) Fl::add_fd(watch_->fd(), FL_READ, watch_cb, this);
  } else {
    // A journal says when it changes.
    journal_fd_ = list_->source_fd();
    if (journal_fd_ >= 0) Fl::add_fd(journal_fd_, FL_READ, journal_cb, this);
  }
  if (Fl_Menu_Item *rotated = (Fl_Menu_Item *)menubar_->find_item("&View/R&otated Logs")) {
    if (ref.rotated)
      rotated->set();
    else
      rotated->clear();
    if (ref.journal())
      rotated->deactivate();
    else
      rotated->activate();
  }
  // The title says which host a journal's lines come from.
  std::string title = "Error Log " VEKLOG_VERSION_TEXT;
  if (!ref.host.empty()) title += ", host " + ref.host;
  window_->copy_label(title.c_str());
  // Say at once what keeps the log or the knowledge base from being used,
  // on the start page.
  show_start();
}

bool ErrorLog::open_path(const char *path) {
  if (!path || !*path) return false;
  SourceRef now = list_->source();
  open(ref_for_path(path, now.rotated, ""), "");
  return true;
}

// The directory the chooser starts in: the shown log's or journal file's,
// or the journal directory shown; else the working directory.
static std::string start_dir(const SourceRef &ref) {
  if (ref.kind == SourceRef::JournalDirectory) return ref.path;
  size_t slash = ref.path.rfind('/');
  if (ref.kind == SourceRef::Journal || slash == std::string::npos) return ".";
  return slash ? ref.path.substr(0, slash) : "/";
}

void ErrorLog::open_cb() {
  Fl_File_Chooser chooser(start_dir(list_->source()).c_str(), "*\tJournal Files (*.journal)",
                          Fl_File_Chooser::SINGLE, "Open a Log or a Journal File");
  chooser.show();
  while (chooser.shown()) Fl::wait();
  if (chooser.value()) open_path(chooser.value());
}

void ErrorLog::open_directory_cb() {
  // A collector's directory of journal files, one per sender.
  const char *dir = fl_dir_chooser("Open a Journal Directory", start_dir(list_->source()).c_str());
  if (dir) open_path(dir);
}

void ErrorLog::rotated_cb() {
  SourceRef ref = list_->source();
  if (ref.journal()) return;
  const Fl_Menu_Item *item = menubar_->find_item("&View/R&otated Logs");
  ref.rotated = item && item->value();
  open(ref, source_reason_);
}

void ErrorLog::journal_cb(int, void *v) { ((ErrorLog *)v)->poll(); }

ErrorLog::~ErrorLog() {
  Fl::remove_timeout(poll_timeout, this);
  unwatch();
  Fl::remove_timeout(judge_timeout, this);
  // The pane looks its images up once more as it goes, after the widgets
  // that lead to this controller.
  help_->link(nullptr);
  delete window_;
  delete index_;
  delete xml_;
  for (auto &f : pane_files_) close(f.second.fd);
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
  job_view_ = 0;
  if (Fl_Menu_Item *job = (Fl_Menu_Item *)menubar_->find_item("&View/&Job's Lines Only")) job->clear();
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
void ErrorLog::after_read(bool afresh) {
  const LogStatus &st = list_->status();
  if ((afresh || st.kind == LogStatus::Fresh || st.kind == LogStatus::Failed) &&
      !explained_.empty()) {
    void *current = list_->current_item();
    if (current && explained_ == list_->text_of(list_->line_start(current)))
      explain();
    else
      explain("<P><I>The line explained before is not listed now; this is the line selected "
              "in its place.</I></P>\n");
  }
  int trouble = trouble_of(st);
  if (trouble != trouble_ && (trouble || notice_)) {
    // What is wrong is said, or no longer, on the start page.
    explained_.clear();
    show_start();
  } else if (start_ && (afresh || st.kind != LogStatus::Unchanged)) {
    int top = help_->topline();
    show_start();
    help_->topline(top);
  }
  trouble_ = trouble;
}

void ErrorLog::poll_timeout(void *log) { timeout_cb((ErrorLog *)log); }

void ErrorLog::watch_cb(int, void *v) {
  ErrorLog *log = (ErrorLog *)v;
  if (log->watch_->touched()) log->poll();
}

void ErrorLog::timeout_cb(ErrorLog *log) {
  // The log's reader decides whether it changed: another file, other bytes,
  // more bytes, or a failure other than the last. A log that is missing is
  // looked for again at every poll.
  log->poll();
  Fl::add_timeout(1.0, poll_timeout, log);
}

// Documents for the pane are cut at this size, whatever they hold.
static const size_t kDocSize = 65536;

// Shows a document built as a string, cut to the pane's limit like the rest.
static void show_text(HelpPane *help, std::string doc) {
  if (doc.size() >= kDocSize) doc.resize(kDocSize - 1);
  help->value(doc.c_str());
}

// No file, or one that gives nothing to explain a line with.
static bool knowledge_missing(const ErrorXML *xml) { return xml->num_items_ == 0; }

PaneFacts ErrorLog::facts() const {
  PaneFacts f;
  char cwd[1024];
  if (getcwd(cwd, sizeof cwd)) f.cwd = cwd;
  const LogStatus &st = list_->status();
  SourceRef ref = list_->source();
  f.path = ref.journal() ? ref.path : list_->filename_;
  if (ref.journal()) f.source = ref.name();
  f.host = ref.host;
  f.reason_chosen = source_reason_;
  f.parts = list_->parts_read();
  f.notes = list_->notes();
  f.name_too_long = name_too_long_;
  f.failed = st.kind == LogStatus::Failed;
  f.error = st.error;
  f.reason = st.reason;
  f.compressed = st.compressed;
  f.damaged = st.damaged;
  for (const KbLookup::Place &p : xml_->lookup_.places()) f.kb_tried.push_back(p.path);
  f.kb_loaded = xml_->lookup_.path();
  f.kb_shown = xml_->lookup_.shown();
  f.kb_ignored = xml_->lookup_.ignored();
  f.kb_refused = xml_->refused_;
  f.kb_items = xml_->num_items_;
  f.kb_errors = kb_errors_;
  return f;
}

std::string ErrorLog::notice() const { return notice_page(facts()); }

// The link of Diagnose's document to the lines it found below the level.
static const char kUnlistedLink[] = "veklog:unlisted";
// Lines quoted in that document, and the characters of each.
static const size_t kQuoted = 20, kQuotedChars = 240;

// Weighs the lines of a read that the filter lets through as they come,
// listed when the view's level takes them.
namespace {
struct WeighSink : LogSink {
  ErrorXML &xml;
  int level;
  LineGate gate;
  std::unique_ptr<Diagnosis> diagnosis;
  WeighSink(ErrorXML &x, int l, const TextMatch &filter)
      : xml(x), level(l), gate(&filter), diagnosis(new Diagnosis(x)) {}
  void restart() override { diagnosis.reset(new Diagnosis(xml)); }
  void drop_unfinished() override {}  // a single read never withdraws a line
  // A piece is listed with its line; Diagnose never weighs it.
  bool listing = false;
  void line(const char *text, size_t len, bool continued) override {
    if (!gate.take(text, len, continued)) return;
    if (!continued) listing = LogReader::accepts(level, (unsigned char)text[0]);
    diagnosis->weigh(text, len, listing, continued);
  }
};

// Keeps the texts of the wanted lines of a read (their numbers ascending,
// among the lines the filter lets through).
struct PickSink : LogSink {
  const std::vector<size_t> &wanted;
  LineGate gate;
  size_t n = 0, next = 0;
  std::vector<std::string> texts;
  PickSink(const std::vector<size_t> &w, const TextMatch &filter) : wanted(w), gate(&filter) {}
  void restart() override {
    n = next = 0;
    texts.clear();
  }
  void drop_unfinished() override {}
  void line(const char *text, size_t len, bool continued) override {
    if (!gate.take(text, len, continued)) return;
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
// long line's pieces stand in their own order under its first piece. Each
// item is handed to `visit` in the file's order too, as it is met.
template <class Visit>
static std::vector<int> file_order(ErrorBrowser *list, std::vector<void *> &items, Visit visit) {
  // From the bottom up: the order the lines were read in, and so the order
  // their records lie in memory.
  size_t k = (size_t)list->size(), pieces = 0;  // pieces: those below the line's first
  items.assign(k, nullptr);
  std::vector<int> order;
  order.reserve(items.size());
  for (void *item = list->last_item(); item && k > 0; item = list->prev_item(item)) {
    items[--k] = item;
    if (k > 0 && list->continuation(item)) {
      pieces++;
      continue;
    }
    for (size_t j = 0; j <= pieces; j++) {
      order.push_back((int)(k + j));
      visit(items[k + j]);
    }
    pieces = 0;
  }
  return order;
}

static std::vector<int> file_order(ErrorBrowser *list, std::vector<void *> &items) {
  return file_order(list, items, [](void *) {});
}

void ErrorLog::diagnose_cb() {
  notice_ = 0;
  start_ = 0;
  explained_.clear();
  unlisted_.clear();
  unlisted_first_.clear();
  const LogStatus &st = list_->status();
  if (st.kind == LogStatus::Failed) {
    show_text(help_, diagnose_unreadable_page(facts()));
    notice_ = 1;
    return;
  }
  if (knowledge_missing(xml_)) {
    show_text(help_, diagnose_no_knowledge_page(facts()));
    return;
  }

  // Every line of the file that the filter lets through is weighed, oldest
  // first, a long line by its first piece. At the All level with no filter
  // the list holds them (bottom = oldest); else the file is read once more,
  // after the list is brought up to date, so that its listed lines are the
  // list's from the bottom up; lines appended since come after them.
  bool all = list_->level_ == 2 && list_->filter().empty();
  if (!all) list_->update();
  std::vector<void *> items;  // the list's lines and pieces, top first
  std::vector<int> order;
  std::unique_ptr<Diagnosis> diagnosis;
  if (all) {
    // Weighed as the walk meets them: each record is read once.
    diagnosis.reset(new Diagnosis(*xml_, (size_t)list_->size()));
    order = file_order(list_, items, [&](void *item) {
      diagnosis->weigh(list_->text_of(item), true, list_->continuation(item));
    });
  } else {
    order = file_order(list_, items);
    WeighSink sink(*xml_, list_->level_, list_->filter());
    LogSource(list_->source(), 2).read(sink);
    diagnosis = std::move(sink.diagnosis);
  }
  list_->deselect();

  ErrorXMLRemedy *best = diagnosis->best();
  if (!best) {
    show_text(help_, "<H1>No Errors Found</H1>\n"
                     "<P>No errors were found that require a remedy.</P>\n" + kb_foot(facts()));
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
      PickSink pick(quoted, list_->filter());
      LogSource(list_->source(), 2).read(pick);
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
  doc += kb_foot(facts());
  show_text(help_, doc);
}

const char *ErrorLog::link_cb(const char *uri) {
  if (!uri) return uri;
  // A page's images are looked up here too, by any name and while the pane
  // lays the page out: only the link followed shows the lines. Every lookup
  // takes the pane's mark, so that a link's page finds none left.
  bool followed = help_->following();
  if (strcmp(uri, kUnlistedLink) != 0 || !followed) return pane_file(uri);
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
  start_ = 0;
  explain();
}

// Explains the current line (all of its line, when it is a piece of a long
// one) after `note`, and a job's line with the job's story; with no current
// line the start page, or with a note the page that says the line explained
// is not listed.
void ErrorLog::explain(const char *note) {
  void *current = list_->current_item();
  if (!current) {
    if (!*note) {
      explained_.clear();
      show_start();
      return;
    }
    std::string doc = "<H1>Line No Longer Listed</H1>\n<P>The line explained here is not listed "
                      "now:</P>\n<PRE>";
    append_escaped(doc, explained_.c_str());
    doc += "</PRE>\n";
    explained_.clear();
    start_ = 0;
    show_text(help_, doc);
    return;
  }
  start_ = 0;
  void *first = list_->line_start(current);
  explained_ = list_->text_of(first);
  std::string joined;
  const char *text = list_->line_text(first, joined);
  std::string doc = note;
  ErrorXMLItem *item = xml_->find_item(text);
  if (item) {
    doc += "<H1>Description</H1>\n" + std::string(item->text) + "\n<H1>Remedy</H1>\n" +
           item->remedy->text + "\n";
  } else {
    doc += "<H1>Unrecognized Error Message</H1>\n"
           "<P>Clicked on the following, unrecognized line:</P>\n<PRE>";
    append_escaped(doc, text);
    doc += "</PRE>\n";
    if (knowledge_missing(xml_))
      doc += xml_->lookup_.path().empty()
                 ? "<P>No knowledge base is loaded (errors.xml was not found), so no line is "
                   "recognized.</P>\n"
                 : "<P>The knowledge base yields no item, so no line is recognized.</P>\n";
  }
  doc += story(text, item);
  doc += kb_foot(facts());
  show_text(help_, doc);
}

void ErrorLog::help_cb(const char *) {}

// A job's story in the pane: lines are quoted up to this many, the newest.
static const size_t kStoryLines = 100;

// Keeps the remedies' scores as the last Diagnose left them while another
// diagnosis runs: the data model's scores are the window's Diagnose's.
namespace {
struct ScoresKept {
  ErrorXML &xml;
  std::vector<int> scores;
  explicit ScoresKept(ErrorXML &x) : xml(x) {
    for (int i = 0; i < xml.num_remedies_; i++) scores.push_back(xml.remedies_[i]->score);
  }
  ~ScoresKept() {
    for (int i = 0; i < xml.num_remedies_ && i < (int)scores.size(); i++)
      xml.remedies_[i]->score = scores[i];
  }
};
}  // namespace

std::string ErrorLog::story(const char *line, ErrorXMLItem *explained) {
  int job = line_job(line, strlen(line));
  if (!job) return "";
  index_->update(list_->source());
  std::vector<std::string> texts = index_->job_lines(job);
  if (texts.empty()) return "";
  Story s;
  s.job = job;
  s.left_out = texts.size() > kStoryLines ? texts.size() - kStoryLines : 0;
  ScoresKept kept(*xml_);
  Diagnosis diagnosis(*xml_, texts.size());
  for (size_t k = 0; k < texts.size(); k++) {
    const std::string &t = texts[k];
    ErrorXMLItem *item = diagnosis.weigh(t.c_str(), t.size(), true, false);
    size_t at = diagnosis.lines() - 1;
    // The rest of a long line, which weighs nothing: only its first piece
    // is kept.
    if (t.size() == kPieceBytes && t.back() != '\n') diagnosis.weigh("", 0, true, true);
    if (k < s.left_out) continue;
    StoryLine l;
    l.text = t;
    if (item) l.meaning = first_sentence(item->text);
    l.recorded = diagnosis.recorded(at);
    l.clicked = t == explained_;
    s.lines.push_back(std::move(l));
  }
  if (ErrorXMLRemedy *best = diagnosis.best()) {
    s.remedy = best->name;
    s.remedy_text = best->text;
    s.score = diagnosis.standings()[0].total;
    s.same_remedy = explained && explained->remedy == best;
  }
  return story_section(s);
}

// Error lines looked up for the start page at once; a bigger log's are
// looked up this many at a time while the window is idle, and the page says
// how many are left meanwhile.
static const size_t kJudgeAtOnce = 20000, kJudgeSlice = 5000;

void ErrorLog::judge_timeout(void *data) {
  ErrorLog *log = (ErrorLog *)data;
  if (log->index_->judge(kJudgeSlice))
    Fl::repeat_timeout(0.0, judge_timeout, data);
  else if (log->start_) {
    int top = log->help_->topline();
    log->show_start();
    log->help_->topline(top);
  }
}

void ErrorLog::show_start() {
  index_->update(list_->source());
  if (index_->unjudged() <= kJudgeAtOnce)
    index_->judge();
  else if (!Fl::has_timeout(judge_timeout, this))
    Fl::add_timeout(0.0, judge_timeout, this);
  StartFacts s;
  s.level = list_->level_;
  s.filter = list_->filter().text();
  s.listed = (size_t)list_->lines();
  for (int l = 0; l < 3; l++) s.at_level[l] = index_->lines(l);
  s.unknown = index_->unknown();
  s.unjudged = index_->unjudged();
  s.newest = index_->newest_field();
  s.following = list_->status().kind != LogStatus::Failed && !list_->status().compressed;
  PaneFacts f = facts();
  notice_ = !notice_page(f).empty();
  start_ = 1;
  show_text(help_, start_page(f, s));
}

void ErrorLog::keys_cb() {
  start_ = 0;
  notice_ = 0;
  explained_.clear();
  show_text(help_, keys_page());
}

// The row is shown while the find bar is open, a filter is on or its field
// is being typed in; the list gives it the room.
void ErrorLog::update_bar() {
  bool want = finding_ || !list_->filter().empty() || Fl::focus() == filter_;
  if (want == (bool)bar_->visible()) return;
  Fl_Widget *tile = list_->parent();
  int row = bar_->h();
  int d = want ? row : -row;
  // When the list is shorter than the row, the pane gives the rest.
  int from_list = want && list_->h() < row ? list_->h() : d;
  if (want) bar_->resize(tile->x(), tile->y(), tile->w(), row);
  tile->Fl_Widget::resize(tile->x(), tile->y() + d, tile->w(), tile->h() - d);
  list_->resize(list_->x(), list_->y() + d, list_->w(), list_->h() - from_list);
  if (from_list != d)
    help_->resize(help_->x(), help_->y() + d - from_list, help_->w(), help_->h() - d + from_list);
  if (want)
    bar_->show();
  else
    bar_->hide();
  ((Fl_Group *)tile)->init_sizes();
  window_->init_sizes();
  window_->redraw();
}

void ErrorLog::open_find() {
  finding_ = 1;
  update_bar();
  find_->take_focus();
  find_->position(find_->size(), 0);  // all of the text, to be typed over
  list_->mark(find_->value());
  found_->label("");
}

void ErrorLog::close_find() {
  finding_ = 0;
  list_->mark("");
  found_->label("");
  update_bar();
  list_->take_focus();
}

// What a search found, in the row: nothing to say, going round, or that no
// line holds the text.
static void say_found(Fl_Box *found, int line, bool wrapped) {
  found->labelcolor(line ? FL_FOREGROUND_COLOR : FL_RED);
  found->label(line ? (wrapped ? "Went round the end" : "") : "Not found");
  found->redraw();
}

void ErrorLog::find_cb() {
  list_->mark(find_->value());
  if (!*find_->value()) {
    found_->label("");
    return;
  }
  bool wrapped = false;
  int line = list_->find_marked(true, true, &wrapped);
  say_found(found_, line, wrapped);
  if (line) list_cb();
}

void ErrorLog::find_next(bool down) {
  if (!*find_->value()) {
    open_find();
    return;
  }
  if (!finding_) open_find();
  bool wrapped = false;
  int line = list_->find_marked(down, false, &wrapped);
  say_found(found_, line, wrapped);
  if (line) list_cb();
}

void ErrorLog::open_filter() {
  Fl::focus(filter_);
  update_bar();
  filter_->position(filter_->size(), 0);
}

void ErrorLog::filter_cb() {
  if (job_view_) {
    // A filter typed over the job's lines is a filter of its own.
    job_view_ = 0;
    if (Fl_Menu_Item *job = (Fl_Menu_Item *)menubar_->find_item("&View/&Job's Lines Only")) job->clear();
  }
  list_->filter(filter_->value());
  after_read(true);
  update_bar();
}

// The View menu's radio entry for a level.
static void show_level(Fl_Menu_Bar *menubar, int level) {
  const char *names[] = {"&View/&Errors", "&View/&Informational", "&View/&All"};
  if (level < 0 || level > 2) return;
  if (Fl_Menu_Item *item = (Fl_Menu_Item *)menubar->find_item(names[level])) item->setonly();
}

void ErrorLog::job_cb() {
  Fl_Menu_Item *toggle = (Fl_Menu_Item *)menubar_->find_item("&View/&Job's Lines Only");
  if (job_view_) {
    leave_job_view();
    return;
  }
  void *current = list_->current_item();
  const char *text = current ? list_->text_of(list_->line_start(current)) : "";
  int job = line_job(text, strlen(text));
  if (!job) {
    // No job to list: the entry stays off.
    if (toggle) toggle->clear();
    return;
  }
  saved_level_ = list_->level_;
  saved_filter_ = list_->filter().text();
  char only[32];
  snprintf(only, sizeof only, "[Job %d]", job);
  filter_->value(only);
  list_->level_ = 2;
  list_->filter(only);
  show_level(menubar_, 2);
  job_view_ = job;
  if (toggle) toggle->set();
  after_read(true);
  update_bar();
}

void ErrorLog::leave_job_view() {
  job_view_ = 0;
  if (Fl_Menu_Item *toggle = (Fl_Menu_Item *)menubar_->find_item("&View/&Job's Lines Only"))
    toggle->clear();
  filter_->value(saved_filter_.c_str());
  list_->level_ = saved_level_;
  list_->filter(saved_filter_.c_str());
  show_level(menubar_, saved_level_);
  after_read(true);
  update_bar();
}

int ErrorLog::key_cb(int event) {
  int key = Fl::event_key(), state = Fl::event_state();
  bool ctrl = state & (FL_CTRL | FL_META), plain = !(state & (FL_CTRL | FL_META | FL_ALT));
  Fl_Widget *focus = Fl::focus();
  bool typing = focus == find_ || focus == filter_;
  // The toolkit's pane copies its selection on the shortcut.
  if (ctrl && (key == 'c' || key == FL_Insert) && focus == help_)
    return ((Fl_Widget *)help_)->handle(FL_SHORTCUT);
  // Enter in the find bar finds the next line (Shift: the one before); in
  // the filter field it goes back to the list.
  if ((key == FL_Enter || key == FL_KP_Enter) && !ctrl && typing) {
    if (focus == find_) {
      find_next(!(state & FL_SHIFT));
    } else {
      list_->take_focus();
      update_bar();
    }
    return 1;
  }
  if (key == FL_Escape && plain) {
    if (focus == find_ || (finding_ && !typing)) {
      close_find();
      return 1;
    }
    if (focus == filter_) {
      list_->take_focus();
      update_bar();
      return 1;
    }
    if (job_view_) {
      leave_job_view();
      return 1;
    }
    return 0;
  }
  if (ctrl && !(state & (FL_ALT | FL_SHIFT))) {
    if (key == 'd') {
      menubar_->picked(menubar_->find_item("&Action/&Diagnose"));
      return 1;
    }
    if (key >= '1' && key <= '3') {
      const char *names[] = {"&View/&Errors", "&View/&Informational", "&View/&All"};
      menubar_->picked(menubar_->find_item(names[key - '1']));
      return 1;
    }
  }
  // Keys of the list alone: in a field they are text.
  if (event == FL_KEYBOARD && !typing && !ctrl) {
    const char *t = Fl::event_text();
    if (t && !strcmp(t, "/")) {
      open_find();
      return 1;
    }
    if (t && !strcmp(t, "&")) {
      open_filter();
      return 1;
    }
  }
  return 0;
}

const char *ErrorLog::pane_file(const char *uri) {
  // The toolkit takes a null name for an image as an image and fails on it:
  // a name it must not read is given as one that names no file.
  static const char kNothing[] = "";
  std::string path = uri;
  if (!path.compare(0, 5, "file:")) {
    path.erase(0, 5);
  } else {
    // Another scheme (http:, mailto:, ...): nothing on this machine to read.
    size_t colon = path.find(':');
    if (colon != std::string::npos && path.find('/') > colon) return kNothing;
  }
  auto known = pane_files_.find(path);
  if (known != pane_files_.end()) return known->second.name.c_str();
  // Each file is kept open, so that its name stays the same for the
  // toolkit's image cache; a page with more than this is shown without them.
  static const size_t kMostFiles = 64;
  if (pane_files_.size() >= kMostFiles) return kNothing;
  int fd = open_regular(path.c_str());
  if (fd < 0) return kNothing;
  char name[64];
  snprintf(name, sizeof name, "/proc/self/fd/%d", fd);
  return pane_files_.emplace(path, PaneFile{fd, name}).first->second.name.c_str();
}
