// The extended reading's loops: a loop whose test stands at its bottom
// (repeat ... until), as compilers lay out repeat loops and loops they
// rotate; and the jumps that leave the loop being translated or go on with
// its next round (break, continue).
#pragma once

#include "translate/context.h"

namespace asm2pas {

// Offered every instruction: claims one that conditions further down jump
// back to.
void RecognizeRepeat(Context& ctx, TLoopState& state);

// A jmp, or a condition, whose jump leaves the innermost loop or goes on
// with its next round: "break;", "continue;", "if ... then break;".
void RecognizeLoopJump(Context& ctx, TLoopState& state);

}  // namespace asm2pas
