// HelpPane.h - the window's HTML pane, which tells a link followed from an
// image looked up by the same name.
#ifndef APP_HELPPANE_H
#define APP_HELPPANE_H

#include <FL/Fl_Help_View.H>

// The HTML pane. The toolkit asks one callback for every name, by the same
// names: a link being followed, and each image of a page while it shows the
// page, lays it out, draws it or lets it go. Only when it follows a link does
// it mark the pane changed first; following() reads and clears that mark.
class HelpPane : public Fl_Help_View {
public:
  HelpPane(int X, int Y, int W, int H) : Fl_Help_View(X, Y, W, H) {}
  // True when the name being looked up is that of a link followed, by a
  // click or by load(); false for the images of a page.
  bool following();
  using Fl_Help_View::value;
  void value(const char *html);
  // Follows a link as a click does.
  int load(const char *name);
  void resize(int X, int Y, int W, int H) override;
  // While one lives (the pane is shown, laid out or drawn), no name looked
  // up is a link followed, whatever the mark says.
  class LayingOut {
  public:
    explicit LayingOut(HelpPane *pane) : pane_(pane) { pane_->laying_out_++; }
    ~LayingOut() { pane_->laying_out_--; }
    LayingOut(const LayingOut &) = delete;
    LayingOut &operator=(const LayingOut &) = delete;

  private:
    HelpPane *pane_;
  };

private:
  int laying_out_ = 0;
};

#endif
