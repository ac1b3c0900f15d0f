// The rules that look at neighbouring instructions, applied to a whole
// routine after each instruction was rewritten on its own.
#pragma once

#include <span>

#include "rewrite.h"

namespace asm2pas::objdump {

// - js and jns right after a compare with zero become jl and jnl (comparing
//   with zero clears the overflow flag, so the sign flag alone decides
//   "less"), unless some jump lands on them;
// - alignment filler (zero bytes, nop, xchg ax, ax, lea esi,
//   [esi+eiz+$00], ...) that
//   follows a ret or jmp and that no jump reaches is marked Padding: it is
//   never executed, and left in the table it would hide the routine's
//   final ret from asm2pas.
void ApplyRoutineRules(std::span<ListingInstruction> routine);

}  // namespace asm2pas::objdump
