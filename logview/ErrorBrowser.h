// ErrorBrowser.h - the log list: holds the lines the log reader accepts and
// the filter lets through, newest first, and draws each with its level icon,
// the found text marked. A line longer than a piece is held as its pieces,
// in file order under its first one.
#ifndef LOGVIEW_ERRORBROWSER_H
#define LOGVIEW_ERRORBROWSER_H

#include <FL/Fl_Browser.H>
#include <stdint.h>
#include <time.h>

#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/TextMatch.h"
#include "logread/LogReader.h"
#include "logread/LogSource.h"

class ErrorBrowser : public Fl_Browser {
public:
  int level_;            // 0 errors (XACE), 1 informational (XACEWNI), 2 every line
  char filename_[1024];  // the log file; the owner fills it in before load()

  // What is read: the log file filename_ names, with its rotated parts
  // (LOG.N[.gz] ... LOG.O before it, as one history) unless the source
  // given says otherwise, or a journal. Giving a file as the source fills
  // filename_ in (empty when the name does not fit); the next load() reads it.
  void source(const SourceRef &ref);
  SourceRef source() const;
  // A journal's change notification, for the owner's event loop (then
  // changed() and update()); -1 for a file.
  int source_fd() { return source_.fd(); }
  // The rotated parts that could not be read, "F: why".
  std::vector<std::string> notes() const { return source_.notes(); }
  size_t parts_read() const { return source_.parts_read(); }

  ErrorBrowser(int X, int Y, int W, int H, const char *L = 0);

  // Reads the whole file again, newest line at the top. The line that was
  // current stays current, selected alone and in view, when the file still
  // holds it (the same text at the same place) and the level lists it;
  // otherwise the line with the same number is, when there is one. A file
  // that cannot be read (missing, unreadable, not a regular file) leaves the
  // list empty; status() says why.
  void load();
  // Brings the list up to date with the file, as a poll does. When the file
  // only grew, the new lines are added above the old ones, which keep their
  // selection; the current line stays the same line, and the view stays on
  // the lines it showed (at the top, when it was there). A file that must be
  // read afresh is read as load() reads it; an unchanged one is not read.
  void update();
  // Whether update() would find the file changed, as its reader decides
  // (LogReader::changed); *mtime gets the file's modification time when it
  // could be examined.
  bool changed(time_t *mtime = 0);
  // What the last read found: fresh, appended or unchanged, or why the file
  // could not be read; whether it was compressed or damaged.
  const LogStatus &status() const { return status_; }

  // A text the listed lines must hold beside their level (TextMatch, where
  // the list shows a line; a long line is judged by its first piece), ""
  // for none. A new text reads the file again as load() does, except one
  // that holds the text before and keeps most lines (as the top lines
  // tell), which only takes out the lines that no longer pass: the line
  // that was current stays current, selected alone and in view, when it
  // passes, else the line with its number is.
  // A level other than the last read's is read too.
  void filter(const char *text);
  const TextMatch &filter() const { return wanted_; }
  // The lines listed, a long line once.
  int lines() const { return size() - (int)continued_.size(); }

  // The text found in the lines: each place a line holds it (as TextMatch
  // finds it where the line is shown) is drawn on a marker colour; "" marks
  // nothing.
  void mark(const char *text);
  const TextMatch &mark() const { return mark_; }
  // Goes to the next line down (or up) from the current line that holds the
  // marked text, round past the end; with `here`, the current line itself
  // comes first. The line found becomes the current line, selected alone and
  // in view, without callbacks. Gives its number, or 0 when no line holds
  // the text or there is none (nothing changes then); *wrapped says whether
  // it went round.
  int find_marked(bool down, bool here, bool *wrapped = 0);

  // The pieces of a long line: every piece after its first continues it,
  // stands below it and has no level letter or icon of its own. These ask
  // nothing but the piece's own record.
  bool continuation(void *item) const {
    size_t bit = filter_bit(item);
    return (filter_[bit / 64] >> (bit % 64) & 1) && continued_.count(item);
  }
  // The first piece of the line an item belongs to (the item itself, when it
  // is one).
  void *line_start(void *item) const;
  // The whole line that begins with `first`: its own text when it has no
  // other pieces, else its pieces joined in `joined`.
  const char *line_text(void *first, std::string &joined) const;

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
  // The current line's record (null when there is none), and selecting (or
  // deselecting) a line by its record, without callbacks; it becomes the
  // current line.
  void *current_item() const { return selection(); }
  int select_item(void *item, int val = 1) { return Fl_Browser_::select(item, val, 0); }

  // Clears every selection and, as the browser does, leaves the last line
  // current; touches only the selected lines where the browser would visit
  // every line.
  int deselect(int docallbacks = 0);

  // Walking the lines without numbers, for loops over the whole list: finding
  // a line by its number walks the list from the top or from the line found
  // last.
  void *first_item() const { return item_first(); }
  void *next_item(void *item) const { return item_next(item); }
  void *last_item() const { return item_last(); }
  void *prev_item(void *item) const { return item_prev(item); }
  const char *text_of(void *item) const { return item_text(item); }

  // The keys: Up, Down, Page Up, Page Down, Home and End make another line
  // the current line, select it alone and call back (the window explains it);
  // with Shift they add the lines passed over to the selection instead. The
  // view never goes past the last line.
  // Ctrl+C copies the selected lines to the clipboard and the selection
  // buffer.
  int handle(int event) override;
  // The selected lines, oldest first, each ending in a newline; selected
  // pieces of one line are joined.
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
  // by the icon); a piece that continues a line is drawn whole, under the
  // text of its line, without an icon. The marked text stands on a marker
  // colour, in black.
  int item_height(void *item) const override;
  int item_width(void *item) const override;
  void item_draw(void *item, int X, int Y, int W, int H) const override;
  int full_height() const override;
  int incr_height() const override;

  void item_select(void *item, int val) override;

  // Where the marked text stands in a line's shown text drawn from x: left
  // edge and width of each place.
  std::vector<std::pair<int, int>> marked_spans(const char *shown, size_t len, int x) const;
  void draw_text(const char *shown, size_t len, int X, int Y, int W, Fl_Color colour) const;

private:
  struct Sink;
  SourceRef ref_;
  LogSource source_;
  LogStatus status_;
  void configure();

  // The pieces that continue a line; and the newest line's pieces, at the
  // top of the list, that a piece of a later read may continue: how many,
  // and the last of them.
  std::unordered_set<void *> continued_;
  // A filter of their records' addresses, which rules out nearly every other
  // line without a look into the set (a walk over a long log asks of each).
  uint64_t filter_[64] = {};
  static size_t filter_bit(void *item) { return ((uintptr_t)item >> 4) % 4096; }
  void mark_continued(void *item);
  void forget_continued();
  int top_pieces_ = 0;
  void *top_tail_ = 0;
  void read(bool afresh);

  TextMatch wanted_, mark_;
  LineGate gate_{&wanted_};  // whether the newest line of the file passed
  void narrow();
  // Makes the line `item` (number `line`) current, selected alone and in view.
  void land_on(void *item, int line);

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
  void keep_view(int pos, int shift, int drift);

  // The selection of an unfinished last line, handed to its longer self.
  int carry_ = 0, carry_selected_ = 0, carry_current_ = 0;
};

#endif
