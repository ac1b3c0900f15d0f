// Loop recognisers: counted loops (four set-up layouts closed by a count
// step and jnz) become for loops, and a forward jmp to conditions placed
// after the body becomes a while loop; bodies are translated recursively.
#pragma once

#include "translate/context.h"

namespace asm2pas {

void RecognizeFor(Context& ctx, TLoopState& state);
void RecognizeWhile(Context& ctx, TLoopState& state);

}  // namespace asm2pas
