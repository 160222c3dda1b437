// drawing_test.cxx - the list as drawn: level icons, line height, text from
// the third character, and where Diagnose's single scroll leaves the view.
#include <unistd.h>

#include <random>

#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <FL/fl_draw.H>

#include "logview/ErrorBrowser.h"
#include "tests/support/widget_util.h"

namespace {

// The list drawn into an offscreen image, so other windows on the test
// display cannot cover what is read back.
struct PaintedBrowser : ErrorBrowser {
  using ErrorBrowser::ErrorBrowser;
  void paint() {
    damage(FL_DAMAGE_ALL);
    draw();
  }
  int width_of(int line) { return item_width(find_line(line)); }
  using ErrorBrowser::item_at;
};

struct Drawn : ::testing::Test {
  Fl_Window *win = nullptr;
  PaintedBrowser *list = nullptr;
  std::vector<unsigned char> pixels;  // RGB of the whole window

  void SetUp() override {
    win = new Fl_Window(400, 300);
    list = new PaintedBrowser(0, 0, 400, 300);
    list->type(FL_MULTI_BROWSER);
    list->color(FL_WHITE);
    list->textcolor(FL_BLACK);
    win->end();
  }
  void TearDown() override { delete win; }

  void show_and_read() {
    fl_open_display();
    Fl_Offscreen off = fl_create_offscreen(400, 300);
    fl_begin_offscreen(off);
    list->paint();
    pixels.assign(400 * 300 * 3, 0);
    fl_read_image(pixels.data(), 0, 0, 400, 300);
    fl_end_offscreen();
    fl_delete_offscreen(off);
  }
  // Colour at a window point as 0xRRGGBB.
  unsigned rgb(int x, int y) {
    const unsigned char *p = &pixels[(y * 400 + x) * 3];
    return (p[0] << 16) | (p[1] << 8) | p[2];
  }
  // The text pixels of one line, right of the icon.
  std::vector<unsigned char> text_row(int line) {
    std::vector<unsigned char> out;
    int top = 2 + (line - 1) * 16;
    for (int y = top; y < top + 16; y++)
      out.insert(out.end(), &pixels[(y * 400 + 16) * 3], &pixels[(y * 400 + 380) * 3]);
    return out;
  }
  // Rightmost column of a line that is not background.
  int text_end(int line) {
    int top = 2 + (line - 1) * 16, end = 0;
    for (int y = top; y < top + 16; y++)
      for (int x = 16; x < 380; x++)
        if (rgb(x, y) != 0xffffff) end = x > end ? x : end;
    return end;
  }
};

TEST_F(Drawn, IconsHeightsAndText) {
  // Lines are added top to bottom here, so line n is the n-th added.
  list->add("E ab\n");
  list->add("Wxab\n");
  list->add("D ab\n");
  list->add("e ab\n");
  list->add("I @@@@@@@@@@@@\n");
  list->add("\n");
  show_and_read();
  // The list's frame is 2 pixels; each icon sits 2 pixels in and 2 down in
  // its 16-pixel line; its "o" colour shows at icon pixel (3, 3), the
  // warning's (an orange triangle with a black exclamation mark) at (1, 9)
  // and its mark at (5, 9).
  struct {
    int line, x, y;
    unsigned colour;
  } icons[] = {{1, 3, 3, 0xff0000}, {2, 1, 9, 0xff9f00}, {2, 5, 9, 0x000000},
               {2, 5, 7, 0xff9f00}, {3, 3, 3, 0xffff00}, {4, 3, 3, 0xffff00},
               {5, 3, 3, 0x0000ff}, {6, 3, 3, 0xffff00}};
  for (auto &c : icons) {
    int top = 2 + (c.line - 1) * 16;
    EXPECT_EQ(rgb(2 + 2 + c.x, top + 2 + c.y), c.colour) << "line " << c.line << " at " << c.x
                                                         << "," << c.y;
    // Transparent corner: the list's background shows through.
    EXPECT_EQ(rgb(2 + 2, top + 2), 0xffffffu) << "line " << c.line;
  }
  // "E ab" and "Wxab" draw the same text: the level letter and the character
  // after it are never drawn.
  EXPECT_EQ(text_row(1), text_row(2));
  EXPECT_GT(text_end(1), 16);
  // At signs are plain characters: twelve of them are as wide as measured.
  fl_font(list->textfont(), list->textsize());
  int want = 2 + 16 + (int)fl_width("@@@@@@@@@@@@");
  EXPECT_NEAR(text_end(5), want, 3);
  // A blank line draws only its icon.
  EXPECT_EQ(text_end(6), 0);
}

// A log written on another system ends its lines in "\r\n": the carriage
// return is kept in the stored text but neither drawn nor measured.
TEST_F(Drawn, CarriageReturnBeforeTheNewlineIsNotDrawn) {
  const char *lines[] = {"E ab\n", "E ab\r\n", "E ab\r", "E ab", "E a\rb\n"};
  for (const char *l : lines) list->add(l);
  show_and_read();
  for (int line = 2; line <= 4; line++) EXPECT_EQ(text_row(line), text_row(1)) << lines[line - 1];
  EXPECT_EQ(list->width_of(2), list->width_of(1));
  EXPECT_EQ(list->width_of(3), list->width_of(4));  // unfinished lines, no newline
  EXPECT_NE(text_row(5), text_row(1));  // one inside the line is left alone
  EXPECT_STREQ(list->text(2), "E ab\r\n");
}

TEST_F(Drawn, ASelectedLineDrawsInTheContrastColour) {
  list->add("E selected line of text\n");
  list->selection_color(FL_BLUE);
  list->select(1);
  show_and_read();
  unsigned want = 0;
  Fl_Color c = fl_contrast(list->textcolor(), FL_BLUE);
  uchar r, g, b;
  Fl::get_color(c, r, g, b);
  want = (r << 16) | (g << 8) | b;
  bool found = false;
  for (int x = 16; x < 200 && !found; x++)
    for (int y = 2; y < 18; y++)
      if (rgb(x, y) == want) found = true;
  EXPECT_TRUE(found);
}

// The found text stands on the marker colour where the line holds it, in
// black on a selected line too; the rest of the line stays as it was.
TEST_F(Drawn, TheFoundTextIsMarked) {
  const unsigned kMarker = 0xffe26e;
  list->add("E lab then LAB\n");
  list->add("E nothing here\n");
  list->add("E lab\n");
  list->selection_color(FL_BLUE);
  list->select(3);
  // The columns of a line that show the marker colour, as runs [from, to).
  auto marked = [&](int line) {
    std::vector<std::pair<int, int>> runs;
    int y = 2 + (line - 1) * 16 + 1;  // the marker's top row, above the letters
    for (int x = 16; x < 380; x++) {
      if (rgb(x, y) != kMarker) continue;
      if (!runs.empty() && runs.back().second == x) runs.back().second++;
      else runs.push_back({x, x + 1});
    }
    return runs;
  };
  show_and_read();
  std::vector<unsigned char> plain = text_row(2);
  EXPECT_TRUE(marked(1).empty());
  list->mark("lab");
  show_and_read();
  fl_font(list->textfont(), list->textsize());
  auto runs = marked(1);
  ASSERT_EQ(runs.size(), 2u);  // "lab" and "LAB"
  int left = 2 + 16;  // frame and icon
  EXPECT_NEAR(runs[0].first, left, 1);
  EXPECT_NEAR(runs[0].second - runs[0].first, fl_width("lab"), 2);
  EXPECT_NEAR(runs[1].first, left + fl_width("lab then "), 2);
  EXPECT_EQ(text_row(2), plain);
  // The selected line: the marker behind the text, and black text on it.
  ASSERT_EQ(marked(3).size(), 1u);
  bool black = false;
  for (int x = marked(3)[0].first; x < marked(3)[0].second; x++)
    for (int y = 34; y < 50; y++) black |= rgb(x, y) == 0;
  EXPECT_TRUE(black);
}

// A line longer than the window system can draw in one go (its widths are
// 16-bit: some 4,400 characters) still shows its text: the first piece of a
// long line, a long line of one piece, and the pieces that continue a line,
// which have no icon of their own; also scrolled far to the right.
TEST_F(Drawn, LongLinesAndTheirPiecesDrawTheirText) {
  TempDir dir;
  std::string path = dir.file("error_log");
  std::string words;
  while (words.size() < 30000) words += "Unable to open device " + std::to_string(words.size()) + " ";
  std::string pieces_line = "E " + words + "\n";
  std::string one_piece = "E " + words.substr(0, 5000) + "\n";
  std::string shorter = "E " + words.substr(0, 200) + "\n";
  write_file(path, shorter + one_piece + pieces_line);
  list->level_ = 0;
  snprintf(list->filename_, sizeof list->filename_, "%s", path.c_str());
  list->load();
  // Top first: the long line's three pieces, the one-piece line, the short one.
  ASSERT_EQ(list->size(), 5);
  ASSERT_TRUE(list->continuation(list->item_at(2)) && list->continuation(list->item_at(3)));
  show_and_read();
  auto icon = [&](int line) { return rgb(2 + 2 + 3, 2 + (line - 1) * 16 + 2 + 3); };
  // The same start of text as the short line draws the same pixels.
  EXPECT_EQ(text_row(1), text_row(5));
  EXPECT_EQ(text_row(4), text_row(5));
  EXPECT_EQ(icon(1), 0xff0000u);
  EXPECT_EQ(icon(4), 0xff0000u);
  for (int line : {2, 3}) {
    EXPECT_GT(text_end(line), 100) << "piece " << line;
    EXPECT_EQ(icon(line), 0xffffffu) << "piece " << line;
  }
  // Measured whole, far wider than the window system's 32,767 pixels.
  EXPECT_GT(list->width_of(1), 40000);
  // Scrolled right past the short lines, the long ones still draw.
  list->hposition(30000);
  show_and_read();
  EXPECT_EQ(text_end(5), 0);
  EXPECT_GT(text_end(1), 100);
  EXPECT_GT(text_end(2), 100);
}

// Diagnose scrolls once to where showing each matching line in turn would
// leave the view; check that against the browser doing it line by line.
TEST_F(Drawn, OneScrollEndsWhereScrollingThroughEveryLineWould) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; round++) {
    list->clear();
    int n = 1 + rng() % 80;
    for (int i = 0; i < n; i++) list->add("E line\n");
    std::vector<int> lines;
    for (int i = n; i >= 1; i--)
      if (rng() % 4 == 0) lines.push_back(i);
    if (rng() % 5 == 0) lines.push_back(0);
    int start = rng() % (n * 16 + 40);

    list->position(start);
    for (int l : lines) list->make_visible(l);
    int stepwise = list->position();

    list->position(start);
    list->scroll_through(lines.data(), (int)lines.size());
    ASSERT_EQ(list->position(), stepwise) << "round " << round << " n " << n << " start " << start;
  }
}

}  // namespace
