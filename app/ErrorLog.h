// ErrorLog.h - the controller of the program's only window: the menu, the log
// list and the HTML pane, the level switch, reloading and the once-a-second
// poll; the find bar and the filter field, the keys, the start page and a
// job's story.
#ifndef APP_ERRORLOG_H
#define APP_ERRORLOG_H

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Tile.H>
#include <FL/Fl_Window.H>
#include <sys/types.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "app/HelpPane.h"
#include "logview/ErrorBrowser.h"

class ErrorXML;
class ErrorXMLItem;
class LogIndex;
class NameWatch;
struct PaneFacts;

class ErrorLog {
public:
  int mtime_;               // the log file's modification time at the last poll; 0 before it
  int notice_;              // 1 while the pane shows what is wrong with the log or the
                            // knowledge base, rather than an explanation
  ErrorXML *xml_;           // the knowledge base, owned
  int kb_errors_;           // entries of the knowledge base that could not be read as written
  Fl_Window *window_;       // owned; its user data points back here
  Fl_Menu_Bar *menubar_;
  ErrorBrowser *list_;
  HelpPane *help_;
  // The row between the menu bar and the list, shown while the find bar is
  // open or a filter is typed or on; the list is one row shorter then.
  Fl_Group *bar_;
  Fl_Input *find_;          // the text to find
  Fl_Box *found_;           // what the last search found: "Not found", ...
  Fl_Input *filter_;        // the text the listed lines must hold

  int finding_;             // 1 while the find bar is open
  int start_;               // 1 while the pane shows the start page
  int job_view_;            // the job whose lines alone are listed (J); 0 none
  int saved_level_;         // the level and filter before it
  std::string saved_filter_;
  LogIndex *index_;         // what the whole log holds, owned
  NameWatch *watch_;        // word of a file taking the log's name or leaving it, owned

  static Fl_Menu_Item menu_menubar_[];

  // Builds the window, loads the knowledge base and the log (the default log
  // when filename is null) and starts polling when the log exists.
  ErrorLog(const char *filename);
  // The same for any source (a file, its rotated parts, a journal); `why`
  // says why it was chosen, for the start page ("" when it was named).
  explicit ErrorLog(const SourceRef &ref, const std::string &why = "");
  // Deletes the window with its widgets, then the knowledge base; the pending
  // poll goes too, so a controller may be deleted while the event loop runs.
  ~ErrorLog();
  ErrorLog(const ErrorLog &) = delete;  // owns its window and knowledge base
  ErrorLog &operator=(const ErrorLog &) = delete;

  // Shows another source in place of the one shown: read afresh at the
  // level and with the filter shown, followed as the first one was.
  void open(const SourceRef &ref, const std::string &why = "");
  // File > Open...: a file chooser (a log, a rotated set by its log, a
  // journal file), then open_path() with the name chosen; File > Open
  // Journal Directory...: the same with a directory chooser.
  void open_cb();
  void open_directory_cb();
  // A name chosen by hand: a directory is a journal directory, NAME.journal
  // a journal file, anything else a log with its rotated parts (as the View
  // menu's Rotated Logs says). False for no name.
  bool open_path(const char *path);
  // View > Rotated Logs: the log with its rotated parts, or alone.
  void rotated_cb();

  void show();
  void hide();
  int shown();

  // Sets the filter level and re-reads the log.
  void level(int l);
  // Reads the whole log again. The current line stays current (and selected
  // alone, in view) when it is still listed, else the line with its number
  // is; a pane that explained a line explains the one now current, or says
  // that the line it explained is no longer listed.
  void reload();
  // Looks at the log once, as the timer does: when its reader finds it
  // changed, reads what changed (only what was appended, when it grew) and
  // keeps the pane as reload() does.
  void poll();

  static void timeout_cb(ErrorLog *log);
  void diagnose_cb();
  void list_cb();
  void help_cb(const char *name);

  // The find bar: opens it (the focus in its field), closes it (back to the
  // list); a change of its text finds the first line from the current one
  // that holds it; find_next (Enter, F3) goes on down or up from the current
  // line. What was found is said in found_, never beeped.
  void open_find();
  void close_find();
  void find_cb();
  void find_next(bool down);
  // The filter field: opens it, and takes its text as the list's filter.
  void open_filter();
  void filter_cb();
  // J: lists only the lines of the current line's job, at every level, or,
  // when they are listed, what was listed before.
  void job_cb();
  // The start page and the page of keys.
  void show_start();
  void keys_cb();
  // A key the focused widget left: Escape closes the find bar, leaves the
  // filter field or the job's lines; Enter goes on finding, or leaves the
  // filter field; / and & open the find bar and the filter field; Ctrl+D,
  // Ctrl+1, 2 and 3 are Diagnose and the levels; Ctrl+C in the pane copies
  // its selection. True when the key was taken.
  int key_cb(int event);
  // A name the pane is about to read, a link followed or an image shown:
  // Diagnose's own link, followed, is handled here (null); as an image, or
  // asked for while the pane lays out or draws a page, it names no file. A
  // local file is read only when it is a regular file, opened without waiting
  // (a FIFO would hold the window for good): the toolkit is given a name of
  // that open file. Any other name gives "", which names no file, and
  // nothing is read.
  const char *link_cb(const char *uri);

  static void cb_Diagnose(Fl_Menu_ *o, void *v);
  static void cb_Quit(Fl_Menu_ *o, void *v);
  static void cb_Errors(Fl_Menu_ *o, void *v);
  static void cb_Informational(Fl_Menu_ *o, void *v);
  static void cb_All(Fl_Menu_ *o, void *v);
  static void cb_Find(Fl_Menu_ *o, void *v);
  static void cb_Find_Next(Fl_Menu_ *o, void *v);
  static void cb_Find_Previous(Fl_Menu_ *o, void *v);
  static void cb_Filter(Fl_Menu_ *o, void *v);
  static void cb_Job(Fl_Menu_ *o, void *v);
  static void cb_Reload(Fl_Menu_ *o, void *v);
  static void cb_Keys(Fl_Menu_ *o, void *v);
  static void cb_Open(Fl_Menu_ *o, void *v);
  static void cb_Open_Journal_Directory(Fl_Menu_ *o, void *v);
  static void cb_Rotated_Logs(Fl_Menu_ *o, void *v);
  static void cb_find_(Fl_Input *o, void *v);
  static void cb_filter_(Fl_Input *o, void *v);
  static void cb_list_(ErrorBrowser *o, void *v);
  static const char *cb_help_(Fl_Widget *o, const char *uri);

  // The lines behind the last Diagnose that its view did not list, by their
  // place in the file (0 the first line), and the first one's text: the
  // link "veklog:unlisted" shows them at the All level.
  std::vector<size_t> unlisted_;
  std::string unlisted_first_;

  // The start-up notice: what keeps the log or the knowledge base from
  // being used, or "" when nothing does.
  std::string notice() const;

private:
  static void poll_timeout(void *log);
  static void watch_cb(int fd, void *log);
  static void journal_cb(int fd, void *log);
  void unwatch();
  int journal_fd_;          // the journal's change notification, watched; -1 none
  std::string source_reason_;  // why the source shown was chosen; "" it was named
  static void judge_timeout(void *log);
  void after_read(bool afresh = false);
  void explain(const char *note = "");
  PaneFacts facts() const;
  void update_bar();
  void leave_job_view();
  std::string story(const char *line, ErrorXMLItem *explained);
  // Files the pane may read (images, pages it links to), each opened once,
  // without waiting, as a regular file: by name, its descriptor and the name
  // the toolkit reads it by.
  struct PaneFile {
    int fd;
    std::string name;
  };
  std::unordered_map<std::string, PaneFile> pane_files_;
  const char *pane_file(const char *uri);
  std::string explained_;   // the first piece of the line the pane explains; empty when it
                            // explains none
  int name_too_long_;       // the log's name did not fit filename_
  int trouble_;             // what was wrong with the log at the last reload: its
                            // errno, -1 another failure, -2 damaged; 0 nothing
};

#endif
