#include "output_rules.h"

#include <cstddef>

namespace asm2pas::rules {

namespace {

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
bool EndsWith(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

// Cuts a leading run of decimal digits; false when there is none.
bool EatNumber(std::string_view& s) {
  size_t n = 0;
  while (n < s.size() && s[n] >= '0' && s[n] <= '9') ++n;
  if (n == 0) return false;
  s.remove_prefix(n);
  return true;
}

enum class Kind { Unknown, ReadError, LineFeedWarning, VarsWarning, LinesDropped, LabelsDropped };

Kind Classify(std::string_view m, const std::string& file) {
  const std::string head = "asm2pas: " + file + ": ";
  if (StartsWith(m, head)) {
    std::string_view rest = m.substr(head.size());
    if (StartsWith(rest, "warning: more than 2000 variables; ")) {
      rest.remove_prefix(35);
      if (EatNumber(rest) && rest == " further operands keep their own text")
        return Kind::VarsWarning;
      return Kind::Unknown;
    }
    if (StartsWith(rest, "output cut at 10000 lines; ")) {
      rest.remove_prefix(27);
      if (EatNumber(rest) && rest == " further lines dropped") return Kind::LinesDropped;
      return Kind::Unknown;
    }
    if (StartsWith(rest, "more than 1000 deferred texts; ")) {
      rest.remove_prefix(31);
      if (EatNumber(rest) && rest == " further \"end;\" dropped") return Kind::LabelsDropped;
      return Kind::Unknown;
    }
    return Kind::Unknown;
  }
  const std::string line_head = "asm2pas: " + file + ":";
  if (!StartsWith(m, line_head)) return Kind::Unknown;
  std::string_view rest = m.substr(line_head.size());
  if (!EatNumber(rest) || !StartsWith(rest, ": ")) return Kind::Unknown;
  rest.remove_prefix(2);
  if (rest == "warning: line feed without carriage return does not end a line;"
              " lines must end with CR LF")
    return Kind::LineFeedWarning;
  if (rest == "more than 10000 instruction lines") return Kind::ReadError;
  if (StartsWith(rest, "address field \"") && EndsWith(rest, "\" is not hexadecimal"))
    return Kind::ReadError;
  if (StartsWith(rest, "jump \"") && EndsWith(rest, "\", not a bare hexadecimal address"))
    return Kind::ReadError;
  return Kind::Unknown;
}

// Whether the bytes the reader takes in (those before a code 26) hold a
// line feed that does not follow a carriage return.
bool HasLoneLineFeed(std::string_view input) {
  size_t end = input.find('\x1a');
  if (end != std::string_view::npos) input = input.substr(0, end);
  for (size_t k = 0; k < input.size(); ++k) {
    if (input[k] == '\n' && (k == 0 || input[k - 1] != '\r')) return true;
  }
  return false;
}

}  // namespace

long MaxInstructions(std::string_view input) {
  size_t end = input.find('\x1a');
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

  int read_errors = 0, unknown = 0, lf_warnings = 0, lines_dropped = 0, labels_dropped = 0;
  for (const std::string& m : result.Messages) {
    if (m.find('\n') != std::string::npos || m.find('\r') != std::string::npos) {
      return "diagnostic is not one line: " + m.substr(0, 200);
    }
    switch (Classify(m, file_name)) {
      case Kind::ReadError: ++read_errors; break;
      case Kind::LineFeedWarning: ++lf_warnings; break;
      case Kind::VarsWarning: break;
      case Kind::LinesDropped: ++lines_dropped; break;
      case Kind::LabelsDropped: ++labels_dropped; break;
      case Kind::Unknown: ++unknown; break;
    }
    if (unknown > 0) return "unknown diagnostic: " + m.substr(0, 200);
  }

  if (read_errors > 0) {
    if (read_errors > 1) return "more than one error";
    if (result.Status != 1) return "an error with status 0";
    if (!out.empty()) return "an error while reading left output";
    if (lines_dropped + labels_dropped + lf_warnings > 0) return "reports besides the error";
    if (Classify(result.Messages.back(), file_name) != Kind::ReadError) {
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

}  // namespace asm2pas::rules
