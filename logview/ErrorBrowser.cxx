// ErrorBrowser.cxx - the log list: the reader's lines taken in newest first,
// the current line found without walking, the keys and copying, and each
// line drawn with its icon.
#include "logview/ErrorBrowser.h"

#include <string.h>

#include <string>
#include <vector>

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include "logview/icons.h"

ErrorBrowser::ErrorBrowser(int X, int Y, int W, int H, const char *L)
    : Fl_Browser(X, Y, W, H, L), level_(0), anchor_(0), anchor_line_(0), anchor_size_(0) {
  filename_[0] = 0;
}

void ErrorBrowser::clear() {
  selected_.clear();
  reader_.forget();
  anchor_ = 0;
  Fl_Browser::clear();
}

void ErrorBrowser::remove(int line) {
  if (line >= 1 && line <= size()) selected_.erase(find_line(line));
  anchor_ = 0;
  Fl_Browser::remove(line);
}

void ErrorBrowser::text(int line, const char *newtext) {
  // The browser may give the line a new record.
  if (line >= 1 && line <= size()) selected_.erase(find_line(line));
  anchor_ = 0;
  Fl_Browser::text(line, newtext);
  if (line >= 1 && line <= size() && Fl_Browser::selected(line))
    selected_.insert(find_line(line));
}

void ErrorBrowser::move(int to, int from) {
  anchor_ = 0;
  Fl_Browser::move(to, from);
}

void ErrorBrowser::swap(int a, int b) {
  anchor_ = 0;
  Fl_Browser::swap(a, b);
}

int ErrorBrowser::deselect(int docallbacks) {
  // Only a multiple-selection browser walks its lines.
  if (type() != FL_MULTI_BROWSER) return Fl_Browser_::deselect(docallbacks);
  std::vector<void *> was(selected_.begin(), selected_.end());
  int change = 0;
  for (void *item : was) change |= Fl_Browser_::select(item, 0, docallbacks);
  // The browser's own walk ends on the last line, which it leaves current.
  if (void *last = item_last()) change |= Fl_Browser_::select(last, 0, docallbacks);
  return change;
}

void ErrorBrowser::set_anchor(void *item, int line) const {
  anchor_ = item;
  anchor_line_ = line;
  anchor_size_ = size();
}

int ErrorBrowser::value() const {
  void *current = selection();
  if (!current) return 0;
  if (current == anchor_ && anchor_size_ == size()) return anchor_line_;
  int line = Fl_Browser::value();
  set_anchor(current, line);
  return line;
}

int ErrorBrowser::select(int line, int val) {
  int n = size();
  if (line < 1 || line > n) return 0;
  void *item = 0;
  if (anchor_ && anchor_size_ == n) {
    // Walk from the known line only when it is nearer than either end, from
    // which the browser would walk anyway.
    int d = line - anchor_line_, dist = d < 0 ? -d : d;
    if (dist < line - 1 && dist < n - line) {
      item = anchor_;
      for (; d > 0 && item; d--) item = item_next(item);
      for (; d < 0 && item; d++) item = item_prev(item);
    }
  }
  if (!item) item = find_line(line);
  set_anchor(item, line);
  return Fl_Browser_::select(item, val);
}

void ErrorBrowser::item_select(void *item, int val) {
  Fl_Browser::item_select(item, val);
  if (val)
    selected_.insert(item);
  else
    selected_.erase(item);
}

void ErrorBrowser::Sink::restart() {
  list.selected_.clear();
  list.anchor_ = 0;
  list.Fl_Browser::clear();
}

void ErrorBrowser::Sink::drop_unfinished() {
  // The unfinished line is line 1; a line remembered below it moves up. Its
  // longer self, the next line given, takes over its selection and, when it
  // was the current line, that too.
  void *first = list.item_first();
  list.carry_selected_ = list.item_selected(first);
  list.carry_current_ = list.selection() == first;
  list.carry_ = 1;
  list.selected_.erase(first);
  if (list.anchor_ == first) list.anchor_ = 0;
  list.Fl_Browser::remove(1);
  list.anchor_line_--;
  list.anchor_size_--;
}

void ErrorBrowser::Sink::line(const char *text, size_t) {
  list.insert(1, text);
  if (list.anchor_ && list.anchor_size_ + 1 == list.size()) {
    list.anchor_line_++;
    list.anchor_size_++;
  }
  if (list.carry_) {
    list.carry_ = 0;
    void *first = list.item_first();
    if (list.carry_current_)
      list.Fl_Browser_::select(first, list.carry_selected_);
    else if (list.carry_selected_)
      list.item_select(first, 1);
  }
}

void ErrorBrowser::load() {
  if (anchor_ && anchor_size_ != size()) anchor_ = 0;
  reader_.path(filename_);
  reader_.level(level_);
  Sink sink(*this);
  int before = size(), pos = position();
  carry_ = 0;
  status_ = reader_.read(sink);
  carry_ = 0;
  // After an append the lines listed before keep their selection and the
  // current line; the view stays on the same lines, or at the top when it
  // was there, so that the new lines come into view.
  if (status_.kind == LogStatus::Appended && pos > 0) keep_view(pos, size() - before);
}

void ErrorBrowser::keep_view(int pos, int added) {
  // The browser knows the line its view starts at and that line's pixel
  // position, which the lines added above have made wrong. Finding the line
  // again from the top would walk every line above the view; instead it is
  // pointed at the line that now stands where its line stood, and walks from
  // there to the new position, over the lines added.
  void *top = Fl_Browser_::top();
  if (added > 0 && top && top != item_first()) {
    void *now_there = top;
    for (int k = 0; k < added && item_prev(now_there); k++) now_there = item_prev(now_there);
    void *current = selection();
    swapping(top, now_there);  // exchanges the browser's pointers, not the lines
    if (selection() != current) Fl_Browser_::select(current, item_selected(current));
  }
  position(pos + added * (textsize() + 2));
}

int ErrorBrowser::item_height(void *) const { return textsize() + 2; }

int ErrorBrowser::incr_height() const { return textsize() + 2; }

int ErrorBrowser::full_height() const { return (textsize() + 2) * size(); }

// What a line shows: the text after its level letter and blank (a shorter
// line shows nothing), without the carriage return that a log written on
// another system has before its newline; the copy, when one is needed, goes
// to `copy`.
static const char *shown_text(const char *line, std::string &copy) {
  if (!line[0] || !line[1]) return 0;
  const char *shown = line + 2;
  size_t len = strlen(shown);
  if (len && shown[len - 1] == '\n') len--;
  if (!len || shown[len - 1] != '\r') return shown;
  copy.assign(shown, len - 1);
  copy.append(shown + len);
  return copy.c_str();
}

int ErrorBrowser::item_width(void *item) const {
  std::string copy;
  const char *shown = shown_text(item_text(item), copy);
  if (!shown) return 16;
  fl_font(textfont(), textsize());
  return (int)fl_width(shown) + 16;
}

void ErrorBrowser::item_draw(void *item, int X, int Y, int W, int) const {
  const char *line = item_text(item);
  Fl_Pixmap *icon;
  switch (line[0]) {
    case 'A': case 'C': case 'E': case 'X': icon = &log_error_pixmap; break;
    case 'I': case 'N': case 'W': icon = &log_info_pixmap; break;
    default: icon = &log_debug_pixmap; break;
  }
  icon->draw(X + 2, Y + (textsize() - 10) / 2, 12, 12, 0, 0);

  std::string copy;
  const char *shown = shown_text(line, copy);
  if (!shown) return;
  if (item_selected(item))
    fl_color(fl_contrast(textcolor(), selection_color()));
  else
    fl_color(textcolor());
  fl_font(textfont(), textsize());
  fl_draw(shown, X + 16, Y, W - 16, textsize() + 2, FL_ALIGN_LEFT | FL_ALIGN_CLIP, 0, 0);
}

// Every line has the same height, so where the browser's make-visible would
// scroll is plain arithmetic: the first line scrolls to the top; a line at the
// top of the view or just above it is aligned with the top; a line further
// down that is in view, or just below it, is brought up to the bottom edge;
// any other line is centred.
void ErrorBrowser::scroll_through(const int *lines, int count) {
  int n = size();
  if (!n || count <= 0) return;
  int h = textsize() + 2;
  int bx, by, bw, bh;
  bbox(bx, by, bw, bh);
  int pos = position();
  for (int k = 0; k < count; k++) {
    int line = lines[k] < 1 ? 1 : lines[k] > n ? n : lines[k];
    int j = line - 1;
    if (pos >= n * h) pos = n * h - 1;  // a view past the end starts in the last line
    int top = pos / h, offset = pos - top * h;
    int next;
    if (j == 0) {
      next = 0;
    } else if (j == top) {
      next = pos - offset;
    } else if (j == top - 1) {
      next = pos - offset - h;
    } else if (j > top) {
      int y = (j - top) * h - offset;
      if (y <= bh)
        next = y + h - bh > 0 ? pos + y + h - bh : pos;
      else
        next = pos + y - (bh - h) / 2;
    } else {
      int y = -offset - (top - j) * h;
      next = pos + y - (bh - h) / 2;
    }
    pos = next < 0 ? 0 : next;
  }
  position(pos);
}

std::string ErrorBrowser::selected_text() const {
  std::string out;
  for (void *item = item_last(); item; item = item_prev(item)) {
    if (!item_selected(item)) continue;
    out += item_text(item);
    if (out.empty() || out.back() != '\n') out += '\n';
  }
  return out;
}

// Moves the current line for a navigation key; -1 for any other key.
int ErrorBrowser::move_current(int key, bool extend) {
  void *from = selection(), *to = from;
  int bx, by, bw, bh;
  bbox(bx, by, bw, bh);
  int page = bh / (textsize() + 2);
  if (page < 1) page = 1;
  int steps = 0;
  bool down = true;
  switch (key) {
    case FL_Up: steps = 1; down = false; break;
    case FL_Down: steps = 1; break;
    case FL_Page_Up: steps = page; down = false; break;
    case FL_Page_Down: steps = page; break;
    case FL_Home: steps = -1; down = false; break;
    case FL_End: steps = -1; break;
    default: return -1;
  }
  if (!item_first()) return 0;
  if (!from) {
    // Nothing current yet: the first key lands on the top line.
    from = to = item_first();
    steps = 0;
    if (key == FL_End) to = item_last();
  }
  if (steps < 0 && !extend) {
    to = down ? item_last() : item_first();
    steps = 0;
  }
  std::vector<void *> passed{to};
  for (int k = 0; k != steps; k++) {
    void *next = down ? item_next(to) : item_prev(to);
    if (!next) break;
    to = next;
    passed.push_back(to);
  }
  if (!extend) {
    deselect();
    passed.assign(1, to);
  }
  for (void *item : passed) Fl_Browser_::select(item, 1);
  Fl_Browser_::select(to, 1);  // the line landed on is the current one
  Fl_Browser_::display(to);
  do_callback();
  return 1;
}

int ErrorBrowser::handle(int event) {
  if (event == FL_KEYBOARD && type() == FL_MULTI_BROWSER) {
    int key = Fl::event_key(), state = Fl::event_state();
    if ((state & (FL_CTRL | FL_META)) && !(state & (FL_SHIFT | FL_ALT)) &&
        (key == 'c' || key == FL_Insert)) {
      std::string text = selected_text();
      if (!text.empty()) {
        Fl::copy(text.data(), (int)text.size(), 1);
        Fl::copy(text.data(), (int)text.size(), 0);
      }
      return 1;
    }
    if (!(state & (FL_CTRL | FL_ALT | FL_META)) && move_current(key, state & FL_SHIFT) >= 0)
      return 1;
  }
  return Fl_Browser::handle(event);
}
