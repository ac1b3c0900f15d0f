// Alignment filler: instructions compilers put between code to align it,
// which change nothing (nop in all its forms, a register moved or exchanged
// with itself, lea of a register plus nothing into itself).
#pragma once

#include "listing/code_table.h"

namespace asm2pas {

// Reads the operand texts as listed.
bool IsFiller(const TOpCode& e);

}  // namespace asm2pas
