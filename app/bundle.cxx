// bundle.cxx - the resource directory of an application bundle.
#include "app/bundle.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

int bundle_resources_dir(const char *argv0, char *dir, size_t size) {
  char path[1024];
  if (size) dir[0] = 0;
  snprintf(path, sizeof path, "%s", argv0 ? argv0 : "");
  // Drop the program's file name, then look at the directory it lies in.
  char *slash = strrchr(path, '/');
  if (!slash) return 0;
  *slash = 0;
  slash = strrchr(path, '/');
  if (!slash || strcasecmp(slash, "/MacOS") != 0) return 0;
  *slash = 0;
  if (size) snprintf(dir, size, "%s/Resources", path);
  return 1;
}
