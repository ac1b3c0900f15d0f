#include "output_rules.h"

#include <cstddef>

#include "listing/format.h"

namespace asm2pas::testing {

namespace {

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
bool EndsWith(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

// Whether the bytes the reader takes in (those before a code 26) hold a
// line feed that does not follow a carriage return.
bool HasLoneLineFeed(std::string_view input) {
  size_t end = input.find(format::kEndOfInput);
  if (end != std::string_view::npos) input = input.substr(0, end);
  for (size_t k = 0; k < input.size(); ++k) {
    if (input[k] == '\n' && (k == 0 || input[k - 1] != '\r')) return true;
  }
  return false;
}

}  // namespace

long MaxInstructions(std::string_view input) {
  size_t end = input.find(format::kEndOfInput);
  if (end != std::string_view::npos) input = input.substr(0, end);
  long n = 1;
  for (char c : input) n += c == '\r';
  return n;
}

long CountLines(std::string_view out) {
  long n = 0;
  for (size_t k = 0; k + 1 < out.size(); ++k) {
    if (out[k] == '\r' && out[k + 1] == '\n') ++n;
  }
  return n;
}

std::string CheckRun(std::string_view input, const std::string& file_name,
                     const std::string& out, const ConversionResult& result,
                     long instructions) {
  if (result.Status != 0 && result.Status != 1) {
    return "status " + std::to_string(result.Status);
  }

  // Stdout: whole lines, each ending with CR LF; a carriage return stands
  // only in a line end.
  if (!out.empty() && !EndsWith(out, "\r\n")) return "stdout does not end with CR LF";
  for (size_t k = 0; k < out.size(); ++k) {
    if (out[k] == '\r' && (k + 1 == out.size() || out[k + 1] != '\n')) {
      return "carriage return inside a line at byte " + std::to_string(k);
    }
  }
  const long lines = CountLines(out);
  if (lines > 10000) return "more than 10000 lines: " + std::to_string(lines);

  int read_errors = 0, lf_warnings = 0, lines_dropped = 0, labels_dropped = 0, other = 0;
  for (const std::string& m : Messages(result, file_name)) {
    if (m.find('\n') != std::string::npos || m.find('\r') != std::string::npos) {
      return "diagnostic is not one line: " + m.substr(0, 200);
    }
  }
  for (const Diagnostic& d : result.Diagnostics) {
    if (IsReadingError(d.Kind)) {
      ++read_errors;
    } else if (d.Kind == DiagKind::kLoneLineFeed) {
      ++lf_warnings;
    } else if (d.Kind == DiagKind::kOutputCut) {
      ++lines_dropped;
    } else if (d.Kind == DiagKind::kLabelsDropped) {
      ++labels_dropped;
    } else if (d.Kind != DiagKind::kVarsRefused) {
      ++other;  // a write cannot fail into a string
    }
  }
  if (other > 0) return "unexpected diagnostic";

  if (read_errors > 0) {
    if (read_errors > 1) return "more than one error";
    if (result.Status != 1) return "an error with status 0";
    if (!out.empty()) return "an error while reading left output";
    if (lines_dropped + labels_dropped + lf_warnings > 0) return "reports besides the error";
    if (!IsReadingError(result.Diagnostics.back().Kind)) {
      return "the error is not the last diagnostic";
    }
    return "";
  }

  if (lf_warnings != (HasLoneLineFeed(input) ? 1 : 0)) {
    return "line-feed warning given " + std::to_string(lf_warnings) + " times";
  }
  if (!StartsWith(out, "begin\r\n")) return "stdout does not start with begin";
  if (result.Status == 0 && (lines_dropped + labels_dropped) > 0) {
    return "dropped output reported with status 0";
  }
  if (result.Status == 1 && (lines_dropped + labels_dropped) == 0) {
    return "status 1 without a reason";
  }
  if (lines_dropped > 1 || labels_dropped > 1) return "a drop reported twice";
  if (lines_dropped == 1) {
    if (lines != 10000) return "lines dropped but only " + std::to_string(lines) + " written";
  } else {
    // Nothing dropped: the last line is the closing end; of the routine.
    size_t start = out.rfind("\r\n", out.size() - 3);
    std::string_view last = std::string_view(out).substr(start == std::string::npos ? 0 : start + 2);
    size_t spaces = last.find_first_not_of(' ');
    if (last.substr(spaces) != "end;\r\n") return "stdout does not end with end;";
  }
  if (instructions >= 0 && lines_dropped == 0) {
    // Every instruction is translated at most once. Then each step gives at
    // most one deferred "end;" (the only deferred text), and the lines of
    // a claimed statement or structure header and closing never outnumber
    // the instructions it consumes; so, with begin and end;, at most
    // 2 * instructions + 2 lines.
    if (lines > 2 * instructions + 2) {
      return "too many lines for " + std::to_string(instructions) + " instructions: " +
             std::to_string(lines);
    }
    long comments = 0;
    size_t k = 0;
    while (k < out.size()) {  // Ends: k moves past one line each pass.
      size_t eol = out.find("\r\n", k);
      size_t first = out.find_first_not_of(' ', k);
      if (first < eol && out.compare(first, 2, "//") == 0) ++comments;
      k = eol + 2;
    }
    if (comments > instructions) return "more comment lines than instructions";
  }
  return "";
}

}  // namespace asm2pas::testing
