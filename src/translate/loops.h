// Loop recognisers: counted loops (four set-up layouts closed by a count
// step and jnz) become for loops, and a forward jmp to conditions placed
// after the body becomes a while loop; bodies are translated recursively.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "translate/context.h"

namespace asm2pas {

void RecognizeFor(Context& ctx, TLoopState& state);

struct Formula;
// A loop's test as one line: the conditions of the formula, each in
// parentheses, joined by "and(" and "or(" without blanks.
std::string LoopTestText(std::span<const TIF> conds, const Formula& f);
void RecognizeWhile(Context& ctx, TLoopState& state);

}  // namespace asm2pas
