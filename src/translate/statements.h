// Statement recognisers: single instructions and two short fixed sequences
// that become one-line statements (assignments, inc/dec, a stored call
// result, the lea address form), and the ret+jmp+jmp tail that is dropped.
#pragma once

#include "translate/context.h"

namespace asm2pas {

void DoCall(Context& ctx, TLoopState& state);
void DoRet(Context& ctx, TLoopState& state);
// DoRet only where the sequence ends a finally part: a deferred "end;" is
// due right after it. Elsewhere a ret leaves the routine.
void DoRetEndingFinally(Context& ctx, TLoopState& state);
void DoMov(Context& ctx, TLoopState& state);
void DoXor(Context& ctx, TLoopState& state);
void DoImul(Context& ctx, TLoopState& state);
void DoIdiv(Context& ctx, TLoopState& state);
void DoSub(Context& ctx, TLoopState& state);
void DoAdd(Context& ctx, TLoopState& state);
void DoInc(Context& ctx, TLoopState& state);
void DoDec(Context& ctx, TLoopState& state);
void DoOr(Context& ctx, TLoopState& state);
void DoAnd(Context& ctx, TLoopState& state);
void DoNot(Context& ctx, TLoopState& state);
void DoLea(Context& ctx, TLoopState& state);

}  // namespace asm2pas
