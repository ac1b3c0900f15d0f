// The extended reading's last word on a jump: a jmp, or a condition and its
// jump, that no structure takes becomes "goto L_<address>;" or
// "if <condition> then goto L_<address>;", and its target gets the label
// line "L_<address>:" (see TranslateRoutine). A goto means exactly the
// jump, so the code's flow is all said.
#pragma once

#include "translate/context.h"

namespace asm2pas {

void RecognizeGoto(Context& ctx, TLoopState& state);

}  // namespace asm2pas
