// bundle.h - where a program started from an application bundle finds its
// files: the bundle's Contents/Resources directory.
#ifndef APP_BUNDLE_H
#define APP_BUNDLE_H

#include <stddef.h>

// Given the program's own path, fills dir with the bundle's resource directory
// and returns 1 when the program lies in a Contents/MacOS directory; returns 0
// (dir empty) for any other path. The result is cut to size - 1 characters.
int bundle_resources_dir(const char *argv0, char *dir, size_t size);

#endif
