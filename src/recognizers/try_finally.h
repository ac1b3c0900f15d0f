// Exception-frame recognisers: the five-instruction set-up prints "try", the
// six-instruction tear-down prints "finally" and defers the closing "end;"
// to the address the tear-down pushes.
#pragma once

#include "driver/run_state.h"
#include "driver/translate.h"

namespace asm2pas {

void DoTry(RunState& run, TLoopState& state);
void DoFinally(RunState& run, TLoopState& state);

}  // namespace asm2pas
