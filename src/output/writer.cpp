#include "output/writer.h"

#include <cstring>
#include <string>

namespace asm2pas {

namespace {

// The block words a line contains, found in one pass.
struct BlockWords {
  bool Finally = false;
  bool EndElseBegin = false;
  bool End = false;
  bool Try = false;
  bool Begin = false;
};

// Whether `word` stands in the line with its letter `at` at position i.
bool WordAt(std::string_view line, size_t i, std::string_view word, size_t at) {
  return i >= at && line.substr(i - at).starts_with(word);
}

// Every block word holds an "n" (end, begin) or ends in "y" (try,
// finally), letters the generated lines seldom contain: the search jumps
// from one of them to the next and looks around it, which costs far less
// than testing every byte.
BlockWords FindBlockWords(std::string_view line) {
  BlockWords w;
  // Ends: every pass moves past one "n".
  for (size_t i = line.find('n'); i != std::string_view::npos; i = line.find('n', i + 1)) {
    if (WordAt(line, i, "end", 1)) {
      w.End = true;
      if (WordAt(line, i, "end else begin", 1)) w.EndElseBegin = true;
    }
    if (WordAt(line, i, "begin", 4)) w.Begin = true;
  }
  // Ends: every pass moves past one "y".
  for (size_t i = line.find('y'); i != std::string_view::npos; i = line.find('y', i + 1)) {
    if (WordAt(line, i, "try", 2)) w.Try = true;
    if (WordAt(line, i, "finally", 6)) w.Finally = true;
  }
  return w;
}

void WriteLine(OutputState& out, bool indented, std::string_view line) {
  int spaces = indented ? 3 * out.Indent : 0;
  if (spaces < 0) spaces = 0;
  if (!out.Out->WriteLine(static_cast<size_t>(spaces), line)) out.Failed = true;
}

// The layout by shape: the level moves as the caller says.
void WriteShaped(OutputState& out, std::string_view line, Shape shape) {
  switch (shape) {
    case Shape::kLine:
      WriteLine(out, true, line);
      break;
    case Shape::kOpens:
      WriteLine(out, true, line);
      ++out.Indent;
      break;
    case Shape::kMiddle:
      --out.Indent;
      WriteLine(out, true, line);
      ++out.Indent;
      break;
    case Shape::kCloses:
      --out.Indent;
      WriteLine(out, true, line);
      break;
  }
}

}  // namespace

void Emit(OutputState& out, std::string_view line, Shape shape) {
  if (out.Failed) return;
  if (out.LineCount >= kLinesCapacity) {
    ++out.DroppedLines;  // neither written nor allowed to move the level
    return;
  }
  ++out.LineCount;
  if (out.Mode == Layout::kByShape) {
    WriteShaped(out, line, shape);
  } else {
    WriteIndented(out, line);
  }
}

void Emit(OutputState& out, std::initializer_list<std::string_view> pieces, Shape shape) {
  if (out.Failed) return;
  if (out.LineCount >= kLinesCapacity) {
    ++out.DroppedLines;
    return;
  }
  // Joined in one step: measured, then copied piece by piece into the
  // kept buffer, so a line costs no allocation and one size check.
  size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  std::string& line = out.Scratch;
  line.resize(size);
  char* at = line.data();
  for (std::string_view piece : pieces) {
    if (piece.empty()) continue;  // an empty view may hold no address
    std::memcpy(at, piece.data(), piece.size());
    at += piece.size();
  }
  Emit(out, line, shape);
}

void WriteIndented(OutputState& out, std::string_view line) {
  // The first test that holds decides; "end else begin" and "finally" are
  // tested before "end", which they contain or resemble.
  const BlockWords w = FindBlockWords(line);
  if (w.Finally || w.EndElseBegin) {
    --out.Indent;
    WriteLine(out, true, line);
    ++out.Indent;
  } else if (w.End) {
    --out.Indent;
    WriteLine(out, true, line);
  } else {
    // A colon in column 14 marks a line written flush left; it does not
    // change how the level moves.
    bool flush_left = line.size() >= 14 && line[13] == ':';
    WriteLine(out, !flush_left, line);
    if (w.Try || w.Begin) ++out.Indent;
  }
}

}  // namespace asm2pas
