// Frame trimming: chooses the range of the routine's body by leaving out
// the final ret, the frame set-up and tear-down (together or not at all), an
// add to esp at the start, and saved-register pushes and pops in mirrored
// pairs.
#pragma once

#include "driver/run_state.h"

namespace asm2pas {

// Sets StartIndex/EndIndex and StartAddr/EndAddr of the run. With no body
// left (an empty listing, a lone ret, only a frame) StartIndex lies beyond
// EndIndex.
void TrimFrame(RunState& run);

}  // namespace asm2pas
