// Alignment filler: instructions compilers put between code to align it,
// which change nothing (nop in all its forms, a register moved or exchanged
// with itself, lea of a register plus nothing into itself).
#pragma once

#include <string_view>

#include "listing/code_table.h"

namespace asm2pas {

// The forms IsFiller looks at once its quick tests pass.
bool IsFillerForm(const TOpCode& e);

// Reads the operand texts as listed. Inline, as it is asked of every
// entry: every filler's mnemonic has three or four letters, and a moved or
// exchanged register is its own operand twice, so most entries are passed
// over by their mnemonic's length and first letter, or their operands'
// lengths.
inline bool IsFiller(const TOpCode& e) {
  const std::string_view m = e.OpCode;
  if ((m.size() != 3 && m.size() != 4) || (m[0] != 'n' && m[0] != 'm' && m[0] != 'x' && m[0] != 'l')) {
    return false;
  }
  if ((m[0] == 'm' || m[0] == 'x') && e.Op1.size() != e.Op2.size()) return false;
  return IsFillerForm(e);
}

}  // namespace asm2pas
