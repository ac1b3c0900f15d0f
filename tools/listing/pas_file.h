// What goes into NAME.pas besides asm2pas's own output: the comment block
// that opens it (the routine, its address range, the legend of generated
// names), with every text from the input made safe inside a { } comment;
// and the share of output lines that are statements or structure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace asm2pas::objdump {

// "{" , "}" and "#" (and control characters) as "#123", "#125", "#35": no
// text can end the comment or open a nested one.
std::string CommentSafe(std::string_view text);

struct PasHeading {
  std::string Routine;
  uint64_t First = 0;  // address of the first instruction
  uint64_t Last = 0;   // ... and of the last
  size_t Instructions = 0;
  std::vector<std::pair<std::string, std::string>> Legend;  // generated name, operand
};

// The comment block, CR LF line ends.
std::string PasHeader(const PasHeading& heading);

struct OutputShare {
  size_t Lines = 0;       // between the outer begin and end;
  size_t Statements = 0;  // of them, the lines that are no // comment
};

// Counts asm2pas's output (CR LF lines).
OutputShare CountOutput(std::string_view output);

}  // namespace asm2pas::objdump
