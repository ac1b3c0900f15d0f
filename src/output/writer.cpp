#include "output/writer.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "driver/run_error.h"

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

// The letters a block word starts with, as a table: one test a byte.
constexpr auto kWordStart = [] {
  std::array<bool, 256> t{};
  for (unsigned char c : {'e', 'f', 't', 'b'}) t[c] = true;
  return t;
}();

BlockWords FindBlockWords(std::string_view line) {
  BlockWords w;
  // Ends: one pass over the line.
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (!kWordStart[static_cast<unsigned char>(c)]) continue;  // starts no word
    std::string_view rest = line.substr(i);
    switch (c) {
      case 'e':
        if (rest.starts_with("end")) {
          w.End = true;
          if (rest.starts_with("end else begin")) w.EndElseBegin = true;
        }
        break;
      case 'f':
        if (rest.starts_with("finally")) w.Finally = true;
        break;
      case 't':
        if (rest.starts_with("try")) w.Try = true;
        break;
      case 'b':
        if (rest.starts_with("begin")) w.Begin = true;
        break;
      default:
        break;
    }
  }
  return w;
}

void WriteLine(OutputState& out, bool indented, std::string_view line) {
  int spaces = indented ? 3 * out.Indent : 0;
  if (spaces < 0) spaces = 0;
  if (!out.Out->WriteLine(static_cast<size_t>(spaces), line)) {
    throw RunError{0, "cannot write to standard output"};
  }
}

}  // namespace

void Emit(OutputState& out, std::string_view line) {
  if (out.LineCount >= kLinesCapacity) {
    ++out.DroppedLines;  // neither written nor allowed to move the level
    return;
  }
  ++out.LineCount;
  WriteIndented(out, line);
}

void Emit(OutputState& out, std::initializer_list<std::string_view> pieces) {
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
  Emit(out, line);
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
