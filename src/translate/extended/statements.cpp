#include "translate/extended/statements.h"

#include <string>
#include <string_view>

#include "base/text.h"
#include "listing/number.h"
#include "output/writer.h"
#include "translate/conditions.h"
#include "translate/extended/expressions.h"
#include "translate/flow.h"

namespace asm2pas {

namespace {

constexpr RegSet kEax = 1u << 0, kEdx = 1u << 2, kEsp = 1u << 4;

// Whether entries first..last can be read as one piece: all lie in the
// loop's range and no jump comes to any entry but the first.
bool Consumable(const Context& ctx, const TLoopState& state, int first, int last) {
  if (last > state.LastIndex || !ctx.Facts) return false;
  // Ends: one pass over the entries.
  for (int i = first + 1; i <= last; ++i) {
    if (ctx.Facts->Incoming[static_cast<size_t>(i)] != 0) return false;
  }
  return true;
}

// Whether nothing reads these registers after entry i.
bool Dead(const Context& ctx, int i, RegSet regs) {
  return ctx.Facts && (ctx.Facts->LiveAfter(i) & regs) == 0;
}

// The value of an immediate, or nothing for any other text.
std::optional<uint32_t> Immediate(std::string_view listed) {
  const std::string_view t = TrimBoth(listed);
  if (Classify(t).Form != OperandForm::kImmediate) return std::nullopt;
  if (t[0] == '-') {
    std::optional<uint32_t> v = StrictToInt(t.substr(1));
    if (v) return 0u - *v;
    return v;
  }
  return StrictToInt(t);
}

// A whole 32-bit operand a statement reads: a register or a dword of
// memory, reading none of the registers in `not_read`.
bool IsDword(std::string_view listed, RegSet not_read) {
  const OperandInfo op = Classify(listed);
  if (op.Form != OperandForm::kRegister && op.Form != OperandForm::kMemory) return false;
  return op.Bits == 32 && (op.Reads & not_read) == 0;
}

enum class FlagUse : uint8_t { kReads, kSets, kKeeps };

// What an instruction does with the flags an earlier one set: reads them
// (and so may read them: anything not known), sets them anew, or keeps them.
FlagUse FlagsUse(const CodeTable& code, int i) {
  const TOpCode& e = code.At(i);
  const std::string_view m = e.OpCode;
  if (m == "cmp" || m == "test" || m == "add" || m == "sub" || m == "and" || m == "or" ||
      m == "xor" || m == "neg" || m == "call" || m == "ret") {
    return FlagUse::kSets;  // a call leaves no flags its caller reads
  }
  if ((m == "shl" || m == "shr" || m == "sar" || m == "sal") && Immediate(e.Op2).value_or(0) != 0) {
    return FlagUse::kSets;
  }
  if (m == "mov" || m == "movzx" || m == "movsx" || m == "lea" || m == "push" || m == "pop" ||
      m == "nop" || m == "not" || m == "inc" || m == "dec" || m == "cdq" || m == "jmp") {
    return FlagUse::kKeeps;  // inc and dec keep the carry
  }
  return FlagUse::kReads;
}

// Whether no instruction reads the flags entry i leaves, on any path from
// it: the paths are followed, through jmps, until each sets them anew.
// Conditional jumps read them, so a path that meets one gives false, and
// so does a path longer than a few dozen instructions.
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

// Claims the instruction as the comment line the loop would write for it,
// where a later recogniser would print a statement that computes
// something else.
void KeepAsComment(Context& ctx, TLoopState& state) {
  const TOpCode& e = ctx.Code.At(state.Index);
  const VarTable& vars = ctx.Vars;
  EmitAndClaim(ctx, state,
               {"//", e.OpCode, " ", VarName(vars, e.Op1), ", ", VarName(vars, e.Op2), ", ",
                VarName(vars, ctx.Code.Op3(state.Index))},
               state.Index + 1);
}

}  // namespace

void NameRegistersInside(PassContext& ctx) { ctx.Vars.NamesInside = true; }

void RecognizeLea(Context& ctx, TLoopState& state) {
  const TOpCode& e = ctx.Code.At(state.Index);
  const OperandInfo dest = Classify(e.Op1);
  if (dest.Form != OperandForm::kRegister || dest.Bits != 32) return;
  std::string address;
  if (!AddressExpression(ctx.Vars, e.Op2, address)) return;
  EmitAndClaim(ctx, state, {Value(ctx.Vars, e.Op1), ":=", address, ";"}, state.Index + 1);
}

void RecognizeShift(Context& ctx, TLoopState& state) {
  const TOpCode& e = ctx.Code.At(state.Index);
  const std::string_view m = e.OpCode;
  const bool arithmetic = m == "sar";
  const OperandInfo dest = Classify(e.Op1);
  // A shift of a byte or word register keeps to its width when its value
  // is cut back; one to the right of the sign bit needs the whole width.
  const bool whole = dest.Bits == 32 && dest.Form != OperandForm::kImmediate;
  const bool part = dest.Form == OperandForm::kRegister && !arithmetic;
  if (!whole && !part) return;
  std::string_view count = TrimBoth(e.Op2);
  if (count == "cl") {
    count = "(cl and 31)";  // the processor takes the count modulo 32
  } else if (count.empty() && ctx.Code.Op3(state.Index).empty()) {
    count = "1";
  } else {
    std::optional<uint32_t> n = Immediate(count);
    if (!n || *n == 0 || *n > 31) return;
  }
  const std::string_view x = Value(ctx.Vars, e.Op1);
  if (arithmetic) {
    EmitAndClaim(ctx, state, {x, ":=SarLongint(", x, ", ", count, ");"}, state.Index + 1);
  } else {
    EmitAndClaim(ctx, state, {x, ":=", x, m == "shr" ? " shr " : " shl ", count, ";"},
                 state.Index + 1);
  }
}

void RecognizeNeg(Context& ctx, TLoopState& state) {
  const TOpCode& e = ctx.Code.At(state.Index);
  const OperandInfo dest = Classify(e.Op1);
  // A byte or word register keeps to its width when its value is cut back.
  if (dest.Form != OperandForm::kRegister && !(dest.Form == OperandForm::kMemory && dest.Bits == 32)) {
    return;
  }
  const std::string_view x = Value(ctx.Vars, e.Op1);
  EmitAndClaim(ctx, state, {x, ":=-", x, ";"}, state.Index + 1);
}

void RecognizeExtend(Context& ctx, TLoopState& state) {
  const TOpCode& e = ctx.Code.At(state.Index);
  const OperandInfo dest = Classify(e.Op1);
  const OperandInfo source = Classify(e.Op2);
  if (dest.Form != OperandForm::kRegister || dest.Bits < 16) return;
  if (source.Form != OperandForm::kRegister && source.Form != OperandForm::kMemory) return;
  if ((source.Bits != 8 && source.Bits != 16) || source.Bits >= dest.Bits) return;
  const std::string value = Widened(ctx.Vars, e.Op2, source.Bits, e.OpCode == "movsx");
  EmitAndClaim(ctx, state, {Value(ctx.Vars, e.Op1), ":=", value, ";"}, state.Index + 1);
}

void RecognizeDivide(Context& ctx, TLoopState& state) {
  const CodeTable& code = ctx.Code;
  const int i = state.Index;
  const TOpCode& e = code.At(i);
  // cdq + idiv: edx:eax is eax sign-extended. A zeroed edx + div: eax
  // taken as unsigned. The remainder comes first, as it reads the eax the
  // quotient replaces; the divisor must not read edx, which it sets.
  const bool is_cdq = e.OpCode == "cdq";
  const bool zeroes_edx = e.Op1 == "edx" && ((e.OpCode == "xor" && e.Op2 == "edx") ||
                                             (e.OpCode == "mov" && Immediate(e.Op2) == 0u));
  if (!is_cdq && !zeroes_edx) return;
  // Loads of the divisor may stand between: they neither read edx nor
  // write eax or edx, so they go first.
  constexpr int kLoads = 2;
  int div = i + 1;
  // Ends: at most kLoads entries.
  while (div - i <= kLoads && code.At(div).OpCode == "mov" && IsDword(code.At(div).Op1, kEax | kEdx) &&
         Classify(code.At(div).Op1).Form == OperandForm::kRegister &&
         (IsDword(code.At(div).Op2, kEdx) || Immediate(code.At(div).Op2))) {
    ++div;
  }
  const TOpCode& d = code.At(div);
  const bool divides = d.OpCode == (is_cdq ? "idiv" : "div") && d.Op2.empty() &&
                       IsDword(d.Op1, kEdx) && Consumable(ctx, state, i, div);
  if (!divides) {
    if (is_cdq) EmitAndClaim(ctx, state, {"edx:=SarLongint(eax, 31);"}, i + 1);
    return;
  }
  // Ends: the loads found above.
  for (int k = i + 1; k < div; ++k) {
    Emit(ctx.Output, {Value(ctx.Vars, code.At(k).Op1), ":=", Value(ctx.Vars, code.At(k).Op2), ";"});
  }
  const std::string_view x = Value(ctx.Vars, d.Op1);
  const bool keep_edx = !Dead(ctx, div, kEdx);
  const bool keep_eax = !Dead(ctx, div, kEax) || !keep_edx;
  if (keep_edx) {
    if (is_cdq) {
      Emit(ctx.Output, {"edx:=eax mod ", x, ";"});
    } else {
      Emit(ctx.Output, {"edx:=Cardinal(eax) mod Cardinal(", x, ");"});
    }
  }
  if (keep_eax) {
    if (is_cdq) {
      Emit(ctx.Output, {"eax:=eax div ", x, ";"});
    } else {
      Emit(ctx.Output, {"eax:=Cardinal(eax) div Cardinal(", x, ");"});
    }
  }
  Claim(ctx, state, div + 1);
}

void RecognizeWide(Context& ctx, TLoopState& state) {
  const int i = state.Index;
  const TOpCode& e = ctx.Code.At(i);
  if (!e.Op2.empty()) return;  // the forms of two and three operands
  const bool multiplies = e.OpCode == "imul" || e.OpCode == "mul";
  const bool keep_edx = !Dead(ctx, i, kEdx);
  const bool keep_eax = !Dead(ctx, i, kEax) || !keep_edx;
  // The high half first: it reads the eax the low half replaces, so a
  // factor that reads edx allows only one half.
  if (!multiplies || !IsDword(e.Op1, (keep_edx && keep_eax) ? kEdx : RegSet{0})) {
    // A division not after its cdq or zeroed edx reads an edx the
    // statement would not show; the default statements would print it so.
    KeepAsComment(ctx, state);
    return;
  }
  const std::string_view x = Value(ctx.Vars, e.Op1);
  if (keep_edx) {
    if (e.OpCode == "imul") {
      Emit(ctx.Output, {"edx:=Hi(Int64(eax)*", x, ");"});
    } else {
      Emit(ctx.Output, {"edx:=Hi(QWord(Cardinal(eax))*Cardinal(", x, "));"});
    }
  }
  if (keep_eax) Emit(ctx.Output, {"eax:=eax*", x, ";"});
  Claim(ctx, state, i + 1);
}

void RecognizeSet(Context& ctx, TLoopState& state) {
  const int i = state.Index;
  const TOpCode& cmp = ctx.Code.At(i);
  const TOpCode& set = ctx.Code.At(i + 1);
  if (!set.OpCode.starts_with("set") || set.OpCode.size() < 4 || !set.Op2.empty()) return;
  const OperandInfo dest = Classify(set.Op1);
  if (dest.Bits != 8 || dest.Form == OperandForm::kImmediate) return;
  const OperandInfo a = Classify(cmp.Op1), b = Classify(cmp.Op2);
  if (a.Form == OperandForm::kNone || b.Form == OperandForm::kNone || a.Bits < 0 || b.Bits < 0) {
    return;
  }
  if (a.Bits != 0 && b.Bits != 0 && a.Bits != b.Bits) return;
  const int bits = a.Bits != 0 ? a.Bits : b.Bits;
  if (bits == 0) return;  // no operand states the width
  const std::string jump = "j" + std::string(set.OpCode.substr(3));
  TIF cond;
  if (!ReadComparison(ctx.Vars, cmp, jump, cond)) return;
  // A byte or word compares as the processor compares it when only
  // equality or the unsigned order is asked (a register part holds its
  // value unsigned) and no immediate stands below zero.
  if (bits < 32) {
    const bool unsigned_order = cmp.OpCode == "cmp" && cond.Left.starts_with("Cardinal(");
    if (cond.Relation != relEqual && cond.Relation != relNotEqual && !unsigned_order) return;
    if (TrimBoth(cmp.Op1).starts_with('-') || TrimBoth(cmp.Op2).starts_with('-')) return;
  }
  if (!Consumable(ctx, state, i, i + 1) || !FlagsUnread(ctx, i + 1)) return;
  EmitAndClaim(ctx, state, {Value(ctx.Vars, set.Op1), ":=", ConditionText(cond, false), ";"},
               i + 2);
}

void RecognizeCallStatement(Context& ctx, TLoopState& state) {
  const CodeTable& code = ctx.Code;
  const int i = state.Index;
  // [sub esp, P;] push ... (k of them); call X; [add esp, P + 4k;]
  // [mov dest, eax]. The pushes are the arguments when the clean-up takes
  // exactly them (and the padding before them) off the stack again.
  int at = i;
  uint32_t padding = 0;
  if (code.At(i).OpCode == "sub") {
    std::optional<uint32_t> p = Immediate(code.At(i).Op2);
    if (code.At(i).Op1 != "esp" || !p) return;
    padding = *p;
    ++at;
    if (code.At(at).OpCode != "push") return;
  }
  const int first_push = at;
  // Ends: at moves over pushes, and the entries past the table are empty.
  while (code.At(at).OpCode == "push") ++at;
  const int pushes = at - first_push;
  const int call = at;
  const TOpCode& c = code.At(call);
  if (c.OpCode != "call" || c.Op1.empty() || !c.Op2.empty()) return;
  if (c.Op1.find('[') != std::string_view::npos || RegisterOf(c.Op1) != 0) return;  // indirect
  int last = call;
  const TOpCode& after = code.At(call + 1);
  std::optional<uint32_t> cleanup = after.OpCode == "add" && after.Op1 == "esp"
                                        ? Immediate(after.Op2) : std::nullopt;
  if (cleanup) {
    if ((pushes > 0 || padding > 0) && *cleanup != padding + 4u * static_cast<uint32_t>(pushes)) {
      return;
    }
    ++last;
  } else if (pushes > 0 || padding > 0) {
    return;
  }
  std::string_view dest;
  const TOpCode& store = code.At(last + 1);
  if (store.OpCode == "mov" && store.Op2 == "eax" && Classify(store.Op1).Form != OperandForm::kNone &&
      Classify(store.Op1).Form != OperandForm::kImmediate && Consumable(ctx, state, i, last + 1)) {
    dest = Value(ctx.Vars, store.Op1);
    ++last;
  }
  if (!Consumable(ctx, state, i, last)) return;
  // The arguments, the last pushed first. Consecutive pushes read their
  // operands unchanged, but an esp-relative one would move with them.
  std::string text(dest);
  if (!dest.empty()) text += ":=";
  text += "function";
  text += c.Op1;
  // Ends: one pass over the pushes, from the call upwards.
  for (int p = call - 1; p >= first_push; --p) {
    const std::string_view arg = code.At(p).Op1;
    const OperandInfo op = Classify(arg);
    const bool named = FindVar(ctx.Vars, arg) >= 1;
    if (op.Form == OperandForm::kNone || op.Bits == 8 || op.Bits == 16 || op.Bits < 0 ||
        ((op.Reads & kEsp) != 0 && !named)) {
      return;
    }
    text += p == call - 1 ? "(" : ", ";
    text += Value(ctx.Vars, arg);
  }
  if (pushes > 0) text += ")";
  text += ";";
  EmitAndClaim(ctx, state, {text}, last + 1);
}

}  // namespace asm2pas
