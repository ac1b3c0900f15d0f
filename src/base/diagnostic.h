// What a run reports besides its output: one record per diagnostic, with a
// kind, made where the fault is found and formatted in one place, as the
// single stderr line `TOOL: FILE[:LINE]: message`.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace asm2pas {

enum class DiagKind : uint8_t {
  // The listing cannot be read: the run ends before any output.
  kCannotOpen,
  kCannotRead,
  kTooManyInstructions,
  kBadAddress,
  kBadJump,
  // The output: a failed write ends the run; output cut by the limits
  // fails it, though what was written stands.
  kCannotWrite,
  kOutputCut,
  kLabelsDropped,
  // Warnings: the run goes on and its status stays 0.
  kLoneLineFeed,
  kVarsRefused,
};

struct Diagnostic {
  DiagKind Kind = DiagKind::kCannotRead;
  int Line = 0;        // the listing line it concerns, 0 for none
  int64_t Count = 0;   // how many lines, texts or operands were dropped
  std::string Text;    // listing text quoted, or the system's cause
  std::string Text2;   // a second quoted text (a jump's operand)
};

bool IsWarning(DiagKind kind);
bool IsReadingError(DiagKind kind);

// Keeps enough of a listing text for a diagnostic to quote it.
std::string QuotedPart(std::string_view text);

// The diagnostic's one line, without a line end; with no file (a run that
// concerns none), `TOOL: message`.
std::string FormatDiagnostic(std::string_view tool, std::string_view file, const Diagnostic& d);

}  // namespace asm2pas
