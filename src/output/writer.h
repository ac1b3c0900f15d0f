// The one way a generated line reaches the output: Emit counts it against
// the 10000-line limit and lays it out, moving the indentation level by the
// block words the line contains, or, in the layout by structure, by what
// the caller says the line does to the block structure.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/limits.h"
#include "output/sink.h"

namespace asm2pas {

// How the indentation level moves: by the block words of each line (the
// default reading's rule, whatever the caller says), or by the shape the
// caller gives each line.
enum class Layout : uint8_t { kByWords, kByShape };

// What a line does to the block structure.
enum class Shape : uint8_t {
  kLine,    // stays at the level
  kOpens,   // a header: the lines after it stand one level deeper
  kMiddle,  // "end else begin", "finally": one level out, then back
  kCloses,  // a closing line: it and the lines after it one level out
};

struct OutputState {
  Sink* Out = nullptr;
  Layout Mode = Layout::kByWords;
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

void Emit(OutputState& out, std::string_view line, Shape shape = Shape::kLine);
// Emits the pieces, joined, as one line: the statements are built this way
// from operand texts without a string of their own.
void Emit(OutputState& out, std::initializer_list<std::string_view> pieces,
          Shape shape = Shape::kLine);
void WriteIndented(OutputState& out, std::string_view line);

}  // namespace asm2pas
