// The translation loop: walks a range of the instruction table in table
// order and offers each instruction to the recognisers in their fixed order;
// an instruction none claims becomes a "//" comment line. Recognisers call
// it again for the branches and bodies of the structures they find.
#pragma once

#include <cstdint>

#include "driver/run_state.h"

namespace asm2pas {

// The state of one invocation of Translate, shared with the recognisers it
// offers instructions to.
//
// Besides the address of the current instruction, a translation carries the
// table positions of the current entry and of the last entry of its range.
// The contract for every recogniser: it reads the current entry at Index
// (the entry the loop stands on, even when an address occurs twice), and it
// claims only if every entry it consumes, and every entry of the nested
// ranges it translates, lies between Index and LastIndex. On a claim it calls
// Claim() with the entry at which the translation goes on, which always lies
// after Index. So no instruction is translated twice, and every loop ends.
struct TLoopState {
  uint32_t CurAddr = 0;
  bool Handled = false;
  uint32_t ToAddr = 0;
  int Index = 0;      // entry of CurAddr
  int LastIndex = 0;  // entry of ToAddr: the last entry this range may touch
  int NextIndex = 0;  // where a claiming recogniser moves the loop
};

// Marks the step as consumed and moves the loop to entry `next`.
void Claim(const RunState& run, TLoopState& state, int next);

// Translates the entries from `from_index` to `last_index` (table positions)
// whose addresses run up to the address of the last one.
void Translate(RunState& run, int from_index, int last_index);

}  // namespace asm2pas
