// ErrorBrowser.h - the log list: holds the lines the log reader accepts,
// newest first, and draws each with its level icon.
#ifndef LOGVIEW_ERRORBROWSER_H
#define LOGVIEW_ERRORBROWSER_H

#include <FL/Fl_Browser.H>
#include <string>
#include <unordered_set>

#include "logread/LogReader.h"

class ErrorBrowser : public Fl_Browser {
public:
  int level_;            // 0 errors (XACE), 1 informational (XACEWNI), 2 every line
  char filename_[1024];  // the log file; the owner fills it in before load()

  ErrorBrowser(int X, int Y, int W, int H, const char *L = 0);

  // Brings the list up to date with the file, newest line at the top. When
  // the file only grew, the new lines are added above the old ones, which
  // keep their selection; the current line stays the same line, and the view
  // stays on the lines it showed (at the top, when it was there). Anything
  // else reads the file afresh: nothing selected, no current line, scrolled
  // to the top. A file that cannot be read (missing, unreadable, not a
  // regular file) leaves the list empty; status() says why.
  void load();
  // What the last load() found: fresh, appended or unchanged, or why the file
  // could not be read; whether it was compressed or damaged.
  const LogStatus &status() const { return status_; }

  // Scrolls the list to where showing each of the given lines in turn (with
  // the browser's make-visible rule) would leave it, with a single scroll.
  // Showing them one by one costs a walk from the top each time.
  void scroll_through(const int *lines, int count);

  // The current line's number, and selecting a line by number, as the
  // browser gives them. The browser finds a line by walking from the top (or
  // from the last line it looked up); these walk from the current line when
  // it is nearer, so following a long log does not cost a walk per poll.
  int value() const;
  void value(int line) { Fl_Browser::value(line); }
  int select(int line, int val = 1);

  // Clears every selection and, as the browser does, leaves the last line
  // current; touches only the selected lines where the browser would visit
  // every line.
  int deselect(int docallbacks = 0);

  // Walking the lines without numbers, for loops over the whole list: finding
  // a line by its number walks the list from the top or from the line found
  // last.
  void *first_item() const { return item_first(); }
  void *next_item(void *item) const { return item_next(item); }
  const char *text_of(void *item) const { return item_text(item); }

  // The keys: Up, Down, Page Up, Page Down, Home and End make another line
  // the current line, select it alone and call back (the window explains it);
  // with Shift they add the lines passed over to the selection instead.
  // Ctrl+C copies the selected lines to the clipboard and the selection
  // buffer.
  int handle(int event) override;
  // The selected lines, oldest first, each ending in a newline.
  std::string selected_text() const;

  // Empties the list and forgets the read mark.
  void clear();
  // Changes to single lines, kept here so that the known line above stays
  // right.
  void remove(int line);
  using Fl_Browser::text;
  void text(int line, const char *newtext);
  void move(int to, int from);
  void swap(int a, int b);

protected:
  // Each line is one text line high, drawn as its level icon followed by the
  // line from its third character (the level letter and its blank are shown
  // by the icon).
  int item_height(void *item) const override;
  int item_width(void *item) const override;
  void item_draw(void *item, int X, int Y, int W, int H) const override;
  int full_height() const override;
  int incr_height() const override;

  void item_select(void *item, int val) override;

private:
  // Takes the reader's lines into the list, newest at the top.
  struct Sink : LogSink {
    ErrorBrowser &list;
    explicit Sink(ErrorBrowser &l) : list(l) {}
    void restart() override;
    void drop_unfinished() override;
    void line(const char *text, size_t len) override;
  };
  LogReader reader_;
  LogStatus status_;

  // Lines selected now; a follow-up read clears just these instead of walking
  // every line of a long log.
  std::unordered_set<void *> selected_;

  // A line whose number is known: valid while the list has anchor_size_
  // lines (load() keeps it right as it adds lines at the top).
  mutable void *anchor_;
  mutable int anchor_line_;
  mutable int anchor_size_;
  void set_anchor(void *item, int line) const;

  int move_current(int key, bool extend);
  void keep_view(int pos, int added);

  // The selection of an unfinished last line, handed to its longer self.
  int carry_ = 0, carry_selected_ = 0, carry_current_ = 0;
};

#endif
