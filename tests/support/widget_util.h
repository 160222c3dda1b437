// widget_util.h - reading back what a list widget and the window's pane
// hold, for the tests that build real widgets.
#ifndef TESTS_SUPPORT_WIDGET_UTIL_H
#define TESTS_SUPPORT_WIDGET_UTIL_H

#include <chrono>
#include <string>
#include <vector>

#include <FL/Fl.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Widget.H>

#include "tests/support/test_util.h"

// The list's lines, top first, as stored.
inline std::vector<std::string> lines_of(Fl_Browser *b) {
  std::vector<std::string> out;
  for (int i = 1; i <= b->size(); i++) out.push_back(b->text(i) ? b->text(i) : "");
  return out;
}

// The numbers of the selected lines.
inline std::vector<int> selected_of(Fl_Browser *b) {
  std::vector<int> out;
  for (int i = 1; i <= b->size(); i++)
    if (b->selected(i)) out.push_back(i);
  return out;
}

// Whether a pane's document is the window's start page with nothing above
// it: no notice of what keeps the log or the knowledge base from use.
inline bool is_start_page(const std::string &doc) { return doc.rfind("<H2>The Log</H2>\n", 0) == 0; }

// A widget that keeps what a paste gives it.
struct PasteTarget : Fl_Widget {
  std::string got;
  PasteTarget() : Fl_Widget(0, 0, 1, 1) {}
  void draw() override {}
  int handle(int e) override {
    if (e != FL_PASTE) return 0;
    got.assign(Fl::event_text(), Fl::event_length());
    return 1;
  }
};

// Runs the event loop until done() holds or the time runs out.
template <class F>
bool wait_for(F done, double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Fl::wait(0.05);
  }
  return true;
}

#endif
