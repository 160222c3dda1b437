// ErrorLog.h - the controller of the program's only window: the menu, the log
// list and the HTML pane, the level switch, reloading and the once-a-second poll.
#ifndef APP_ERRORLOG_H
#define APP_ERRORLOG_H

#include <FL/Fl.H>
#include <FL/Fl_Help_View.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Tile.H>
#include <FL/Fl_Window.H>
#include <sys/types.h>

#include <string>
#include <vector>

#include "logview/ErrorBrowser.h"

class ErrorXML;

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
  Fl_Help_View *help_;

  static Fl_Menu_Item menu_menubar_[];

  // Builds the window, loads the knowledge base and the log (the default log
  // when filename is null) and starts polling when the log exists.
  ErrorLog(const char *filename);
  // Deletes the window with its widgets, then the knowledge base; the pending
  // poll goes too, so a controller may be deleted while the event loop runs.
  ~ErrorLog();
  ErrorLog(const ErrorLog &) = delete;  // owns its window and knowledge base
  ErrorLog &operator=(const ErrorLog &) = delete;

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
  // A link followed in the pane: Diagnose's own link is handled here (null);
  // any other is given back for the toolkit to follow as usual.
  const char *link_cb(const char *uri);

  static void cb_Diagnose(Fl_Menu_ *o, void *v);
  static void cb_Quit(Fl_Menu_ *o, void *v);
  static void cb_Errors(Fl_Menu_ *o, void *v);
  static void cb_Informational(Fl_Menu_ *o, void *v);
  static void cb_All(Fl_Menu_ *o, void *v);
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
  void after_read();
  void explain(const char *note = "");
  std::string explained_;   // the first piece of the line the pane explains; empty when it
                            // explains none
  int name_too_long_;       // the log's name did not fit filename_
  int trouble_;             // what was wrong with the log at the last reload: its
                            // errno, -1 another failure, -2 damaged; 0 nothing
};

#endif
