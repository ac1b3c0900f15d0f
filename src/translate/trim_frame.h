// Frame trimming: chooses the range of the routine's body by leaving out
// the final ret, the frame set-up and tear-down (together or not at all), an
// add to esp at the start, and saved-register pushes and pops in mirrored
// pairs.
#pragma once

#include "listing/code_table.h"

namespace asm2pas {

// A range of table positions, both ends included.
struct BodyRange {
  int First = 1;
  int Last = 0;
  // The entry a jump to which leaves the routine (the epilogue's first, or
  // the final ret), 0 when none is known.
  int Exit = 0;
};

// With no body left (an empty listing, a lone ret, only a frame) First lies
// beyond Last.
BodyRange TrimFrame(const CodeTable& code);

}  // namespace asm2pas
