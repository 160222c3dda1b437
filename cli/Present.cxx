// Present.cxx - formatting lines, explanations and diagnoses for the
// terminal (wrapped, optionally coloured) and as JSON Lines (nlohmann-json).
#include "cli/Present.h"

#include <string.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "base/Levels.h"
#include "cli/HtmlText.h"
#include "base/LogTime.h"
#include "knowledge/Diagnosis.h"

// Keys in the order written, so that a person reading the output finds the
// line first.
using json = nlohmann::ordered_json;

namespace {

const int kIndent = 4;  // explanations stand under their line, indented

// The colour of a level, as the window's icons have it: red errors, blue
// informational lines, yellow everything else.
const char *level_sgr(char level) {
  switch (level_group((unsigned char)level)) {
    case LevelGroup::Error: return "1;31";
    case LevelGroup::Warning: case LevelGroup::Info: return "34";
    default: return "33";
  }
}

// JSON text; bytes that are not UTF-8 become U+FFFD rather than failing.
std::string dump(const json &j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

}  // namespace

std::string line_body(const std::string &line) {
  size_t n = line.size();
  if (n && line[n - 1] == '\n') n--;
  if (n && line[n - 1] == '\r') n--;
  return line.substr(0, n);
}

Presenter::Presenter(ErrorXML &kb, std::ostream &out, const PresentStyle &style)
    : kb_(kb), out_(out), style_(style) {}

std::string Presenter::paint(const std::string &text, const char *sgr) const {
  if (!style_.color) return text;
  return std::string("\033[") + sgr + "m" + text + "\033[0m";
}

std::string Presenter::log_text(const std::string &line) const {
  std::string body = line_body(line), safe;
  for (unsigned char c : body) safe += (c < 0x20 && c != '\t') || c == 0x7F ? '?' : (char)c;
  // The C1 controls, which some terminals obey even in UTF-8.
  for (size_t i = 0; i + 1 < safe.size(); i++)
    if ((unsigned char)safe[i] == 0xC2 && (unsigned char)safe[i + 1] >= 0x80 &&
        (unsigned char)safe[i + 1] <= 0x9F)
      safe.replace(i, 2, "?");
  return paint(safe, level_sgr(body.empty() ? 0 : body[0]));
}

// Explanations are indented under their line in text, unwrapped in JSON.
const std::string &Presenter::render(const char *html) {
  auto known = rendered_.find(html);
  if (known != rendered_.end()) return known->second;
  HtmlTextStyle s;
  s.width = style_.json ? 0 : style_.width;
  s.indent = style_.json ? 0 : kIndent;
  s.utf8 = style_.utf8;
  std::string text = html_to_text(html ? html : "", s);
  if (style_.json && !text.empty() && text.back() == '\n') text.pop_back();
  return rendered_[html] = text;
}

const std::string &Presenter::meaning(const char *html) {
  auto known = meanings_.find(html);
  if (known != meanings_.end()) return known->second;
  HtmlTextStyle s;
  s.width = 0;
  s.utf8 = style_.utf8;
  return meanings_[html] = first_sentence(html_to_text(html ? html : "", s));
}

void Presenter::separate() {
  if (!first_) out_ << '\n';
  first_ = false;
}

void Presenter::warning(const std::string &file, const std::string &damage, long long offset) {
  if (!style_.json) return;
  json j = {{"type", "warning"},
            {"file", file},
            {"warning", "read in part"},
            {"damage", damage},
            {"offset", offset >= 0 ? json(offset) : json()}};
  out_ << dump(j) << '\n';
}

void Presenter::line(const std::string &text) {
  ErrorXMLItem *item = kb_.find_item(text.c_str());
  ErrorXMLRemedy *remedy = item ? item->remedy : nullptr;
  if (style_.json) {
    std::string body = line_body(text);
    time_t t;
    json j = {{"type", "line"},
              {"level", body.empty() ? "" : body.substr(0, 1)},
              {"time", line_time(text.data(), text.size(), &t) ? json(iso_time(t)) : json()},
              {"line", body},
              {"known", item != nullptr && !is_catch_all(item)},
              {"severity", item ? json(item->severity) : json()},
              {"remedy", remedy ? json(remedy->name) : json()},
              {"explanation", item ? json(render(item->text)) : json()},
              {"meaning", item ? json(meaning(item->text)) : json()},
              {"kb", style_.kb}};
    if (style_.remedy) j["remedy_text"] = remedy ? json(render(remedy->text)) : json();
    out_ << dump(j) << '\n';
    return;
  }
  if (style_.brief) {
    const char *dash = style_.utf8 ? " \xE2\x80\x94 " : " -- ";  // an em dash
    std::string said = item ? meaning(item->text) : "(not in the knowledge base)";
    out_ << log_text(text) << dash << paint(said, "2") << '\n';
    return;
  }
  separate();
  out_ << log_text(text) << '\n';
  if (!item) {
    out_ << std::string(kIndent, ' ') << paint("(not in the knowledge base)", "2") << '\n';
    return;
  }
  out_ << render(item->text);
  if (style_.remedy && remedy) {
    out_ << '\n' << std::string(kIndent, ' ') << paint("Remedy", "1") << " (" << remedy->name
         << "):\n"
         << render(remedy->text);
  }
}

const ErrorXMLRemedy *Presenter::diagnose(const std::vector<std::string> &lines,
                                          const std::vector<bool> &listed) {
  Diagnosis d(kb_, lines.size());
  for (size_t i = 0; i < lines.size(); i++) d.weigh(lines[i].c_str(), lines[i].size(), listed[i]);
  std::vector<Quote> quoted;
  for (size_t k : d.leads()) quoted.push_back({lines[k], d.listed(k)});
  return diagnosis(d, quoted);
}

const ErrorXMLRemedy *Presenter::diagnosis(const Diagnosis &d, const std::vector<Quote> &quoted) {
  ErrorXMLRemedy *best = d.best();
  const std::vector<Diagnosis::Standing> &ranking = d.standings();
  std::vector<std::string_view> shown, hidden;
  for (const Quote &q : quoted) (q.listed ? shown : hidden).push_back(q.text);
  // Newest first, as the window lists them, unless asked otherwise.
  if (!style_.oldest_first) {
    std::reverse(shown.begin(), shown.end());
    std::reverse(hidden.begin(), hidden.end());
  }
  size_t next = std::min<size_t>(ranking.size(), 3);

  if (style_.json) {
    auto remedy = [this](const Diagnosis::Standing &s) {
      return json{{"name", s.remedy->name}, {"score", s.total}, {"text", render(s.remedy->text)},
                  {"cause", s.cause}};
    };
    json j = {{"type", "diagnosis"},
              {"weighed", d.weighed()},
              {"explained", d.explained()},
              {"unknown", d.unknown()},
              {"remedy", best ? remedy(ranking[0]) : json()},
              {"next", json::array()},
              {"lines", json::array()},
              {"unlisted", json::array()},
              {"deeper", d.deeper()},
              {"kb", style_.kb}};
    for (size_t i = 1; i < next; i++) j["next"].push_back(remedy(ranking[i]));
    for (std::string_view l : shown) j["lines"].push_back(line_body(std::string(l)));
    for (std::string_view l : hidden) {
      std::string body = line_body(std::string(l));
      time_t t;
      j["unlisted"].push_back(
          {{"level", body.empty() ? "" : body.substr(0, 1)},
           {"time", line_time(l.data(), l.size(), &t) ? json(iso_time(t)) : json()},
           {"line", body},
           {"in_view", false}});
    }
    out_ << dump(j) << '\n';
    return best;
  }

  std::string tally = std::to_string(d.weighed()) + (d.weighed() == 1 ? " line" : " lines") +
                      " weighed, " + std::to_string(d.explained()) + " explained, " +
                      std::to_string(d.unknown()) + " unknown";
  if (!best) {
    out_ << paint("No errors were found that require a remedy.", "1") << " (" << tally << ")\n";
    source();
    return nullptr;
  }
  out_ << paint("Remedy:", "1") << ' ' << paint(best->name, "1") << ", score " << ranking[0].total
       << " (" << tally << ", " << d.lead_count() << " pointing to it"
       << (d.deeper() ? "; the listed lines name no cause" : "") << ")\n";
  if (!style_.brief) out_ << render(best->text);
  for (size_t i = 1; i < next; i++) {
    if (!style_.brief) out_ << '\n';
    out_ << paint("Next:", "1") << ' ' << ranking[i].remedy->name << ", score "
         << ranking[i].total << '\n';
    if (!style_.brief) out_ << render(ranking[i].remedy->text);
  }
  if (!shown.empty()) {
    out_ << '\n' << paint("Lines that point to " + std::string(best->name) + ":", "1") << '\n';
    for (std::string_view l : shown) out_ << log_text(std::string(l)) << '\n';
  }
  if (!hidden.empty()) {
    out_ << '\n' << paint(style_.unlisted_heading, "1") << '\n';
    for (std::string_view l : hidden) out_ << log_text(std::string(l)) << '\n';
  }
  source();
  return best;
}

void Presenter::source() {
  if (style_.json || style_.kb.empty()) return;
  if (!style_.brief) out_ << '\n';
  out_ << paint("Knowledge base: " + style_.kb, "2") << '\n';
}

HostRow Presenter::host_row(const std::string &host, const std::vector<std::string> &lines,
                            const std::vector<bool> &listed) {
  Diagnosis d(kb_, lines.size());
  HostRow row;
  row.host = host;
  for (size_t i = 0; i < lines.size(); i++) {
    const std::string &l = lines[i];
    d.weigh(l.c_str(), l.size(), listed[i]);
    if (l.empty() || !is_error_letter((unsigned char)l[0])) continue;
    row.errors++;
    time_t t;
    if (line_time(l.data(), l.size(), &t) && t > row.last_error) row.last_error = t;
  }
  if (d.best()) {
    const Diagnosis::Standing &top = d.standings()[0];
    row.remedy = top.remedy->name;
    row.rank = top.cause ? 2 : 1;
    row.score = top.total;
  }
  return row;
}

void Presenter::hosts(const std::vector<HostRow> &rows) {
  // A host's name comes from the sender: no control character reaches the terminal.
  auto shown = [](const std::string &host) {
    std::string safe = host.empty() ? "(none)" : host;
    for (char &c : safe)
      if ((unsigned char)c < 0x20 || c == 0x7F) c = '?';
    return safe;
  };
  if (style_.json) {
    for (const HostRow &r : rows)
      out_ << dump(json{{"type", "host"},
                        {"host", r.host},
                        {"remedy", r.remedy.empty() ? json() : json(r.remedy)},
                        {"score", r.score},
                        {"cause", r.rank == 2},
                        {"errors", r.errors},
                        {"last_error", r.last_error ? json(iso_time(r.last_error)) : json()},
                        {"kb", style_.kb}})
           << '\n';
    return;
  }
  if (rows.empty()) {
    out_ << paint("No host wrote a line.", "1") << '\n';
    return;
  }
  size_t hw = 4, rw = 6;
  for (const HostRow &r : rows) {
    hw = std::max(hw, shown(r.host).size());
    rw = std::max(rw, r.remedy.empty() ? 1 : r.remedy.size());
  }
  auto pad = [](std::string s, size_t w) { return s + std::string(w > s.size() ? w - s.size() : 0, ' '); };
  out_ << paint(pad("HOST", hw) + "  " + pad("REMEDY", rw) + "  SCORE  ERRORS  LAST ERROR", "1")
       << '\n';
  for (const HostRow &r : rows) {
    char nums[64];
    snprintf(nums, sizeof nums, "%5ld  %6zu", r.score, r.errors);
    std::string remedy = pad(r.remedy.empty() ? "-" : r.remedy, rw);
    out_ << pad(shown(r.host), hw) << "  " << (r.rank ? paint(remedy, r.rank == 2 ? "1;31" : "33") : remedy)
         << "  " << nums << "  " << (r.last_error ? iso_time(r.last_error) : "-") << '\n';
  }
  source();
}
