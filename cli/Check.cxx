// Check.cxx - the monitoring check: finding the last hour in the log,
// weighing it without keeping its lines, and the status line.
#include "cli/Check.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "base/Levels.h"
#include "base/LogLine.h"
#include "base/LogTime.h"
#include "base/open_regular.h"
#include "cli/Select.h"
#include "logread/LogReader.h"

namespace {

const char *const kStatus[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

// Lines a little out of order (written by several processes within the
// same minutes) still count: the search starts this much earlier.
const time_t kSlack = 300;
// Bytes read at each step of the search.
const size_t kProbe = 65536;

// Weighs the lines of the span as they are read, keeping none of them.
class CheckSink : public LogSink {
public:
  CheckSink(ErrorXML &kb, const Options &o, size_t lines)
      : d_(kb, lines, Diagnosis::Keep::Counts), o_(o), match_(o.grep, o.regex) {}
  void restart() override {}  // a stream is read once, from where it stands
  void drop_unfinished() override {}
  void line(const char *text, size_t len, bool continued) override {
    // A piece of a long line goes with its line.
    if (!continued) {
      // Lines come many to a second: a time field like the last one read
      // is not read again.
      time_t t;
      bool same = known_ && len >= kMessageColumn && !memcmp(text + 2, stamp_, sizeof stamp_);
      if (!same && line_time(text, len, &t)) {
        last_ = t;
        known_ = true;
        memcpy(stamp_, text + 2, sizeof stamp_);
      }
      in_ = known_ && (!o_.has_since || last_ >= o_.since) &&
            (!o_.has_until || last_ <= o_.until) && match_(text, len);
      listed_ = in_ && LogReader::accepts(o_.level, (unsigned char)text[0]);
    }
    if (!in_) return;
    ErrorXMLItem *item = d_.weigh(text, len, listed_, continued);
    if (continued) return;
    counts_.weighed++;
    if (is_error_letter((unsigned char)text[0])) {
      counts_.errors++;
      counts_.unknown += !item || is_catch_all(item);
    }
  }
  const Diagnosis &diagnosis() const { return d_; }
  const CheckCounts &counts() const { return counts_; }

private:
  Diagnosis d_;
  const Options &o_;
  LineMatch match_;
  CheckCounts counts_;
  time_t last_ = 0;
  char stamp_[kMessageColumn - 3];  // the field of last_, brackets included
  bool known_ = false, in_ = false, listed_ = false;
};

// The start of the first line at or after `at` (which starts one when the
// byte before it is a newline) and the time of the first line from there
// that has one, within one block; false when the block shows none.
bool probe(int fd, off_t at, std::vector<char> &buf, off_t *start, time_t *t) {
  off_t from = at > 0 ? at - 1 : 0;
  ssize_t n = pread(fd, buf.data(), buf.size(), from);
  if (n <= 0) return false;
  const char *b = buf.data(), *end = b + n;
  const char *p = at > 0 ? (const char *)memchr(b, '\n', (size_t)n) : b - 1;
  while (p && p + 1 < end) {
    const char *line = p + 1;
    const char *nl = (const char *)memchr(line, '\n', (size_t)(end - line));
    size_t len = (size_t)((nl ? nl + 1 : end) - line);
    if (line_time(line, len, t)) {
      *start = from + (line - b);
      return true;
    }
    p = nl;
  }
  return false;
}

std::string local(time_t t, const char *format) {
  struct tm tm;
  char buf[64];
  if (!localtime_r(&t, &tm) || !strftime(buf, sizeof buf, format, &tm)) return "";
  return buf;
}

// The reason a log cannot be opened, worded as the reader words it.
std::string open_failure(int error) {
  if (error == EISDIR) return "is a directory";
  if (error == EINVAL) return "is not a regular file";
  return strerror(error);
}

}  // namespace

CheckVerdict check_verdict(const Diagnosis &d, int warning, int critical) {
  CheckVerdict v;
  if (!d.best()) return v;
  const Diagnosis::Standing &s = d.standings()[0];
  v.remedy = s.remedy;
  v.score = s.total;
  v.cause = s.cause;
  v.leads = d.lead_count();
  if (s.cause && s.total >= critical)
    v.status = kCheckCritical;
  else if (s.total >= warning)
    v.status = kCheckWarning;
  return v;
}

std::string check_line(const CheckVerdict &v, const CheckCounts &counts, const std::string &span,
                       int warning, int critical) {
  auto lines = [](size_t n) { return std::to_string(n) + (n == 1 ? " line " : " lines "); };
  std::string said;
  if (!v.remedy)
    said = "nothing calls for a remedy in " + lines(counts.weighed) + span;
  else if (v.status == kCheckOk)
    said = std::string(v.remedy->name) + " scores " + std::to_string(v.score) +
           ", below the warning score " + std::to_string(warning) + ", " + lines(v.leads) + span;
  else
    said = std::string(v.remedy->name) + ", " + lines(v.leads) + span;
  return std::string("VEKLOG ") + kStatus[v.status] + " - " + said +
         " | errors=" + std::to_string(counts.errors) + " unknown=" +
         std::to_string(counts.unknown) + " score=" + std::to_string(v.score) + ";" +
         std::to_string(warning) + ";" + std::to_string(critical);
}

std::string check_span(const Options &o, time_t now) {
  std::string today = local(now, "%Y-%m-%d");
  auto when = [&](time_t t) {
    return local(t, local(t, "%Y-%m-%d") == today ? "%H:%M" : "%Y-%m-%d %H:%M");
  };
  if (o.has_since && o.has_until) return "from " + when(o.since) + " to " + when(o.until);
  if (o.has_until) return "until " + when(o.until);
  return o.has_since ? "since " + when(o.since) : "in the whole log";
}

int check_unknown(std::ostream &out, const std::string &why) {
  out << "VEKLOG UNKNOWN - " << why << '\n';
  out.flush();
  return kCheckUnknown;
}

off_t time_offset(int fd, off_t size, time_t since) {
  std::vector<char> buf(kProbe);
  off_t lo = 0, hi = size;  // every line with a time before lo is older than since
  while (hi - lo > (off_t)kProbe) {
    off_t mid = lo + (hi - lo) / 2, start;
    time_t t;
    if (!probe(fd, mid, buf, &start, &t) || start >= hi)
      hi = mid;  // no time to go by (a very long line): look before it
    else if (t < since)
      lo = start;
    else
      hi = start;
  }
  return lo;
}

int run_check(const Options &o, ErrorXML &kb, std::ostream &out) {
  std::string name = o.log == "-" ? "standard input" : o.log;
  if (kb.num_items_ == 0) return check_unknown(out, "the knowledge base holds no item");
  int fd = STDIN_FILENO;
  size_t expected = 0;
  if (o.log != "-") {
    struct stat st;
    fd = open_regular(o.log.c_str(), &st);
    if (fd < 0) return check_unknown(out, "cannot read " + name + ": " + open_failure(errno));
    unsigned char magic[2] = {0, 0};
    bool gzip = pread(fd, magic, 2, 0) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
    if (!gzip && o.has_since) {
      off_t from = time_offset(fd, st.st_size, o.since - kSlack);
      if (lseek(fd, from, SEEK_SET) != from) {
        close(fd);
        return check_unknown(out, "cannot read " + name + ": " + strerror(errno));
      }
      expected = (size_t)((st.st_size - from) / 90);  // about a line's bytes
    }
  }
  LogReader reader("", 2);
  CheckSink sink(kb, o, expected);
  LogStatus st = reader.read_stream(fd, sink);
  if (fd != STDIN_FILENO) close(fd);
  if (st.kind == LogStatus::Failed)
    return check_unknown(out, (st.added ? name + " was read in part: " : "cannot read " + name + ": ") +
                                  st.reason);
  if (st.damaged) return check_unknown(out, name + " was read in part: " + st.reason);
  CheckVerdict v = check_verdict(sink.diagnosis(), o.warning, o.critical);
  out << check_line(v, sink.counts(), check_span(o, time(nullptr)), o.warning, o.critical) << '\n';
  out.flush();
  return v.status;
}
