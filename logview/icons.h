// icons.h - the 12x12 level icons drawn before each log line: error (A, C,
// E, X), informational (I, N, W) and everything else; warnings (W) have one
// of their own, drawn in place of the informational one.
#ifndef LOGVIEW_ICONS_H
#define LOGVIEW_ICONS_H

#include <FL/Fl_Pixmap.H>

extern const char *log_error_xpm[18];
extern const char *log_info_xpm[18];
extern const char *log_debug_xpm[18];
extern const char *log_warning_xpm[18];

// Built from the arrays above before main runs; they live for the whole process.
extern Fl_Pixmap log_error_pixmap;
extern Fl_Pixmap log_info_pixmap;
extern Fl_Pixmap log_debug_pixmap;
extern Fl_Pixmap log_warning_pixmap;

#endif
