// Loop recognisers: counted loops (four set-up layouts closed by a count
// step and jnz) become for loops, and a forward jmp to conditions placed
// after the body becomes a while loop; bodies are translated recursively.
#pragma once

#include "driver/run_state.h"
#include "driver/translate.h"

namespace asm2pas {

void RecognizeFor(RunState& run, TLoopState& state);
void RecognizeWhile(RunState& run, TLoopState& state);

}  // namespace asm2pas
