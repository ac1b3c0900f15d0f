// Finds where routines start in code the input names too few routines for:
// a stripped program shows one header per section, a stripped library only
// its exported routines. The evidence: the entry point, exported routines,
// direct call targets, and code after a ret or jmp that begins a routine
// (a prologue, or an address other code calls or jumps to) without being
// reached by a jump of the routine before it.
#pragma once

#include <cstddef>

#include "objdump_input.h"

namespace asm2pas::objdump {

struct FinderCounts {
  size_t Found = 0;      // routines that the finder added
  size_t DataLines = 0;  // instruction lines taken for a jump table's data
};

// Splits the routines of a linked program (not of object files, whose
// symbols name every routine and whose sections share addresses) at the
// starts found; every instruction stays
// in exactly one routine, in address order. A routine the input names
// keeps its name; a found one is called "sub_" and its address, the entry
// point "entry" when nothing names it, an exported one by its export name.
FinderCounts FindRoutineStarts(ObjdumpInput& input);

}  // namespace asm2pas::objdump
