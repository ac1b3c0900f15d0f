// What the extended reading's statement recognisers check before they
// claim: that instructions can be read as one piece (no jump comes into
// them), that a register or the flags they leave are read by nothing after
// them; and the claim of a one-line statement or of a comment line.
#pragma once

#include <initializer_list>
#include <string_view>

#include "translate/context.h"
#include "translate/flow.h"

namespace asm2pas {

constexpr RegSet kEax = 1u << 0, kEcx = 1u << 1, kEdx = 1u << 2, kEsp = 1u << 4;

// Whether entries first..last can be read as one piece: all lie in the
// loop's range and no jump comes to any entry but the first.
bool Consumable(const Context& ctx, const TLoopState& state, int first, int last);

// Whether nothing reads these registers after entry i.
bool Dead(const Context& ctx, int i, RegSet regs);

// Whether no instruction reads the flags entry i leaves, on any path from
// it: the paths are followed, through jmps, until each sets them anew.
bool FlagsUnread(const Context& ctx, int i);

// Emits the line and moves the loop to entry `next`.
void EmitAndClaim(Context& ctx, TLoopState& state, std::initializer_list<std::string_view> line,
                  int next);

// Claims the instruction as the comment line the loop would write for it,
// where a later recogniser would print a statement that computes
// something else.
void KeepAsComment(Context& ctx, TLoopState& state);

}  // namespace asm2pas
