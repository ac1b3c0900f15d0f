// Tidies the jumps of compiled code before the extended reading translates
// it, without changing what the code does: a jump to a jmp goes where that
// jmp goes; a jmp to the next instruction, a jmp nothing reaches after
// another jmp, and alignment filler are dropped; and Free Pascal's
// pair "jcc T; jmp F; T:" becomes one jump, on the opposite condition, to F.
#pragma once

#include <string_view>
#include <vector>

#include "translate/reading.h"

namespace asm2pas {

void TidyJumps(PassContext& ctx);
// Brings the moves that stand between a comparison and its jump, cmov or
// setcc (loads of registers, stores) before the comparison, where that
// computes the same.
void LoadsBeforeCompares(PassContext& ctx);

// A jump of any kind: jmp or a conditional one (not ijmp).
inline bool IsJump(std::string_view mnemonic) { return !mnemonic.empty() && mnemonic[0] == 'j'; }
// Whether the instruction goes on nowhere after it: jmp, ret or ijmp.
inline bool EndsFlow(std::string_view m) { return m == "jmp" || m == "ret" || m == "ijmp"; }
// The entry the jump at entry i goes to, or -1.
int TargetOf(const CodeTable& code, int i);
// TargetOf every jump, by position (index 0 unused, size CodeCount + 2);
// -1 for an entry that is no jump. The passes that rewrite jumps keep it
// up to date, so that a target is looked up once.
std::vector<int> FindJumpTargets(const CodeTable& code);
// The pass's targets (see PassContext), looked up first if no pass has.
std::vector<int>& JumpTargetsOf(PassContext& ctx);

// Drops the entries marked in `drop` (by position, index 0 unused); a jump
// to a dropped entry then goes to the first kept entry after it.
// `targets` holds FindJumpTargets of the table before, and afterwards that
// of the table after. `positions` (rising), where given, follow their
// entries: a dropped one's goes.
void DropEntries(CodeTable& code, const std::vector<char>& drop, std::vector<int>& targets,
                 std::vector<int>* positions = nullptr);

// The conditional jump on the opposite condition ("jl" -> "jnl"), or empty
// for a mnemonic that is none.
std::string_view OppositeJump(std::string_view mnemonic);

}  // namespace asm2pas
