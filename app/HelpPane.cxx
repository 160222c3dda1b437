// HelpPane.cxx - the pane's mark of a link followed, and the calls that lay a
// page out.
#include "app/HelpPane.h"

bool HelpPane::following() {
  bool marked = changed() != 0;
  clear_changed();
  return marked && !laying_out_;
}

void HelpPane::value(const char *html) {
  LayingOut busy(this);
  Fl_Help_View::value(html);  // which marks the pane changed too
  clear_changed();
}

int HelpPane::load(const char *name) {
  set_changed();
  return Fl_Help_View::load(name);
}

void HelpPane::resize(int X, int Y, int W, int H) {
  LayingOut busy(this);
  Fl_Help_View::resize(X, Y, W, H);
}
