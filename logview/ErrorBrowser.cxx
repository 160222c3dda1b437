// ErrorBrowser.cxx - the log list: the reader's lines taken in newest first,
// the current line found without walking, the keys and copying, and each
// line drawn with its icon.
#include "logview/ErrorBrowser.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include "base/Levels.h"
#include "logview/icons.h"

ErrorBrowser::ErrorBrowser(int X, int Y, int W, int H, const char *L)
    : Fl_Browser(X, Y, W, H, L), level_(0), anchor_(0), anchor_line_(0), anchor_size_(0) {
  filename_[0] = 0;
}

void ErrorBrowser::mark_continued(void *item) {
  continued_.insert(item);
  size_t bit = filter_bit(item);
  filter_[bit / 64] |= (uint64_t)1 << (bit % 64);
}

// A record that stops being a piece keeps its bit: the set decides.
void ErrorBrowser::forget_continued() {
  continued_.clear();
  memset(filter_, 0, sizeof filter_);
}

void ErrorBrowser::clear() {
  gate_.open(true);
  selected_.clear();
  forget_continued();
  top_pieces_ = 0;
  top_tail_ = 0;
  source_.forget();
  anchor_ = 0;
  Fl_Browser::clear();
}

void ErrorBrowser::remove(int line) {
  if (line >= 1 && line <= size()) {
    void *item = find_line(line);
    selected_.erase(item);
    continued_.erase(item);
  }
  anchor_ = 0;
  top_pieces_ = 0;  // a later piece starts a line of its own
  Fl_Browser::remove(line);
}

void ErrorBrowser::text(int line, const char *newtext) {
  // The browser may give the line a new record.
  bool piece = false;
  if (line >= 1 && line <= size()) {
    void *item = find_line(line);
    selected_.erase(item);
    piece = continued_.erase(item);
    if (item == top_tail_) top_pieces_ = 0;
  }
  anchor_ = 0;
  Fl_Browser::text(line, newtext);
  if (line >= 1 && line <= size()) {
    if (Fl_Browser::selected(line)) selected_.insert(find_line(line));
    if (piece) mark_continued(find_line(line));
  }
}

void ErrorBrowser::move(int to, int from) {
  anchor_ = 0;
  top_pieces_ = 0;
  Fl_Browser::move(to, from);
}

void ErrorBrowser::swap(int a, int b) {
  anchor_ = 0;
  top_pieces_ = 0;
  Fl_Browser::swap(a, b);
}

void *ErrorBrowser::line_start(void *item) const {
  while (item && continuation(item)) {
    void *above = item_prev(item);
    if (!above) break;
    item = above;
  }
  return item;
}

const char *ErrorBrowser::line_text(void *first, std::string &joined) const {
  void *next = item_next(first);
  if (!next || !continuation(next)) return item_text(first);
  joined = item_text(first);
  for (; next && continuation(next); next = item_next(next)) joined += item_text(next);
  return joined.c_str();
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

// Takes the reader's lines into the list, newest at the top, each piece of a
// long line under the pieces before it. Keeps the known line's number and
// the view's place right as lines come, and finds the line that was current
// when the list is read afresh.
struct ErrorBrowser::Sink : LogSink {
  ErrorBrowser &list;
  // The view's first line (0-based) and how far lines coming above it have
  // moved it; -1 when the view is at the top, where it stays. When that line
  // is an unfinished one withdrawn, its longer self takes its place.
  int view = -1, shift = 0;
  bool view_on_tail = false;
  // How far the browser's own top line has moved from where it believes it
  // is, and whether that line is one of the newest line's pieces.
  int drift = 0;
  bool top_in_group = false;
  // The line that was current before a read afresh: its number, place in
  // the file and text; the record it has now, and the lines above that.
  int number = 0;
  off_t place = -1;
  std::string text;
  void *found = 0;
  int found_line = 0;
  bool found_open = false;  // later pieces of its line still come below it

  explicit Sink(ErrorBrowser &l) : list(l) {}

  void start_view(int pos) {
    if (pos <= 0) return;
    view = pos / (list.textsize() + 2);
    void *top = list.Fl_Browser_::top();
    int k = 0;
    for (void *item = list.item_first(); item && k < list.top_pieces_; item = list.item_next(item), k++)
      if (item == top) top_in_group = true;
  }

  void restart() override {
    if (void *current = list.selection()) {
      number = list.value();
      place = (off_t)(uintptr_t)list.data(number);
      text = list.item_text(current);
    }
    list.selected_.clear();
    list.forget_continued();
    list.top_pieces_ = 0;
    list.top_tail_ = 0;
    list.anchor_ = 0;
    list.Fl_Browser::clear();
  }

  // A log rotated away stays listed, below the lines of the file that took
  // its name; one replaced or deleted goes, as when the log is read afresh.
  bool keep(bool elsewhere) override {
    if (!elsewhere) restart();
    return elsewhere;
  }

  // Before a line goes in at `at` (1-based) ahead of `before`: the browser
  // moves its top line to the new one when that is inserted just above it.
  // `again`: the line is the longer self of one withdrawn.
  void inserting(int at, void *before, bool again) {
    void *top = list.Fl_Browser_::top();
    bool group = at > 1;  // a piece goes in among the newest line's pieces
    if (top && before == top) {
      top_in_group = true;
    } else {
      if (top && !(group && top_in_group)) drift++;
      if (!group) top_in_group = false;
    }
    if (again && view_on_tail) {
      view_on_tail = false;
    } else if (view >= 0 && at - 1 <= view) {
      view++;
      shift++;
    }
    if (list.anchor_ && list.anchor_size_ == list.size()) {
      if (list.anchor_line_ >= at) list.anchor_line_++;
      list.anchor_size_++;
    }
  }

  void drop_unfinished() override {
    // An unfinished line the filter left out was never listed.
    if (!list.gate_.open()) return;
    // The unfinished line is the newest line's last piece; its longer self,
    // the next piece given, takes over its selection and, when it was the
    // current line, that too.
    int at = list.top_pieces_;
    void *tail = list.top_tail_;
    if (at < 1 || !tail) return;
    list.carry_selected_ = list.item_selected(tail);
    list.carry_current_ = list.selection() == tail;
    list.carry_ = 1;
    void *top = list.Fl_Browser_::top();
    if (tail == top)
      top_in_group = false;
    else if (top && !top_in_group)
      drift--;
    view_on_tail = view == at - 1;
    if (view >= 0 && at - 1 < view) {
      view--;
      shift--;
    }
    list.selected_.erase(tail);
    list.continued_.erase(tail);
    if (list.anchor_ == tail) list.anchor_ = 0;
    list.top_tail_ = at > 1 ? list.item_prev(tail) : 0;
    list.top_pieces_--;
    list.Fl_Browser::remove(at);
    if (list.anchor_line_ > at) list.anchor_line_--;
    list.anchor_size_--;
  }

  void line(const char *piece, size_t len, bool continued) override {
    if (!list.gate_.take(piece, len, continued)) return;
    bool below = continued && list.top_pieces_ > 0;
    int at = below ? list.top_pieces_ + 1 : 1;
    void *before = below ? list.item_next(list.top_tail_) : list.item_first();
    inserting(at, before, list.carry_);
    list.insert(at, piece, (void *)(uintptr_t)list.source_.offset());
    void *item = below ? list.item_next(list.top_tail_) : list.item_first();
    list.top_pieces_ = below ? list.top_pieces_ + 1 : 1;
    list.top_tail_ = item;
    if (continued) list.mark_continued(item);
    if (found) {
      if (!(below && found_open)) {
        found_line++;
        found_open = false;
      }
    } else if (place >= 0 && list.source_.offset() == place && text == piece) {
      found = item;
      found_line = at;
      found_open = true;
    }
    if (list.carry_) {
      list.carry_ = 0;
      if (list.carry_current_)
        list.Fl_Browser_::select(item, list.carry_selected_);
      else if (list.carry_selected_)
        list.item_select(item, 1);
    }
  }
};

void ErrorBrowser::load() { read(true); }

void ErrorBrowser::update() { read(false); }

void ErrorBrowser::source(const SourceRef &ref) {
  ref_ = ref;
  if (ref.kind == SourceRef::File) {
    if (ref.path.size() < sizeof filename_)
      snprintf(filename_, sizeof filename_, "%s", ref.path.c_str());
    else
      filename_[0] = 0;
  }
}

SourceRef ErrorBrowser::source() const {
  SourceRef s = ref_;
  if (s.kind == SourceRef::File) s.path = filename_;
  return s;
}

void ErrorBrowser::configure() {
  source_.ref(source());
  source_.level(level_);
}

bool ErrorBrowser::changed(time_t *mtime) {
  configure();
  return source_.changed(mtime);
}

void ErrorBrowser::read(bool afresh) {
  if (anchor_ && anchor_size_ != size()) anchor_ = 0;
  configure();
  if (afresh) source_.forget();
  Sink sink(*this);
  int pos = position();
  sink.start_view(pos);
  carry_ = 0;
  status_ = source_.read(sink);
  carry_ = 0;
  // After an append the lines listed before keep their selection and the
  // current line; the view stays on the same lines, or at the top when it
  // was there, so that the new lines come into view.
  if (status_.kind == LogStatus::Appended) {
    if (pos > 0) keep_view(pos, sink.shift, sink.drift);
    return;
  }
  if (status_.kind != LogStatus::Fresh && status_.kind != LogStatus::Failed) return;
  // Read afresh: the line that was current, found again, or the one with
  // its number, is current, selected alone and in view.
  int line = 0;
  if (sink.found) {
    line = sink.found_line;
    Fl_Browser_::select(sink.found, 1);
    set_anchor(sink.found, line);
  } else if (sink.number >= 1 && sink.number <= size()) {
    line = sink.number;
    select(line);
  }
  if (line) scroll_through(&line, 1);
}

void ErrorBrowser::keep_view(int pos, int shift, int drift) {
  // The browser knows the line its view starts at and that line's pixel
  // position, which the lines added above it have made wrong (by `drift`
  // lines). Finding the line again from the top would walk every line above
  // the view; instead it is pointed at the line that now stands where its
  // line stood, and walks from there to the new position, over the `shift`
  // lines added above the view.
  void *top = Fl_Browser_::top();
  if (drift && top) {
    void *now_there = top;
    for (int k = 0; k < drift && item_prev(now_there); k++) now_there = item_prev(now_there);
    for (int k = 0; k > drift && item_next(now_there); k--) now_there = item_next(now_there);
    void *current = selection();
    swapping(top, now_there);  // exchanges the browser's pointers, not the lines
    if (selection() != current) Fl_Browser_::select(current, item_selected(current));
  }
  position(pos + shift * (textsize() + 2));
}

int ErrorBrowser::item_height(void *) const { return textsize() + 2; }

int ErrorBrowser::incr_height() const { return textsize() + 2; }

int ErrorBrowser::full_height() const { return (textsize() + 2) * size(); }

// What a line shows: the text after its level letter and blank (a shorter
// line shows nothing), or all of a piece that continues a line; without the
// carriage return that a log written on another system has before its
// newline. The copy, when one is needed, goes to `copy`.
static const char *shown_text(const char *line, bool piece, std::string &copy) {
  if (!line[0] || (!piece && !line[1])) return 0;
  const char *shown = piece ? line : line + 2;
  size_t len = strlen(shown);
  if (len && shown[len - 1] == '\n') len--;
  if (!len || shown[len - 1] != '\r') return shown;
  copy.assign(shown, len - 1);
  copy.append(shown + len);
  return copy.c_str();
}

// The window system measures and draws text in 16-bit widths: a text a few
// thousand characters long comes out blank. Longer texts than this are
// measured, and drawn where the view shows them, in runs of kRun bytes.
static const size_t kLong = 1024, kRun = 256;

// The colour the found text stands on: a pale yellow.
static const Fl_Color kMarker = fl_rgb_color(255, 226, 110);

// The bytes of the next run, not ending inside a UTF-8 character.
static size_t run_length(const char *s, size_t len) {
  if (len <= kRun) return len;
  size_t n = kRun;
  while (n > 1 && ((unsigned char)s[n] & 0xC0) == 0x80) n--;
  return n;
}

static double text_width(const char *s) {
  size_t len = strlen(s);
  if (len <= kLong) return fl_width(s);
  double w = 0;
  for (size_t n; len; s += n, len -= n) w += fl_width(s, (int)(n = run_length(s, len)));
  return w;
}

int ErrorBrowser::item_width(void *item) const {
  std::string copy;
  const char *shown = shown_text(item_text(item), continuation(item), copy);
  if (!shown) return 16;
  fl_font(textfont(), textsize());
  return (int)text_width(shown) + 16;
}

void ErrorBrowser::item_draw(void *item, int X, int Y, int W, int) const {
  const char *line = item_text(item);
  bool piece = continuation(item);
  if (!piece) {
    Fl_Pixmap *icon;
    switch (level_group((unsigned char)line[0])) {
      case LevelGroup::Error: icon = &log_error_pixmap; break;
      case LevelGroup::Warning: icon = &log_warning_pixmap; break;
      case LevelGroup::Info: icon = &log_info_pixmap; break;
      default: icon = &log_debug_pixmap; break;
    }
    icon->draw(X + 2, Y + (textsize() - 10) / 2, 12, 12, 0, 0);
  }

  std::string copy;
  const char *shown = shown_text(line, piece, copy);
  if (!shown) return;
  fl_font(textfont(), textsize());
  int h = textsize() + 2;
  size_t len = strlen(shown);
  std::vector<std::pair<int, int>> marks = marked_spans(shown, len, X + 16);
  for (auto &m : marks) {
    fl_color(kMarker);
    fl_rectf(m.first, Y + 1, m.second, h - 2);
  }
  Fl_Color colour = item_selected(item) ? fl_contrast(textcolor(), selection_color()) : textcolor();
  draw_text(shown, len, X, Y, W, colour);
  // On the marker the text is black, whatever the line's colour.
  for (auto &m : marks) {
    fl_push_clip(m.first, Y, m.second, h);
    draw_text(shown, len, X, Y, W, FL_BLACK);
    fl_pop_clip();
  }
}

// The width of the first n bytes of s, measured in runs when it is long.
static double prefix_width(const char *s, size_t n) {
  if (n <= kLong) return fl_width(s, (int)n);
  double w = 0;
  for (size_t k; n; s += k, n -= k) w += fl_width(s, (int)(k = run_length(s, n)));
  return w;
}

// Where the marked text stands in a shown text drawn from x: the left edge
// and width of each place, the first kMarks of them.
std::vector<std::pair<int, int>> ErrorBrowser::marked_spans(const char *shown, size_t len,
                                                            int x) const {
  static const size_t kMarks = 64;
  std::vector<std::pair<int, int>> out;
  size_t m = mark_.text().size();
  if (!m) return out;
  for (size_t from = 0; from < len && out.size() < kMarks;) {
    size_t at = mark_.find(shown + from, len - from);
    if (at == TextMatch::npos) break;
    at += from;
    int left = x + (int)prefix_width(shown, at);
    int right = x + (int)prefix_width(shown, at + m);
    out.emplace_back(left, right - left > 0 ? right - left : 1);
    from = at + m;
  }
  return out;
}

// Draws a shown text in the line's box, in `colour`.
void ErrorBrowser::draw_text(const char *shown, size_t len, int X, int Y, int W,
                             Fl_Color colour) const {
  fl_color(colour);
  int h = textsize() + 2;
  if (len <= kLong) {
    fl_draw(shown, X + 16, Y, W - 16, h, FL_ALIGN_LEFT | FL_ALIGN_CLIP, 0, 0);
    return;
  }
  // Only the runs that reach into the view, from where the first of them
  // starts.
  int cx, cy, cw, ch;
  fl_clip_box(X + 16, Y, W - 16, h, cx, cy, cw, ch);
  double x = X + 16;
  const char *p = shown;
  for (size_t n; len; p += n, len -= n) {
    double w = fl_width(p, (int)(n = run_length(p, len)));
    if (x + w >= cx) break;
    x += w;
  }
  const char *from = p;
  double start = x;
  for (size_t n; len && x < cx + cw; p += n, len -= n) x += fl_width(p, (int)(n = run_length(p, len)));
  std::string part(from, (size_t)(p - from));
  fl_push_clip(X + 16, Y, W - 16, h);
  fl_draw(part.c_str(), (int)start, Y, (int)(x - start) + 1, h, FL_ALIGN_LEFT, 0, 0);
  fl_pop_clip();
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
  // Lines oldest first, which is upward; the pieces of a line read downward
  // from its first.
  std::string out;
  for (void *item = item_last(); item; item = item_prev(item)) {
    if (continuation(item)) continue;
    bool any = false;
    for (void *piece = item; piece && (piece == item || continuation(piece));
         piece = item_next(piece)) {
      if (!item_selected(piece)) continue;
      out += item_text(piece);
      any = true;
    }
    if (any && (out.empty() || out.back() != '\n')) out += '\n';
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
  // The browser centres a line far from the view, the last one too: End
  // shows the last line at the bottom, no further.
  int most = full_height() - bh;
  if (to == item_last() && position() > most) position(most > 0 ? most : 0);
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

void ErrorBrowser::mark(const char *text) {
  if (mark_.text() == (text ? text : "")) return;
  mark_ = TextMatch(text);
  redraw();
}

void ErrorBrowser::land_on(void *item, int line) {
  deselect();
  Fl_Browser_::select(item, 1, 0);
  set_anchor(item, line);
  scroll_through(&line, 1);
}

int ErrorBrowser::find_marked(bool down, bool here, bool *wrapped) {
  if (wrapped) *wrapped = false;
  int n = size();
  if (!n || mark_.empty()) return 0;
  void *item = selection();
  int line = item ? value() : 0;
  if (!item) {
    // Nothing current: the search starts at the end it moves away from.
    item = down ? item_first() : item_last();
    line = down ? 1 : n;
    here = true;
  }
  // Every line once: the current one first with `here`, else last.
  for (int k = 0; k < n; k++) {
    if (k > 0 || !here) {
      item = down ? item_next(item) : item_prev(item);
      line += down ? 1 : -1;
      if (!item) {
        item = down ? item_first() : item_last();
        line = down ? 1 : n;
        if (wrapped) *wrapped = true;
      }
    }
    const char *text = item_text(item);
    if (mark_.in_line(text, strlen(text), continuation(item))) {
      land_on(item, line);
      return line;
    }
  }
  return 0;
}

// Lines looked at to tell whether a narrower filter keeps most of a list.
static const int kSampled = 2000;

void ErrorBrowser::filter(const char *text) {
  TextMatch next(text);
  // Lines of another level, or of no read yet, can only come from a read.
  bool same_level = source_.level() == level_ && source_.ref() == source();
  if (next.text() == wanted_.text() && same_level) return;
  bool narrower = same_level && wanted_.covers(next) && status_.kind != LogStatus::Failed;
  if (narrower && size() > kSampled) {
    // Taking most lines of a long list out one by one costs more than
    // reading the few that stay: the top lines tell which it will be.
    int sampled = 0, staying = 0;
    for (void *item = item_first(); item && sampled < kSampled; item = item_next(item)) {
      if (continuation(item)) continue;
      const char *text = item_text(item);
      sampled++;
      staying += next.in_line(text, strlen(text));
    }
    narrower = staying * 2 >= sampled;
  }
  wanted_ = next;
  if (narrower)
    narrow();
  else
    load();
}

void ErrorBrowser::narrow() {
  void *current = selection();
  int number = current ? value() : 0;
  int found = 0;  // the current line's number after, when it stays
  void *top = item_first();
  bool top_kept = true;
  int line = 1;
  for (void *item = top; item;) {
    // A line and the pieces under it go or stay together.
    void *end = item_next(item);
    while (end && continuation(end)) end = item_next(end);
    const char *text = item_text(item);
    bool keep = wanted_.in_line(text, strlen(text));
    if (item == top) top_kept = keep;
    for (void *piece = item; piece != end;) {
      void *after = item_next(piece);
      if (keep) {
        if (piece == current) found = line;
        line++;
      } else {
        selected_.erase(piece);
        continued_.erase(piece);
        Fl_Browser::remove(line);
      }
      piece = after;
    }
    item = end;
  }
  anchor_ = 0;
  if (!top_kept) {
    top_pieces_ = 0;
    top_tail_ = 0;
  }
  // The newest line of the file is listed still only when it stayed.
  if (gate_.open()) gate_.open(top_kept);
  if (found)
    land_on(current, found);
  else if (number >= 1 && number <= size())
    land_on(find_line(number), number);
  else
    deselect();
  redraw();
}
