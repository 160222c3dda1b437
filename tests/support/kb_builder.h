// kb_builder.h - knowledge base files for tests, written from a few calls,
// and loaded from a temporary file. Needs no toolkit.
//
//   std::unique_ptr<ErrorXML> kb = KbBuilder()
//       .remedy("printer", "<P>Check the cable.</P>")
//       .item('E', "Printer not connected*", 5)
//       .item('E', "Printer slow*", 2)
//       .remedy("disk")
//       .item(0, "Disk full*", 11)
//       .load();
#ifndef TESTS_SUPPORT_KB_BUILDER_H
#define TESTS_SUPPORT_KB_BUILDER_H

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "knowledge/ErrorXML.h"

class KbBuilder {
public:
  // Starts a remedy, closing the one before. Its text (HTML) must not be
  // empty, or the loader loses its first item; by default "<P>NAME</P>".
  KbBuilder &remedy(const std::string &name, const std::string &text = "") {
    close();
    xml_ += "<remedy name=\"" + name + "\">\n" + (text.empty() ? "<P>" + name + "</P>" : text) + "\n";
    open_ = true;
    return *this;
  }
  // An item of the current remedy; level 0 writes no level attribute, an
  // empty state no state attribute. A pattern holding a double quote is
  // written in single quotes.
  KbBuilder &item(char level, const std::string &pattern, int severity,
                  const std::string &text = "<P>item</P>", const std::string &state = "") {
    char q = pattern.find('"') == std::string::npos ? '"' : '\'';
    xml_ += "<item";
    if (level) xml_ += std::string(" level=\"") + level + "\"";
    xml_ += std::string(" pattern=") + q + pattern + q + " severity=\"" +
            std::to_string(severity) + "\"";
    if (!state.empty()) xml_ += " state=\"" + state + "\"";
    xml_ += ">\n" + text + "\n</item>\n";
    return *this;
  }
  // Lines taken as they are, for files the calls above cannot write; the
  // remedy open before them is the caller's to close from then on.
  KbBuilder &raw(const std::string &lines) {
    xml_ += lines;
    open_ = false;
    return *this;
  }
  // The file's contents, the last remedy closed.
  std::string str() const { return open_ ? xml_ + "</remedy>\n" : xml_; }

  // Writes the file to a temporary path and loads it.
  std::unique_ptr<ErrorXML> load() const { return load_kb(str()); }

  static std::unique_ptr<ErrorXML> load_kb(const std::string &contents) {
    char path[] = "/tmp/veklog-kb-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) abort();
    if (write(fd, contents.data(), contents.size()) != (ssize_t)contents.size()) abort();
    ::close(fd);
    std::unique_ptr<ErrorXML> kb(new ErrorXML(path));
    unlink(path);
    return kb;
  }

private:
  void close() {
    if (open_) xml_ += "</remedy>\n";
    open_ = false;
  }
  std::string xml_;
  bool open_ = false;
};

#endif
