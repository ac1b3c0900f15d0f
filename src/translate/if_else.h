// The if/else recogniser: collects consecutive compare-and-jump conditions,
// finds the then branch, the else branch and the end of the statement from
// the jump layout, prints the header and translates the branches.
#pragma once

#include "translate/context.h"

namespace asm2pas {

void RecognizeIf(Context& ctx, TLoopState& state);

}  // namespace asm2pas
