#include "base/diagnostic.h"

#include "base/limits.h"

namespace asm2pas {

namespace {

constexpr size_t kMaxShown = 40;

// Listing text quoted in a diagnostic. A diagnostic is one line, so control
// characters (a lone line feed stays inside a line of the listing) are
// shown as \xNN, and a long text is cut.
std::string Quote(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string quoted;
  // Ends: at most kMaxShown characters.
  for (size_t k = 0; k < text.size() && k < kMaxShown; ++k) {
    unsigned char c = static_cast<unsigned char>(text[k]);
    if (c < 32 || c == 127) {
      quoted += "\\x";
      quoted += kHex[c >> 4];
      quoted += kHex[c & 15];
    } else {
      quoted += static_cast<char>(c);
    }
  }
  if (text.size() > kMaxShown) quoted += "...";
  return quoted;
}

std::string Message(const Diagnostic& d) {
  switch (d.Kind) {
    case DiagKind::kCannotOpen: return "cannot open: " + d.Text;
    case DiagKind::kCannotRead: return "cannot read: " + d.Text;
    case DiagKind::kTooManyInstructions:
      return "more than " + std::to_string(kCodeCapacity) + " instruction lines";
    case DiagKind::kBadAddress:
      return "address field \"" + Quote(d.Text) + "\" is not hexadecimal";
    case DiagKind::kBadJump:
      return "jump \"" + Quote(d.Text) + "\" has operand \"" + Quote(d.Text2) +
             "\", not a bare hexadecimal address";
    case DiagKind::kCannotWrite: return "cannot write to standard output: " + d.Text;
    case DiagKind::kOutputCut:
      return "output cut at " + std::to_string(kLinesCapacity) + " lines; " +
             std::to_string(d.Count) + " further lines dropped";
    case DiagKind::kLabelsDropped:
      return "more than " + std::to_string(kLabelsCapacity) + " deferred texts; " +
             std::to_string(d.Count) + " further \"end;\" dropped";
    case DiagKind::kLoneLineFeed:
      return "warning: line feed without carriage return does not end a line;"
             " lines must end with CR LF";
    case DiagKind::kVarsRefused:
      return "warning: more than " + std::to_string(kVarsCapacity) + " variables; " +
             std::to_string(d.Count) + " further operands keep their own text";
  }
  return "unknown diagnostic";
}

}  // namespace

bool IsWarning(DiagKind kind) {
  return kind == DiagKind::kLoneLineFeed || kind == DiagKind::kVarsRefused;
}

bool IsReadingError(DiagKind kind) {
  return kind == DiagKind::kCannotOpen || kind == DiagKind::kCannotRead ||
         kind == DiagKind::kTooManyInstructions || kind == DiagKind::kBadAddress ||
         kind == DiagKind::kBadJump;
}

std::string QuotedPart(std::string_view text) {
  return std::string(text.substr(0, kMaxShown + 1));  // one more tells it was cut
}

std::string FormatDiagnostic(std::string_view tool, std::string_view file, const Diagnostic& d) {
  std::string line(tool);
  if (!file.empty()) {
    line.append(": ").append(file);
    if (d.Line > 0) line.append(":").append(std::to_string(d.Line));
  }
  return line.append(": ").append(Message(d));
}

}  // namespace asm2pas
