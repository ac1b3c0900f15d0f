// The if/else recogniser: collects consecutive compare-and-jump conditions,
// finds the then branch, the else branch and the end of the statement from
// the jump layout, prints the header and translates the branches.
#pragma once

#include "driver/run_state.h"
#include "driver/translate.h"

namespace asm2pas {

void RecognizeIf(RunState& run, TLoopState& state);

}  // namespace asm2pas
