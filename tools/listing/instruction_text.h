// Takes the text of one objdump instruction apart: prefix words, mnemonic
// and operand list, the operands split at their commas, a direct jump or
// call target with the symbol objdump shows. Says which mnemonics jump.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text.h"

namespace asm2pas::objdump {

struct SplitText {
  std::vector<std::string_view> Prefixes;  // kept ones only
  std::string Mnemonic;                    // lower case
  std::string_view Operands;               // as objdump wrote them, trimmed
  // Prefixes and Operands are views into the text split.
};

// "rep stos DWORD PTR es:[edi],eax" -> prefixes, mnemonic, operands. Hint
// prefixes that change nothing the instruction does are dropped: bnd and
// notrack everywhere, rep before ret, cs and ds before a conditional jump,
// and the ",pt"/",pn" hints after one.
SplitText Split(std::string_view text);

// A word objdump writes before a mnemonic: rep, lock, bnd, cs, data16, ...
bool IsPrefixWord(std::string_view word);

// The mnemonic and the operand text of an instruction, prefixes skipped,
// without copying: "rep stos DWORD PTR es:[edi],eax" -> "stos" and
// "DWORD PTR es:[edi],eax".
std::pair<std::string_view, std::string_view> MnemonicAndOperands(std::string_view text);

// Instructions that carry a jump target; asm2pas itself treats every
// mnemonic beginning with "j" as a jump.
bool IsJump(std::string_view mnemonic);
bool IsConditionalJump(std::string_view mnemonic);

// "20 <sum_to+0x20>", "20" or (no symbols) "0x20": the target and the
// symbol text shown, if any.
struct DirectTarget {
  uint64_t Address = 0;
  std::string_view Symbol;  // without the angle brackets; may be empty; a
                            // view into the operands parsed
};
std::optional<DirectTarget> ParseDirectTarget(std::string_view operands);

// Commas at bracket depth 0 separate operands; each comes back trimmed.
std::vector<std::string_view> SplitOperands(std::string_view operands);

// The same operands, handed one by one to each(operand) without a list.
template <class Each>
void ForEachOperand(std::string_view operands, Each each) {
  if (TrimBlanks(operands).empty()) return;
  // What a character does to the split: 1 opens a bracket, 2 closes one,
  // 3 separates operands.
  static constexpr auto kRole = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned char c : std::string_view("[(<")) t[c] = 1;
    for (unsigned char c : std::string_view("])>")) t[c] = 2;
    t[static_cast<unsigned char>(',')] = 3;
    return t;
  }();
  int depth = 0;
  size_t start = 0;
  // Ends: one pass per character of the operand text.
  for (size_t i = 0; i < operands.size(); ++i) {
    switch (kRole[static_cast<unsigned char>(operands[i])]) {
      case 1: ++depth; break;
      case 2: depth -= depth > 0; break;
      case 3:
        if (depth == 0) {
          each(TrimBlanks(operands.substr(start, i - start)));
          start = i + 1;
        }
        break;
      default: break;
    }
  }
  each(TrimBlanks(operands.substr(start)));
}

std::string JoinPrefixes(const std::vector<std::string_view>& prefixes, std::string_view mnemonic);
// The same in place of what `out` held.
void AssignJoined(std::string& out, const std::vector<std::string_view>& prefixes, std::string_view mnemonic);

// The mnemonic without its prefixes: "rep stos" -> "stos".
std::string_view LastWord(std::string_view mnemonic);

}  // namespace asm2pas::objdump
