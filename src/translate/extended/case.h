// The extended reading's case statements: a chain or tree of comparisons
// of one value with constants (Free Pascal's "sub eax, 1; jz L" steps,
// gcc's compare trees with their range checks) that sends each value to
// one of several arms, which end at one place.
#pragma once

#include "translate/context.h"

namespace asm2pas {

void RecognizeCase(Context& ctx, TLoopState& state);

}  // namespace asm2pas
