#include "translate/extended/claims.h"

#include "output/writer.h"
#include "translate/extended/expressions.h"

namespace asm2pas {

namespace {

enum class FlagUse : uint8_t { kReads, kSets, kKeeps };

// What an instruction does with the flags an earlier one set: reads them
// (and so may read them: anything not known), sets them anew, or keeps them.
FlagUse FlagsUse(const CodeTable& code, int i) {
  const TOpCode& e = code.At(i);
  const std::string_view m = e.OpCode;
  if (m == "cmp" || m == "test" || m == "add" || m == "sub" || m == "and" || m == "or" ||
      m == "xor" || m == "neg" || m == "imul" || m == "mul" || m == "idiv" || m == "div" ||
      m == "call" || m == "ret") {
    return FlagUse::kSets;  // a call leaves no flags its caller reads
  }
  const bool shifts = m == "shl" || m == "shr" || m == "sar" || m == "sal";
  if (shifts && Immediate(e.Op2).value_or(0) != 0) return FlagUse::kSets;
  // A shift by cl keeps them when cl is 0; a rotation keeps all but two.
  if (shifts || m == "rol" || m == "ror" || m == "mov" || m == "movzx" || m == "movsx" ||
      m == "lea" || m == "push" || m == "pop" || m == "nop" || m == "not" || m == "inc" ||
      m == "dec" || m == "cdq" || m == "xchg" || m == "bswap" || m == "jmp") {
    return FlagUse::kKeeps;  // inc and dec keep the carry
  }
  return FlagUse::kReads;
}

}  // namespace

bool Consumable(const Context& ctx, const TLoopState& state, int first, int last) {
  if (last > state.LastIndex || !ctx.Facts) return false;
  // Ends: one pass over the entries.
  for (int i = first + 1; i <= last; ++i) {
    if (ctx.Facts->Incoming[static_cast<size_t>(i)] != 0) return false;
  }
  return true;
}

bool Dead(const Context& ctx, int i, RegSet regs) {
  return ctx.Facts && (ctx.Facts->LiveAfter(i) & regs) == 0;
}


// Conditional jumps read the flags, so a path that meets one gives false,
// and so does a path longer than a few dozen instructions.
bool FlagsUnread(const Context& ctx, int i) {
  const CodeTable& code = ctx.Code;
  constexpr int kSteps = 64;
  int at = i + 1;
  // Ends: at most kSteps steps.
  for (int steps = 0; steps < kSteps; ++steps) {
    if (!code.Valid(at)) return false;
    switch (FlagsUse(code, at)) {
      case FlagUse::kReads: return false;
      case FlagUse::kSets: return true;
      case FlagUse::kKeeps: break;
    }
    if (code.At(at).OpCode == "jmp") {
      at = ctx.Facts ? ctx.Facts->Target[static_cast<size_t>(at)] : 0;
    } else {
      ++at;
    }
  }
  return false;
}

void EmitAndClaim(Context& ctx, TLoopState& state, std::initializer_list<std::string_view> line,
                  int next) {
  Emit(ctx.Output, line);
  Claim(ctx, state, next);
}

void KeepAsComment(Context& ctx, TLoopState& state) {
  const TOpCode& e = ctx.Code.At(state.Index);
  const VarTable& vars = ctx.Vars;
  EmitAndClaim(ctx, state,
               {"//", e.OpCode, " ", VarName(vars, e.Op1), ", ", VarName(vars, e.Op2), ", ",
                VarName(vars, ctx.Code.Op3(state.Index))},
               state.Index + 1);
}

}  // namespace asm2pas
