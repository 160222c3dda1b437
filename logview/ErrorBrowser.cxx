// ErrorBrowser.cxx - reading the log file into the list, newest line first,
// and following it as it grows.
#include "logview/ErrorBrowser.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include "logview/icons.h"

namespace {

// A line arrives in pieces of at most this many bytes, newline included; the
// rest of a longer line comes as pieces of its own.
const size_t kPiece = 10239;
const size_t kChunk = 1 << 20;

// Which first characters each filter level lets through.
bool accepts(int level, unsigned char c) {
  switch (level) {
    case 0: return c && strchr("XACE", c);
    case 1: return c && strchr("XACEWNI", c);
    case 2: return true;
    default: return false;
  }
}

// Opens a regular file for reading without ever blocking (a FIFO would wait
// for a writer); anything else counts as a file that does not open.
int open_regular(const char *path, struct stat *st) {
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

ssize_t read_at(int fd, char *buf, size_t len, off_t at) {
  ssize_t n;
  do n = pread(fd, buf, len, at);
  while (n < 0 && errno == EINTR);
  return n;
}

ssize_t pread_full(int fd, char *buf, size_t len, off_t at) {
  size_t got = 0;
  while (got < len) {
    ssize_t n = pread(fd, buf + got, len - got, at + (off_t)got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += (size_t)n;
  }
  return (ssize_t)got;
}

}  // namespace

ErrorBrowser::ErrorBrowser(int X, int Y, int W, int H, const char *L)
    : Fl_Browser(X, Y, W, H, L), level_(0), anchor_(0), anchor_line_(0), anchor_size_(0) {
  filename_[0] = 0;
  memset(&mark_, 0, sizeof mark_);
}

void ErrorBrowser::clear() {
  selected_.clear();
  mark_.valid = 0;
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

void ErrorBrowser::add_piece(char *p, size_t len) {
  if (!accepts(level_, (unsigned char)p[0])) return;
  // The list keeps its own copy up to the first NUL; end the piece there.
  char saved = p[len];
  p[len] = 0;
  insert(1, p);
  p[len] = saved;
  if (anchor_ && anchor_size_ + 1 == size()) {
    anchor_line_++;
    anchor_size_++;
  }
}

// The file is the one read last time with bytes added at its end: the same
// file, no shorter, the same first and last bytes read, and, when it has not
// grown, not written since (a rewrite in place keeps the size, not the time).
bool ErrorBrowser::only_grown(int fd, const struct stat &st) {
  if (!mark_.valid || mark_.level != level_ || strcmp(mark_.path, filename_) ||
      mark_.dev != st.st_dev || mark_.ino != st.st_ino || st.st_size < mark_.end)
    return false;
  if (st.st_size == mark_.end && (st.st_mtim.tv_sec != mark_.mtime.tv_sec ||
                                  st.st_mtim.tv_nsec != mark_.mtime.tv_nsec))
    return false;
  char tail[sizeof mark_.tail], head[sizeof mark_.head];
  return pread_full(fd, tail, (size_t)mark_.tail_len, mark_.end - mark_.tail_len) ==
             mark_.tail_len &&
         !memcmp(tail, mark_.tail, (size_t)mark_.tail_len) &&
         pread_full(fd, head, (size_t)mark_.head_len, 0) == mark_.head_len &&
         !memcmp(head, mark_.head, (size_t)mark_.head_len);
}

void ErrorBrowser::load() {
  struct stat st;
  int fd = open_regular(filename_, &st);
  if (fd < 0) {
    clear();
    return;
  }

  // Has the file only grown since the last read? Then the lines listed so far
  // are still right and only the bytes after them need reading.
  off_t from = 0;
  if (only_grown(fd, st)) {
    // Leave the list as a fresh read would: nothing selected, no current
    // line, scrolled to the top.
    for (void *item : selected_) Fl_Browser::item_select(item, 0);
    selected_.clear();
    if (anchor_ && anchor_size_ != size()) anchor_ = 0;
    if (mark_.provisional) {
      // The unfinished line goes; a line remembered below it moves up.
      if (anchor_ == item_first()) anchor_ = 0;
      Fl_Browser::remove(1);
      anchor_line_--;
      anchor_size_--;
    }
    new_list();
    from = mark_.committed;
  } else {
    clear();
  }

  std::vector<char> buf(kChunk + kPiece + 1);
  size_t have = 0;
  off_t pos = from;        // file offset of buf[0]
  for (;;) {
    ssize_t n = read_at(fd, buf.data() + have, kChunk, pos + (off_t)have);
    if (n <= 0) break;
    have += (size_t)n;
    char *p = buf.data(), *end = p + have;
    for (;;) {
      size_t avail = (size_t)(end - p);
      size_t lim = avail < kPiece ? avail : kPiece;
      char *nl = (char *)memchr(p, '\n', lim);
      size_t len;
      if (nl)
        len = (size_t)(nl - p) + 1;
      else if (avail >= kPiece)
        len = kPiece;
      else
        break;
      add_piece(p, len);
      p += len;
    }
    pos += p - buf.data();
    have = (size_t)(end - p);
    memmove(buf.data(), p, have);
  }

  // An unfinished last line is listed as it stands; the next read replaces it.
  mark_.committed = pos;
  mark_.provisional = 0;
  if (have) {
    int before = size();
    add_piece(buf.data(), have);
    mark_.provisional = size() != before;
  }
  mark_.end = pos + (off_t)have;
  mark_.valid = 1;
  mark_.level = level_;
  snprintf(mark_.path, sizeof mark_.path, "%s", filename_);
  mark_.dev = st.st_dev;
  mark_.ino = st.st_ino;
  mark_.mtime = st.st_mtim;
  mark_.tail_len = (int)(mark_.end < (off_t)sizeof mark_.tail ? mark_.end : (off_t)sizeof mark_.tail);
  mark_.head_len = (int)(mark_.end < (off_t)sizeof mark_.head ? mark_.end : (off_t)sizeof mark_.head);
  if (pread_full(fd, mark_.tail, (size_t)mark_.tail_len, mark_.end - mark_.tail_len) != mark_.tail_len ||
      pread_full(fd, mark_.head, (size_t)mark_.head_len, 0) != mark_.head_len)
    mark_.valid = 0;
  close(fd);
}

int ErrorBrowser::item_height(void *) const { return textsize() + 2; }

int ErrorBrowser::incr_height() const { return textsize() + 2; }

int ErrorBrowser::full_height() const { return (textsize() + 2) * size(); }

// A line shorter than two characters has nothing after its level letter.
static const char *shown_text(const char *line) {
  return line[0] && line[1] ? line + 2 : 0;
}

int ErrorBrowser::item_width(void *item) const {
  const char *shown = shown_text(item_text(item));
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

  const char *shown = shown_text(line);
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
