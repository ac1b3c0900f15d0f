// The one way a generated line reaches the output: Emit counts it against
// the 10000-line limit and WriteIndented lays it out, moving the indentation
// level by the block words the line contains.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "output/sink.h"

namespace asm2pas {

constexpr int kLinesCapacity = 10000;

struct OutputState {
  Sink* Out = nullptr;
  // Number of lines written. The lines themselves are not kept: nothing
  // reads them back, and a routine with long operand texts would hold them
  // all in memory for nothing.
  int LineCount = 0;
  int Indent = 0;           // three spaces a level; may go negative
  int64_t DroppedLines = 0; // lines past the limit, reported at the end
  std::string Scratch;       // the line being laid out
};

void Emit(OutputState& out, std::string_view line);
void WriteIndented(OutputState& out, std::string_view line);

}  // namespace asm2pas
