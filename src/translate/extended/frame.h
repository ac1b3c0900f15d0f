// The extended reading's range chooser: it follows the stack through the
// routine, takes out of the table what is frame only (the set-up, every
// epilogue, registers saved and restored by push, pop or mov, wherever the
// compiler scheduled them), names the frame slots by their place, and
// leaves every return but one as a jump to that one: the body's exit.
#pragma once

#include "translate/reading.h"

namespace asm2pas {

// Where esp cannot be followed, the frame is trimmed as the default
// reading trims it, and no exit is known.
BodyRange TakeOutFrame(PassContext& ctx);

}  // namespace asm2pas
