// The extended reading's statements: instructions and short sequences of
// today's compilers that become assignments computing exactly what they
// compute, in 32-bit wrapping arithmetic (lea, shifts, division and wide
// multiplication, neg, movzx and movsx, setcc after a comparison). Each
// reads the operands as listed.
#pragma once

#include "translate/context.h"
#include "translate/reading.h"

namespace asm2pas {

void RecognizeLea(Context& ctx, TLoopState& state);
void RecognizeShift(Context& ctx, TLoopState& state);
// rol and ror of 32 bits.
void RecognizeRotate(Context& ctx, TLoopState& state);
void RecognizeNeg(Context& ctx, TLoopState& state);
void RecognizeExtend(Context& ctx, TLoopState& state);
// cdq + idiv, a zeroed edx + div, and a lone cdq.
void RecognizeDivide(Context& ctx, TLoopState& state);
// imul and mul of one operand, which set edx:eax; idiv and div of one
// operand not taken with the instruction before them stay comment lines.
void RecognizeWide(Context& ctx, TLoopState& state);
// add + adc, sub + sbb: the halves of a 64-bit sum or difference.
void RecognizeCarry(Context& ctx, TLoopState& state);
// cmp a, x + sbb r, r: the mask of the borrow, r:=-Ord(Cardinal(a) <
// Cardinal(x)).
void RecognizeBorrowMask(Context& ctx, TLoopState& state);
// cmp or test + setcc.
void RecognizeSet(Context& ctx, TLoopState& state);
// cmp or test + cmovcc: "if a > b then eax:=ecx;".
void RecognizeConditionalMove(Context& ctx, TLoopState& state);
// A setcc or a cmov run on the flags of the logic or arithmetic before it.
void RecognizeSetAfter(Context& ctx, TLoopState& state);

// The pass that names the register variables inside memory operands too.
void NameRegistersInside(PassContext& ctx);
// Where a routine uses a register variable's parts too (ebx with bl, bx or
// bh; esi with si; edi with di), the register and its parts go by their own
// names: a name of its own for each would make a part read something else
// than what the whole was given.
void KeepRegistersWhole(PassContext& ctx);

}  // namespace asm2pas
