// KbLookup.h - where the knowledge base file is looked for, and when a file
// found in the working directory may be trusted; shared by both programs.
#ifndef KNOWLEDGE_KBLOOKUP_H
#define KNOWLEDGE_KBLOOKUP_H

#include <stdio.h>

#include <string>
#include <vector>

// The knowledge base's file name, looked for in each place.
const char kKbName[] = "errors.xml";

class KbLookup {
public:
  // One place looked in.
  struct Place {
    std::string path;     // as tried
    int error = 0;        // errno when nothing usable opened there; 0 otherwise
    std::string ignored;  // why a file that is there was passed over; "" when it was not
  };

  // Looks for `name`: the name itself (in the working directory when it is
  // relative), taken only when it cannot have been planted (see distrust);
  // then "<data dir>/data/<name>", the data directory being $TARN_DATADIR or
  // the one built in; then, for a program run from the build tree it was
  // made in, "<source dir>/data/<name>". Whatever is not a regular file is
  // skipped. Gives the first usable file, open (the caller closes it), or null.
  FILE *find(const char *name);
  // Opens exactly `path`, as a file the user named: no other place, no
  // question of trust.
  FILE *open(const char *path);

  const std::vector<Place> &places() const { return places_; }
  // The file opened, as tried; "" when none was.
  const std::string &path() const { return path_; }
  // The same made absolute against the working directory at the time of
  // the lookup, for saying which file explained a line.
  const std::string &shown() const { return shown_; }
  // "PATH: why" for each file passed over.
  std::vector<std::string> ignored() const;

  // Why the file open as `fd` and found at `path` may have been put there
  // by someone else: "" when it is owned by this user or by root and
  // neither it nor its directory may be written by anyone else.
  static std::string distrust(int fd, const std::string &path);

private:
  std::vector<Place> places_;
  std::string path_, shown_;

  FILE *try_place(const std::string &path, bool trust_only);
};

#endif
