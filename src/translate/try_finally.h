// Exception-frame recognisers: the five-instruction set-up prints "try", the
// six-instruction tear-down prints "finally" and defers the closing "end;"
// to the address the tear-down pushes.
#pragma once

#include "translate/context.h"

namespace asm2pas {

void DoTry(Context& ctx, TLoopState& state);
void DoFinally(Context& ctx, TLoopState& state);

}  // namespace asm2pas
