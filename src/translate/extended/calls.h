// Calls as statements of the extended reading: a call with the pushes of
// its arguments (and the loads of registers pushed among them) and the
// stack clean-up after it, where they say exactly what the code does, and
// the store of its result.
#pragma once

#include "translate/context.h"

namespace asm2pas {

// Offered a push or a sub of esp (where pushes start), a mov or an lea (a
// load pushed after it) and a call.
void RecognizeCallStatement(Context& ctx, TLoopState& state);

// Offered a call: gcc's thunk that loads a register with the address after
// the call, for position-independent code (it changes nothing else), as
// the load it is.
void RecognizePcThunk(Context& ctx, TLoopState& state);

// Offered a pop: one into eax, ecx or edx that nothing reads (gcc takes a
// call's arguments, or room for the next call's, off so) as what it does
// to the stack alone: `esp:=esp+$04;`.
void RecognizeDeadPop(Context& ctx, TLoopState& state);

}  // namespace asm2pas
