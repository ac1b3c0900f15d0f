// The names of a routine's memory operands in the extended reading: every
// stack slot one variable named by its place from the entry, and no
// variable for memory the default naming would name wrongly (an array
// element indexed by a register, memory through ebp where ebp is no frame
// pointer).
#pragma once

#include <vector>

#include "translate/extended/stack.h"
#include "translate/reading.h"

namespace asm2pas {

// Names the slots the operands of the entries not dropped address.
void NameSlots(PassContext& ctx, const StackFacts& stack, const std::vector<char>& drop);
// Rewrites the operands that are no variable so that none is found for them.
// `slots`, where given, are the stack facts of the table as it stands:
// where ebp keeps its place, the frame slots they show are passed over, as
// no slot's text is an indexed address.
void UnnameNoVariables(CodeTable& code, bool ebp_varies, const StackFacts* slots = nullptr);

}  // namespace asm2pas
