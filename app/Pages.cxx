// Pages.cxx - the notices, the start page, the keys and a job's story as
// HTML for the pane.
#include "app/Pages.h"

#include <errno.h>
#include <grp.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

void append_escaped(std::string &out, const char *text) {
  for (const char *p = text; *p; p++) {
    switch (*p) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += *p; break;
    }
  }
}

static std::string escaped(const std::string &text) {
  std::string out;
  append_escaped(out, text.c_str());
  return out;
}

// A name looked for in the working directory, with that directory.
static std::string in_cwd(const PaneFacts &f, const std::string &name) {
  if (name.empty() || name[0] == '/' || f.cwd.empty()) return name;
  return f.cwd + (f.cwd == "/" ? "" : "/") + name;
}

// Where the knowledge base was looked for, as a sentence of HTML.
static std::string knowledge_tried(const PaneFacts &f) {
  std::string out = "Looked for ";
  for (size_t i = 0; i < f.kb_tried.size(); i++) {
    if (i) out += i + 1 == f.kb_tried.size() ? " and " : ", ";
    out += "<TT>" + escaped(in_cwd(f, f.kb_tried[i])) + "</TT>";
  }
  out += ". Start the program in the directory that holds errors.xml, or set "
         "<TT>TARN_DATADIR</TT> to the directory whose <TT>data</TT> folder holds it.";
  return out;
}

// Why the log cannot be read and what to do about it, as paragraphs of HTML.
static std::string log_failure(const PaneFacts &f) {
  std::string out = "<P>";
  if (f.name_too_long) {
    out += "The log file's name is too long (the limit is 1023 characters).</P>\n"
           "<P>Name the log by a shorter path on the command line.</P>\n";
    return out;
  }
  if (f.path.empty()) {
    out += "No log file is named: the name given on the command line is empty.</P>\n"
           "<P>Name the log on the command line, for example <TT>veklog "
           "/var/log/tarn/error_log</TT>.</P>\n";
    return out;
  }
  std::string file = "<TT>" + escaped(f.path) + "</TT>";
  out += "The log file " + file + " cannot be read: ";
  const char *reason = f.reason.empty() ? strerror(f.error) : f.reason.c_str();
  if (!strncmp(reason, "is ", 3)) out += "it ";
  append_escaped(out, reason);
  out += ".</P>\n<P>";
  struct stat sb;
  struct group *gr;
  switch (f.error) {
    case EACCES:
    case EPERM:
      if (stat(f.path.c_str(), &sb) == 0 && (sb.st_mode & S_IRGRP) && (gr = getgrgid(sb.st_gid))) {
        std::string group = escaped(gr->gr_name);
        out += "Members of the group <TT>" + group + "</TT> may read it: run the viewer as a "
               "member of that group (an administrator adds you with <TT>adduser "
               "<I>you</I> " + group + "</TT>; log in again afterwards), or as root.";
      } else {
        out += "Run the viewer as a user who may read it, for example as root "
               "(<TT>sudo veklog</TT>), or have its permissions let your group read it.";
      }
      break;
    case ENOENT:
    case ENOTDIR:
      out += "The print server may not have written its log yet, or it writes it elsewhere: "
             "name that file on the command line, for example <TT>veklog "
             "/path/to/error_log</TT>. This window keeps looking for " + file +
             " and shows the log as soon as it is there.";
      break;
    case EISDIR:
      out += "Name the log file in that directory on the command line, for example "
             "<TT>veklog " + file.substr(4, file.size() - 9) + "/error_log</TT>.";
      break;
    default:
      out += "Only a regular file can be shown: name the log file itself on the command line.";
      break;
  }
  out += "</P>\n";
  return out;
}

std::string notice_page(const PaneFacts &f) {
  std::string doc;
  if (f.failed) {
    doc += "<H1>Cannot Read the Log</H1>\n" + log_failure(f);
  } else if (f.damaged) {
    doc += "<H1>Damaged Compressed Log</H1>\n<P>The compressed log <TT>" + escaped(f.path) +
           "</TT> is damaged: the list shows the lines that could be read before the "
           "damage.";
    // The decompressor's own words, when the reason carries them, without the
    // descriptor it names them by.
    size_t open = f.reason.find(" ("), close = f.reason.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open + 2) {
      std::string detail = f.reason.substr(open + 2, close - open - 2);
      if (!detail.compare(0, 4, "<fd:") && detail.find(">: ") != std::string::npos)
        detail.erase(0, detail.find(">: ") + 3);
      doc += " (" + escaped(detail) + ")";
    }
    doc += "</P>\n";
  }
  if (f.kb_loaded.empty()) {
    doc += "<H1>No Knowledge Base</H1>\n<P>No knowledge base (errors.xml) was found, so no "
           "line can be explained and Diagnose has nothing to weigh the lines against. ";
    doc += knowledge_tried(f);
    doc += "</P>\n";
  } else if (f.kb_errors > 0) {
    std::string file = escaped(in_cwd(f, f.kb_loaded));
    doc += "<H1>Errors in the Knowledge Base</H1>\n<P>" + std::to_string(f.kb_errors) +
           (f.kb_errors == 1 ? " entry" : " entries") + " of <TT>" + file +
           "</TT> could not be read as written: items are lost, moved to another remedy or "
           "can never match a line, which changes what is explained and what Diagnose names. "
           "<TT>veklog-explain --check-kb " + file + "</TT> lists them with their line "
           "numbers.</P>\n";
  }
  return doc;
}

std::string diagnose_unreadable_page(const PaneFacts &f) {
  return "<H1>Could Not Read the Log</H1>\n<P>Diagnose weighs the lines of the log, "
         "and there are none to weigh.</P>\n" + log_failure(f);
}

std::string diagnose_no_knowledge_page(const PaneFacts &f) {
  return "<H1>No Knowledge Base</H1>\n<P>There is no knowledge base to weigh the "
         "lines against: errors.xml was not found. " + knowledge_tried(f) + "</P>\n";
}

static const char *kLevelNames[3] = {"Errors", "Informational", "All"};

// "1 line", "12 lines".
static std::string lines(size_t n) {
  return std::to_string(n) + (n == 1 ? " line" : " lines");
}

static std::string row(const std::string &what, const std::string &value) {
  return "<TR><TD>" + what + "</TD><TD ALIGN=\"RIGHT\">" + value + "</TD></TR>\n";
}

// The keys that matter most, and where to find the others.
static const char kMainKeys[] =
    "<TR><TD><TT>Ctrl+D</TT></TD><TD>Diagnose: the most likely remedy for the listed "
    "lines</TD></TR>\n"
    "<TR><TD><TT>Ctrl+F</TT>, <TT>/</TT></TD><TD>Find a text; <TT>F3</TT> and "
    "<TT>Shift+F3</TT> go to the next and previous line that holds it</TD></TR>\n"
    "<TR><TD><TT>Ctrl+L</TT>, <TT>&amp;</TT></TD><TD>Filter: list only the lines that hold "
    "a text</TD></TR>\n"
    "<TR><TD><TT>Ctrl+1</TT>, <TT>Ctrl+2</TT>, <TT>Ctrl+3</TT></TD><TD>List the Errors, "
    "Informational or All level</TD></TR>\n"
    "<TR><TD><TT>J</TT></TD><TD>List only the clicked job's lines; <TT>J</TT> or "
    "<TT>Escape</TT> again lists what was listed before</TD></TR>\n";

std::string start_page(const PaneFacts &f, const StartFacts &s) {
  std::string doc = notice_page(f);
  int level = s.level >= 0 && s.level <= 2 ? s.level : 0;
  if (!f.failed) {
    doc += "<H1>The Log</H1>\n<P><TT>" + escaped(f.path) + "</TT>";
    if (f.compressed)
      doc += ", compressed: read whole; a compressed log does not grow, so it is not followed.";
    else if (s.following)
      doc += ", followed: lines the server writes are listed within a second.";
    else
      doc += ", not followed.";
    doc += "</P>\n<TABLE>\n";
    doc += row("Listed at the " + std::string(kLevelNames[level]) + " level" +
                   (s.filter.empty() ? "" : ", filtered"),
               "<B>" + lines(s.listed) + "</B>");
    doc += row("Errors (X, A, C, E)", lines(s.at_level[0]));
    doc += row("Informational (also W, N, I)", lines(s.at_level[1]));
    doc += row("All", lines(s.at_level[2]));
    doc += row("Error lines the knowledge base does not know", lines(s.unknown));
    doc += row("The newest line", s.newest.empty() ? "none has a time" : escaped(s.newest));
    doc += "</TABLE>\n";
    if (!s.filter.empty())
      doc += "<P><B>A filter is on:</B> only the lines that hold &quot;<TT>" + escaped(s.filter) +
             "</TT>&quot; are listed. Empty the filter field (<TT>Ctrl+L</TT>) to list every "
             "line of the level.</P>\n";
    if (s.unknown)
      doc += "<P>Diagnose (<TT>Ctrl+D</TT>) weighs the unknown error lines too: the remedy "
             "for unknown messages says what to do with them.</P>\n";
  } else {
    doc += "<P>The window looks for the log every second.</P>\n";
  }
  doc += "<H2>Keys</H2>\n<P>Click a line, or move to it with the arrow keys, to have it "
         "explained.</P>\n<TABLE>\n";
  doc += kMainKeys;
  doc += "<TR><TD><TT>F1</TT></TD><TD>Every key</TD></TR>\n</TABLE>\n";
  return doc;
}

std::string keys_page() {
  std::string doc = "<H1>Keys</H1>\n<TABLE>\n";
  doc += kMainKeys;
  doc +=
      "<TR><TD><TT>Enter</TT>, <TT>F3</TT></TD><TD>In the find bar: the next line that holds "
      "the text, down the list (older), round past the end</TD></TR>\n"
      "<TR><TD><TT>Shift+F3</TT></TD><TD>The line before that holds it (newer)</TD></TR>\n"
      "<TR><TD><TT>Escape</TT></TD><TD>Closes the find bar and goes back to the list; leaves "
      "the filter field for the list; in the list, closes the window</TD></TR>\n"
      "<TR><TD><TT>F5</TT></TD><TD>Read the log again</TD></TR>\n"
      "<TR><TD><TT>Up</TT>, <TT>Down</TT></TD><TD>The line above or below, alone, "
      "explained</TD></TR>\n"
      "<TR><TD><TT>Page Up</TT>, <TT>Page Down</TT></TD><TD>The same, a page at a "
      "time</TD></TR>\n"
      "<TR><TD><TT>Home</TT>, <TT>End</TT></TD><TD>The newest (top) or oldest (bottom) "
      "line</TD></TR>\n"
      "<TR><TD><TT>Shift</TT> with these</TD><TD>Add the lines passed over to the "
      "selection</TD></TR>\n"
      "<TR><TD><TT>Ctrl+C</TT></TD><TD>Copy the text selected in this pane when it has the "
      "focus, else the selected lines, oldest first</TD></TR>\n"
      "<TR><TD><TT>Alt+A</TT>, <TT>Alt+V</TT></TD><TD>The Action and View menus</TD></TR>\n"
      "<TR><TD><TT>Ctrl+Q</TT></TD><TD>Quit at once (exit status 1)</TD></TR>\n"
      "<TR><TD><TT>F1</TT></TD><TD>This page</TD></TR>\n"
      "</TABLE>\n";
  return doc;
}

// Lines quoted in a story are cut at this many characters.
static const size_t kQuotedChars = 240;

std::string story_section(const Story &s) {
  std::string doc = "<H2>Job " + std::to_string(s.job) + ", all its lines</H2>\n<P>";
  size_t n = s.lines.size() + s.left_out;
  doc += "The job's " + lines(n) + " at every level, oldest first";
  if (s.left_out) doc += " (the " + lines(s.left_out) + " before these left out)";
  doc += ". <TT>J</TT> lists only them.</P>\n";
  for (const StoryLine &l : s.lines) {
    std::string text = l.text.substr(0, l.text.find('\n'));
    if (text.size() > kQuotedChars) text = text.substr(0, kQuotedChars) + "...";
    doc += l.clicked ? "<P><B><TT>" : "<P><TT>";
    append_escaped(doc, text.c_str());
    doc += l.clicked ? "</TT></B><BR>\n" : "</TT><BR>\n";
    doc += "<I>" + std::string(l.recorded ? "Recorded: " : "") +
           (l.meaning.empty() ? "Not in the knowledge base." : l.meaning) + "</I></P>\n";
  }
  if (s.remedy.empty()) {
    doc += "<P>Diagnose over this job's lines alone finds nothing that needs a "
           "remedy.</P>\n";
  } else if (s.same_remedy) {
    doc += "<P>Diagnose over this job's lines alone names the remedy above: <TT>" +
           escaped(s.remedy) + "</TT>, score " + std::to_string(s.score) + ".</P>\n";
  } else {
    doc += "<H3>Remedy for this job</H3>\n" + s.remedy_text + "\n<P>Diagnose over this job's "
           "lines alone names <TT>" + escaped(s.remedy) + "</TT>, score " +
           std::to_string(s.score) + ".</P>\n";
  }
  return doc;
}

std::string first_sentence(const char *html) {
  static const size_t kMost = 200;
  std::string out;
  bool in_tag = false;
  for (const char *p = html ? html : ""; *p; p++) {
    if (*p == '<') {
      in_tag = true;
      continue;
    }
    if (in_tag) {
      if (*p == '>') {
        in_tag = false;
        if (!out.empty() && out.back() != ' ') out += ' ';  // a tag parts words
      }
      continue;
    }
    char c = *p == '\n' || *p == '\t' || *p == '\r' ? ' ' : *p;
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
    // A sentence ends at its mark when a blank, a tag or the end follows.
    if ((c == '.' || c == '?' || c == '!') &&
        (!p[1] || p[1] == ' ' || p[1] == '\n' || p[1] == '<'))
      break;
    if (out.size() >= kMost) {
      // Cut before a character's continuation bytes and before an entity.
      while (!out.empty() && ((unsigned char)out.back() & 0xC0) == 0x80) out.pop_back();
      size_t amp = out.rfind('&');
      if (amp != std::string::npos && out.find(';', amp) == std::string::npos) out.resize(amp);
      if (!out.empty() && ((unsigned char)out.back() & 0xC0) == 0xC0) out.pop_back();
      out += "...";
      break;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}
