// ErrorLog.cxx - building the window, switching levels, reloading and polling
// the log file.
#include "app/ErrorLog.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include <FL/Fl_Group.H>

#include "knowledge/Diagnosis.h"
#include "knowledge/ErrorXML.h"

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

ErrorLog::ErrorLog(const char *filename) {
  window_ = new Fl_Window(645, 455, "Error Log 1.0 beta 1");
  window_->user_data(this);
  menubar_ = new Fl_Menu_Bar(0, 0, 645, 25);
  menubar_->menu(menu_menubar_);
  Fl_Tile *tile = new Fl_Tile(0, 25, 645, 430);
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
  tile->end();
  window_->resizable(tile);
  window_->end();

  mtime_ = 0;
  xml_ = new ErrorXML("errors.xml");

  list_->level_ = 0;
  list_->redraw();
  // A name too long to hold is not cut short: the shorter name could be
  // another file. Such a log is simply not there.
  if (!filename) filename = kDefaultLog;
  if (strlen(filename) < sizeof list_->filename_)
    snprintf(list_->filename_, sizeof list_->filename_, "%s", filename);
  else
    list_->filename_[0] = 0;
  list_->load();
  timeout_cb(this);
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
}

void ErrorLog::hide() { window_->hide(); }

int ErrorLog::shown() { return window_->shown(); }

void ErrorLog::level(int l) {
  list_->level_ = l;
  list_->redraw();
  reload();
}

void ErrorLog::reload() {
  int line = list_->value();
  list_->load();
  if (line >= 1 && line <= list_->size()) list_->select(line);
}

void ErrorLog::poll_timeout(void *log) { timeout_cb((ErrorLog *)log); }

void ErrorLog::timeout_cb(ErrorLog *log) {
  struct stat st;
  // Once the log cannot be examined, following it stops for the rest of the run.
  if (stat(log->list_->filename_, &st) != 0) return;
  if ((int)st.st_mtime != log->mtime_) {
    log->mtime_ = (int)st.st_mtime;
    log->reload();
  }
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

void ErrorLog::diagnose_cb() {
  Diagnosis diagnosis(*xml_, (size_t)list_->size());
  list_->deselect();

  // Weigh every listed line in list order, keeping each line's record so
  // that the lines behind the remedy can be selected without walking the
  // list again by number.
  std::vector<void *> items;
  items.reserve((size_t)list_->size());
  for (void *item = list_->first_item(); item; item = list_->next_item(item)) {
    items.push_back(item);
    diagnosis.weigh(list_->text_of(item));
  }

  ErrorXMLRemedy *best = diagnosis.best();
  if (!best) {
    help_->value("<H1>No Errors Found</H1>\n"
                 "<P>No errors were found that require a remedy.</P>\n");
    return;
  }
  // Select the lines behind the remedy from the oldest up, so the matching
  // line nearest the top ends up current and in view.
  std::vector<size_t> leads = diagnosis.leads();
  std::vector<int> shown;
  shown.reserve(leads.size());
  for (size_t k = leads.size(); k-- > 0;) {
    list_->Fl_Browser_::select(items[leads[k]], 1);
    shown.push_back((int)leads[k] + 1);
  }
  list_->scroll_through(shown.data(), (int)shown.size());
  show_doc(help_, "<H1>Remedy</H1>\n%s\n", best->text);
}

void ErrorLog::list_cb() {
  int line = list_->value();
  if (line < 1) {
    help_->value("");
    return;
  }
  const char *text = list_->text(line);
  ErrorXMLItem *item = xml_->find_item(text);
  if (item) {
    show_doc(help_, "<H1>Description</H1>\n%s\n<H1>Remedy</H1>\n%s\n", item->text,
             item->remedy->text);
    return;
  }
  std::string escaped;
  append_escaped(escaped, text);
  show_doc(help_,
           "<H1>Unrecognized Error Message</H1>\n"
           "<P>Clicked on the following, unrecognized line:</P>\n"
           "<PRE>%s</PRE>\n",
           escaped.c_str());
}

void ErrorLog::help_cb(const char *) {}
