#include "output/writer.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "driver/run_error.h"

namespace asm2pas {

namespace {

bool Contains(std::string_view line, std::string_view word) {
  return line.find(word) != std::string_view::npos;
}

void WriteLine(OutputState& out, bool indented, std::string_view line) {
  std::string& bytes = out.Scratch;  // kept, so a line costs no allocation
  bytes.clear();
  int spaces = indented ? 3 * out.Indent : 0;
  if (spaces < 0) spaces = 0;
  bytes.append(static_cast<size_t>(spaces), ' ');
  bytes.append(line);
  bytes.append("\r\n");
  if (!out.Out->Write(bytes)) {
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

void WriteIndented(OutputState& out, std::string_view line) {
  // The first test that holds decides; "end else begin" and "finally" are
  // tested before "end", which they contain or resemble.
  if (Contains(line, "finally") || Contains(line, "end else begin")) {
    --out.Indent;
    WriteLine(out, true, line);
    ++out.Indent;
  } else if (Contains(line, "end")) {
    --out.Indent;
    WriteLine(out, true, line);
  } else {
    // A colon in column 14 marks a line written flush left; it does not
    // change how the level moves.
    bool flush_left = line.size() >= 14 && line[13] == ':';
    WriteLine(out, !flush_left, line);
    if (Contains(line, "try") || Contains(line, "begin")) ++out.Indent;
  }
}

}  // namespace asm2pas
