// Names the routines that direct calls go to in a linked program, where
// objdump could name a target only by a symbol before it plus an offset,
// or by its address (stripped code): such a call gets the name of the
// routine that starts there, and gcc's thunk for position-independent code
// the name gcc gives it.
#pragma once

#include "objdump_input.h"

namespace asm2pas::objdump {

// After FindRoutineStarts. A routine the finder named by its address whose
// code is "mov REG, dword ptr [esp]" and "ret" (it loads its return
// address) is called __x86.get_pc_thunk.REG. Then every direct call to the
// start of a routine, whose target objdump named otherwise, names that
// routine. Object files (whose calls name their routines by relocation)
// and inputs where routines share an address are left as they are.
void NameCallTargets(ObjdumpInput& input);

}  // namespace asm2pas::objdump
