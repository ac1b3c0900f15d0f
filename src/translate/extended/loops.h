// The extended reading's loops: a loop whose test stands at its bottom
// (repeat ... until), as compilers lay out repeat loops and loops they
// rotate.
#pragma once

#include "translate/context.h"

namespace asm2pas {

// Offered every instruction: claims one that conditions further down jump
// back to.
void RecognizeRepeat(Context& ctx, TLoopState& state);

}  // namespace asm2pas
