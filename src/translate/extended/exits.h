// Leaving the routine from within its body: a return or a jump to the exit
// the range chooser left ("exit;"), and a condition whose jump goes there
// ("if ... then exit;").
#pragma once

#include "translate/context.h"

namespace asm2pas {

void RecognizeExit(Context& ctx, TLoopState& state);

}  // namespace asm2pas
