// Statement recognisers: single instructions and two short fixed sequences
// that become one-line statements (assignments, inc/dec, a stored call
// result, the lea address form), and the ret+jmp+jmp tail that is dropped.
#pragma once

#include "driver/run_state.h"
#include "driver/translate.h"

namespace asm2pas {

void DoCall(RunState& run, TLoopState& state);
void DoRet(RunState& run, TLoopState& state);
void DoMov(RunState& run, TLoopState& state);
void DoXor(RunState& run, TLoopState& state);
void DoImul(RunState& run, TLoopState& state);
void DoIdiv(RunState& run, TLoopState& state);
void DoSub(RunState& run, TLoopState& state);
void DoAdd(RunState& run, TLoopState& state);
void DoInc(RunState& run, TLoopState& state);
void DoDec(RunState& run, TLoopState& state);
void DoOr(RunState& run, TLoopState& state);
void DoAnd(RunState& run, TLoopState& state);
void DoNot(RunState& run, TLoopState& state);
void DoLea(RunState& run, TLoopState& state);

}  // namespace asm2pas
