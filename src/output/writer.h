// The one way a generated line reaches the output: Emit counts it against
// the 10000-line limit and WriteIndented lays it out, moving the indentation
// level by the block words the line contains.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/limits.h"
#include "output/sink.h"

namespace asm2pas {

struct OutputState {
  Sink* Out = nullptr;
  // Number of lines written. The lines themselves are not kept: nothing
  // reads them back, and a routine with long operand texts would hold them
  // all in memory for nothing.
  int LineCount = 0;
  int Indent = 0;           // three spaces a level; may go negative
  int64_t DroppedLines = 0; // lines past the limit, reported at the end
  // A write failed: nothing further is written, and the translation stops
  // at its next step.
  bool Failed = false;
  std::string Scratch;       // a line being joined from pieces
};

void Emit(OutputState& out, std::string_view line);
// Emits the pieces, joined, as one line: the statements are built this way
// from operand texts without a string of their own.
void Emit(OutputState& out, std::initializer_list<std::string_view> pieces);
void WriteIndented(OutputState& out, std::string_view line);

}  // namespace asm2pas
