// Pages.cxx - the notices, the start page, the keys and a job's story as
// HTML for the pane.
#include "app/Pages.h"

#include <ctype.h>
#include <errno.h>
#include <grp.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "logread/LogLocation.h"

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

// The knowledge base file read, as named when it was found.
static std::string kb_file(const PaneFacts &f) {
  return f.kb_shown.empty() ? in_cwd(f, f.kb_loaded) : f.kb_shown;
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
  if (!f.source.empty()) {
    out += escaped(f.source) + " cannot be read: ";
    append_escaped(out, f.reason.empty() ? strerror(f.error) : f.reason.c_str());
    out += ".</P>\n<P>Reading the journal needs root or membership of the group "
           "<TT>systemd-journal</TT> or <TT>adm</TT> (an administrator adds you with "
           "<TT>adduser <I>you</I> systemd-journal</TT>; log in again afterwards). This window "
           "keeps trying and shows the entries as soon as they can be read.</P>\n";
    out[3] = (char)toupper((unsigned char)out[3]);
    return out;
  }
  if (f.name_too_long) {
    out += "The log file's name is too long (the limit is 1023 characters).</P>\n"
           "<P>Name the log by a shorter path on the command line.</P>\n";
    return out;
  }
  if (f.path.empty()) {
    out += "No log file is named: the name given on the command line is empty.</P>\n"
           "<P>Name the log on the command line, for example <TT>veklog " +
           std::string(kDefaultLog) + "</TT>.</P>\n";
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
  } else if (f.damaged && !f.source.empty()) {
    doc += "<H1>Journal Read in Part</H1>\n<P>" + escaped(f.reason) + ". The list shows the "
           "entries of the rest.</P>\n";
  } else if (f.damaged && f.parts) {
    doc += "<H1>Damaged Rotated Log</H1>\n<P>" + escaped(f.reason) + ": the list shows the "
           "lines that could be read before the damage, then the rest of the history.</P>\n";
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
  if (!f.kb_ignored.empty()) {
    doc += "<H1>Knowledge Base Ignored</H1>\n<P>The knowledge base decides what every line "
           "means, so one in the working directory that someone else could have put there is "
           "not used:</P>\n<UL>\n";
    for (const std::string &why : f.kb_ignored) doc += "<LI>" + escaped(in_cwd(f, why)) + "</LI>\n";
    doc += "</UL>\n";
    if (!f.kb_loaded.empty()) doc += "<P>Using <TT>" + escaped(f.kb_shown) + "</TT>.</P>\n";
  }
  if (f.kb_loaded.empty()) {
    doc += "<H1>No Knowledge Base</H1>\n<P>No knowledge base (errors.xml) was found, so no "
           "line can be explained and Diagnose has nothing to weigh the lines against. ";
    doc += knowledge_tried(f);
    doc += "</P>\n";
  } else if (f.kb_items == 0) {
    std::string file = escaped(kb_file(f));
    doc += "<H1>Errors in the Knowledge Base</H1>\n<P><TT>" + file + "</TT> ";
    doc += f.kb_refused.empty() ? std::string("yields no item")
                                : "cannot be read: " + escaped(f.kb_refused);
    doc += ". No line can be explained and Diagnose has nothing to weigh the lines against. "
           "<TT>veklog-explain --check-kb " + file + "</TT> says why.</P>\n";
  } else if (f.kb_errors > 0) {
    std::string file = escaped(kb_file(f));
    doc += "<H1>Errors in the Knowledge Base</H1>\n<P>" + std::to_string(f.kb_errors) +
           (f.kb_errors == 1 ? " entry" : " entries") + " of <TT>" + file +
           "</TT> could not be read as written: items are lost, moved to another remedy or "
           "can never match a line, which changes what is explained and what Diagnose names. "
           "<TT>veklog-explain --check-kb " + file + "</TT> lists them with their line "
           "numbers.</P>\n";
  }
  return doc;
}

std::string kb_foot(const PaneFacts &f) {
  if (f.kb_shown.empty()) return "";
  return "<P><I>Knowledge base: <TT>" + escaped(f.kb_shown) + "</TT></I></P>\n";
}

std::string diagnose_unreadable_page(const PaneFacts &f) {
  return "<H1>Could Not Read the Log</H1>\n<P>Diagnose weighs the lines of the log, "
         "and there are none to weigh.</P>\n" + log_failure(f);
}

std::string diagnose_no_knowledge_page(const PaneFacts &f) {
  if (!f.kb_loaded.empty())
    return "<H1>No Knowledge Base</H1>\n<P>There is no knowledge base to weigh the lines "
           "against: <TT>" + escaped(kb_file(f)) + "</TT> " +
           (f.kb_refused.empty() ? std::string("yields no item")
                                 : "cannot be read: " + escaped(f.kb_refused)) + ".</P>\n";
  return "<H1>No Knowledge Base</H1>\n<P>There is no knowledge base to weigh the "
         "lines against: errors.xml was not found. " + knowledge_tried(f) + "</P>\n";
}

static const char *kLevelNames[3] = {"Errors", "Informational", "All"};

// "1 line", "12 lines".
static std::string lines(size_t n) {
  return std::to_string(n) + (n == 1 ? " line" : " lines");
}

// The keys that matter most, and where to find the others, one a line.
static const char kMainKeys[] =
    "<TT>Ctrl+D</TT> Diagnose: the most likely remedy for the listed lines<BR>\n"
    "<TT>Ctrl+O</TT> Open another log, a rotated set or a journal file<BR>\n"
    "<TT>Ctrl+F</TT> or <TT>/</TT> Find a text; <TT>F3</TT> and <TT>Shift+F3</TT> go to the "
    "next and previous line that holds it<BR>\n"
    "<TT>Ctrl+L</TT> or <TT>&amp;</TT> Filter: list only the lines that hold a text<BR>\n"
    "<TT>Ctrl+1</TT>, <TT>Ctrl+2</TT>, <TT>Ctrl+3</TT> List the Errors, Informational or All "
    "level<BR>\n"
    "<TT>J</TT> List only the clicked job's lines; <TT>J</TT> or <TT>Escape</TT> again lists "
    "what was listed before<BR>\n";

std::string start_page(const PaneFacts &f, const StartFacts &s) {
  std::string doc = notice_page(f);
  int level = s.level >= 0 && s.level <= 2 ? s.level : 0;
  if (!f.failed) {
    if (!f.source.empty()) {
      doc += "<H2>The Journal</H2>\n<P>The print server's entries in " + escaped(f.source);
      doc += f.host.empty() ? std::string(", every host's")
                            : ", of the host <TT>" + escaped(f.host) + "</TT> alone";
    } else {
      doc += "<H2>The Log</H2>\n<P><TT>" + escaped(f.path) + "</TT>";
      if (f.parts)
        doc += ", after its " + std::to_string(f.parts) + " rotated part" +
               (f.parts == 1 ? "" : "s") + " as one history";
    }
    if (f.compressed)
      doc += ", compressed: read whole; a compressed log does not grow, so it is not followed.";
    else if (s.following)
      doc += ", followed: lines the server writes are listed within a second.";
    else
      doc += ", not followed.";
    doc += "</P>\n";
    if (!f.reason_chosen.empty()) doc += "<P>" + escaped(f.reason_chosen) + "</P>\n";
    if (!f.notes.empty()) {
      doc += "<P>Left out, as they cannot be read:<BR>\n";
      for (const std::string &n : f.notes) doc += "<TT>" + escaped(n) + "</TT><BR>\n";
      doc += "</P>\n";
    }
    doc += "<P><B>" + lines(s.listed) + " listed at the " + kLevelNames[level] +
           " level" + (s.filter.empty() ? "" : ", filtered") + "</B><BR>\n";
    doc += std::to_string(s.at_level[0]) + " at the Errors level (X, A, C, E), " +
           std::to_string(s.at_level[1]) + " at the Informational level (also W, N, I), " +
           std::to_string(s.at_level[2]) + " in all<BR>\n";
    doc += (s.unknown == 1 ? "1 error line" : std::to_string(s.unknown) + " error lines") +
           " the knowledge base does not know" +
           (s.unjudged ? " (of those looked up so far: " + std::to_string(s.unjudged) + " to go)"
                       : std::string()) +
           "<BR>\n";
    doc += "The newest line: " + (s.newest.empty() ? std::string("none has a time") : escaped(s.newest)) +
           "</P>\n";
    if (!s.filter.empty())
      doc += "<P><B>A filter is on:</B> only the lines that hold &quot;<TT>" + escaped(s.filter) +
             "</TT>&quot; are listed. Empty the filter field (<TT>Ctrl+L</TT>) to list every "
             "line of the level.</P>\n";
    if (s.unknown)
      doc += "<P>Diagnose (<TT>Ctrl+D</TT>) weighs the unknown error lines too: the remedy "
             "for unknown messages says what to do with them.</P>\n";
  } else {
    if (!f.reason_chosen.empty()) doc += "<P>" + escaped(f.reason_chosen) + "</P>\n";
    doc += "<P>The window looks for the log every second.</P>\n";
  }
  doc += "<H3>Keys</H3>\n<P>Click a line, or move to it with the arrow keys, to have it "
         "explained.<BR>\n";
  doc += kMainKeys;
  doc += "<TT>F1</TT> Every key</P>\n";
  return doc;
}

std::string keys_page() {
  std::string doc = "<H1>Keys</H1>\n<P>";
  doc += kMainKeys;
  doc +=
      "<TT>Enter</TT>, <TT>F3</TT> In the find bar: the next line that holds the text, down "
      "the list (older), round past the end<BR>\n"
      "<TT>Shift+F3</TT> The line before that holds it (newer)<BR>\n"
      "<TT>Escape</TT> Closes the find bar and goes back to the list; leaves the filter field "
      "for the list; in the list, closes the window<BR>\n"
      "<TT>F5</TT> Read the log again<BR>\n"
      "<TT>Up</TT>, <TT>Down</TT> The line above or below, alone, explained<BR>\n"
      "<TT>Page Up</TT>, <TT>Page Down</TT> The same, a page at a time<BR>\n"
      "<TT>Home</TT>, <TT>End</TT> The newest (top) or oldest (bottom) line<BR>\n"
      "<TT>Shift</TT> with these: add the lines passed over to the selection<BR>\n"
      "<TT>Ctrl+C</TT> Copy the text selected in this pane when it has the focus (click it "
      "first), else the selected lines, oldest first<BR>\n"
      "<TT>Alt+F</TT>, <TT>Alt+A</TT>, <TT>Alt+V</TT> The File, Action and View menus<BR>\n"
      "<TT>Ctrl+Q</TT> Quit at once (exit status 1)<BR>\n"
      "<TT>F1</TT> This page</P>\n";
  return doc;
}

// Lines quoted in a story are cut at this many characters.
static const size_t kQuotedChars = 240;

std::string story_section(const Story &s) {
  std::string doc = "<H2>Job " + std::to_string(s.job) + ", all its lines</H2>\n<P>";
  size_t n = s.lines.size() + s.left_out;
  doc += "The job's " + lines(n) + " at every level, oldest first";
  if (s.left_out) doc += " (the " + lines(s.left_out) + " before these left out)";
  doc += ", with the time of day each was written. <TT>J</TT> lists only them.</P>\n";
  for (const StoryLine &l : s.lines) {
    std::string text = l.text.substr(0, l.text.find('\n'));
    // The level letter, the time of day and the message after the job's
    // number: the day and the job are the same all through.
    if (text.size() > 31 && text[2] == '[' && text[29] == ']' && text[14] == ':') {
      std::string message = text.substr(31);
      if (!message.compare(0, 5, "[Job ") && message.find("] ") != std::string::npos)
        message.erase(0, message.find("] ") + 2);
      text = text.substr(0, 2) + text.substr(15, 8) + " " + message;
    }
    if (text.size() > kQuotedChars) text = text.substr(0, kQuotedChars) + "...";
    if (text.size() > kQuotedChars) text = text.substr(0, kQuotedChars) + "...";
    doc += l.clicked ? "<P><B><TT>" : "<P><TT>";
    append_escaped(doc, text.c_str());
    doc += l.clicked ? "</TT></B> (the line explained above)<BR>\n" : "</TT><BR>\n";
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
