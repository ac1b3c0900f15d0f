#include "html.h"

#include <array>

#include "text.h"

namespace asm2pas::objdump {
namespace {

const char kStyle[] =
    "<style>body{font-family:sans-serif;margin:1em}"
    "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 6px;text-align:left}"
    "td.n{text-align:right}.failed{background:#fdd}"
    ".side{display:flex;gap:1em;align-items:flex-start}.side>div{flex:1;min-width:0}"
    "pre{background:#f6f6f6;padding:.5em;overflow-x:auto}</style>\n";

std::string Head(const std::string& title) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title + "</title>\n" + kStyle +
         "</head><body>\n";
}

// A link target for a file name, appended: the name's bytes
// percent-encoded, so that no character of it means anything to the browser.
void AppendHref(std::string& out, const std::string& file) {
  static const char kDigits[] = "0123456789ABCDEF";
  // Ends: one pass per byte of the name.
  for (unsigned char c : file) {
    if (IsWordChar(static_cast<char>(c)) || c == '.' || c == '-') {
      out += static_cast<char>(c);
    } else {
      out.append(1, '%').append(1, kDigits[c >> 4]).append(1, kDigits[c & 15]);
    }
  }
}

}  // namespace

void AppendEscapedHtml(std::string& out, std::string_view text) {
  // The characters that need an entity (or, CR, are dropped), by code.
  static constexpr auto kSpecial = [] {
    std::array<bool, 256> t{};
    for (unsigned char c : std::string_view("&<>\"'\r")) t[c] = true;
    return t;
  }();
  const char* p = text.data();
  const char* end = p + text.size();
  // Ends: every pass copies a run of plain characters and takes one special
  // character, or reaches the end.
  while (p < end) {
    const char* run = p;
    while (p < end && !kSpecial[static_cast<unsigned char>(*p)]) ++p;  // Ends: at `end`
    out.append(run, static_cast<size_t>(p - run));
    if (p == end) break;
    switch (*p++) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: break;  // CR: CR LF lines read as lines without it
    }
  }
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  AppendEscapedHtml(out, text);
  return out;
}

std::string SharePercent(const RoutineSummary& r) {
  if (r.OutputLines == 0) return "-";
  return std::to_string((r.StatementLines * 100 + r.OutputLines / 2) / r.OutputLines) + "%";
}

void OpenRoutinesPage(std::string& out, const std::string& title) {
  out += Head(EscapeHtml(title));
  out += "<p><a href=\"index.html\">index</a></p>\n";
}

void AppendRoutineSection(std::string& out, const RoutineSummary& r, std::string_view listing,
                          std::string_view source) {
  // The file name is letters, digits and "_.@+-" only: an id as it is.
  out += "<section id=\"" + r.File + "\"><h1>" + EscapeHtml(r.Name) + "</h1>\n<p>" + Hex8(r.First) + " to " +
         Hex8(r.Last) + ", " + std::to_string(r.Instructions) + " instructions, " + SharePercent(r) +
         " of the output lines are statements or structure" + (r.Failed ? "; <b>failed</b>" : "") + "</p>\n";
  if (!r.Messages.empty()) {
    out += "<ul class=\"messages\">\n";
    for (const std::string& m : r.Messages) out += "<li>" + EscapeHtml(m) + "</li>\n";
    out += "</ul>\n";
  }
  out += "<div class=\"side\"><div><h2>Listing</h2><pre class=\"listing\">";
  AppendEscapedHtml(out, listing);
  out += "</pre></div>\n<div><h2>Pascal-like source</h2><pre class=\"source\">";
  AppendEscapedHtml(out, source);
  out += "</pre></div></div></section>\n";
}

void CloseRoutinesPage(std::string& out) { out += "</body></html>\n"; }

std::string IndexPage(const std::string& title, const std::vector<RoutineSummary>& routines) {
  std::string out = Head(EscapeHtml(title));
  out += "<h1>" + EscapeHtml(title) + "</h1>\n<table id=\"routines\">\n<tr><th>address</th><th>routine</th>"
         "<th>instructions</th><th>statements</th><th>warnings</th><th>errors</th></tr>\n";
  // Ends: one pass per routine.
  for (const RoutineSummary& r : routines) {
    out += r.Failed ? "<tr class=\"failed\">" : "<tr>";
    out.append("<td>").append(Hex8(r.First)).append("</td><td><a href=\"");
    AppendHref(out, r.Page);
    out += '#';
    AppendHref(out, r.File);
    out += "\">";
    AppendEscapedHtml(out, r.Name);
    out.append("</a></td><td class=\"n\">").append(std::to_string(r.Instructions));
    out.append("</td><td class=\"n\">").append(SharePercent(r));
    out.append("</td><td class=\"n\">").append(std::to_string(r.Warnings)).append("</td><td>");
    if (r.Failed) AppendEscapedHtml(out, r.Messages.empty() ? "failed" : r.Messages.back());
    out += "</td></tr>\n";
  }
  return out + "</table>\n</body></html>\n";
}

}  // namespace asm2pas::objdump
