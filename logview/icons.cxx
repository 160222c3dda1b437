// icons.cxx - the level icons: a red disc with an exclamation mark, a blue
// square with an i, a yellow tile with a d, an orange triangle with an
// exclamation mark.
#include "logview/icons.h"

const char *log_error_xpm[18] = {
  "12 12 5 1",
  " \tc None",
  ".\tc #ff7f7f",
  "/\tc #7f0000",
  "o\tc #ff0000",
  "O\tc #ffffff",
  "   ......   ",
  "  .oooooo/  ",
  " .oooOOooo/ ",
  ".ooooOOoooo/",
  ".ooooOOoooo/",
  ".ooooOOoooo/",
  ".ooooOooooo/",
  ".oooooooooo/",
  ".ooooOOoooo/",
  " /oooOOooo/ ",
  "  /oooooo/  ",
  "   //////   "};

const char *log_info_xpm[18] = {
  "12 12 5 1",
  " \tc None",
  ".\tc #7f7fff",
  "/\tc #00007f",
  "o\tc #0000ff",
  "O\tc #ffffff",
  " .......... ",
  ".oooooooooo/",
  ".ooooOOoooo/",
  ".ooooOOoooo/",
  ".oooooooooo/",
  ".ooooOooooo/",
  ".ooooOOoooo/",
  ".ooooOOoooo/",
  ".ooooOOoooo/",
  ".oooOOOOooo/",
  ".oooooooooo/",
  " ////////// "};

const char *log_debug_xpm[18] = {
  "12 12 5 1",
  " \tc None",
  ".\tc #ffff7f",
  "/\tc #7f7f00",
  "o\tc #ffff00",
  "O\tc #000000",
  "    ....... ",
  "   .ooooooo/",
  "  .ooooOOoo/",
  "  .ooooOOoo/",
  "  .ooooOOo/ ",
  " .ooOOOOoo/ ",
  " .oOOoOOoo/ ",
  " .oOOoOOo/  ",
  ".oOOoOOoo/  ",
  ".ooOOOooo/  ",
  ".ooooooo/   ",
  " ///////    "};

const char *log_warning_xpm[18] = {
  "12 12 5 1",
  " \tc None",
  ".\tc #ffd27f",
  "/\tc #7f4f00",
  "o\tc #ff9f00",
  "O\tc #000000",
  "     ..     ",
  "    .oo/    ",
  "    .OO/    ",
  "   .oOOo/   ",
  "   .oOOo/   ",
  "  .ooOOoo/  ",
  "  .ooOOoo/  ",
  " .oooooooo/ ",
  " .oooOOooo/ ",
  ".ooooOOoooo/",
  ".oooooooooo/",
  " ////////// "};

Fl_Pixmap log_error_pixmap(log_error_xpm);
Fl_Pixmap log_info_pixmap(log_info_xpm);
Fl_Pixmap log_debug_pixmap(log_debug_xpm);
Fl_Pixmap log_warning_pixmap(log_warning_xpm);
