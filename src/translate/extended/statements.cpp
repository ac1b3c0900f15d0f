#include "translate/extended/statements.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "listing/number.h"
#include "output/writer.h"
#include "translate/conditions.h"
#include "translate/extended/claims.h"
#include "translate/extended/expressions.h"
#include "translate/extended/jumps.h"
#include "translate/flow.h"

namespace asm2pas {

namespace {

// The count of the shift or rotation at entry i as a statement gives it:
// cl taken modulo 32 as the processor takes it, or a number from 1 to 31.
bool ShiftCount(const Context& ctx, int i, std::string_view& count) {
  const TOpCode& e = ctx.Code.At(i);
  count = TrimBoth(e.Op2);
  if (count == "cl") {
    count = "(cl and 31)";
    return true;
  }
  if (count.empty()) {
    count = "1";
    return ctx.Code.Op3(i).empty();
  }
  std::optional<uint32_t> n = Immediate(count);
  return n && *n >= 1 && *n <= 31;
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
  std::string_view count;
  if ((!whole && !part) || !ShiftCount(ctx, state.Index, count)) return;
  const std::string_view x = Value(ctx.Vars, e.Op1);
  if (arithmetic) {
    EmitAndClaim(ctx, state, {x, ":=SarLongint(", x, ", ", count, ");"}, state.Index + 1);
  } else {
    EmitAndClaim(ctx, state, {x, ":=", x, m == "shr" ? " shr " : " shl ", count, ";"},
                 state.Index + 1);
  }
}

void RecognizeRotate(Context& ctx, TLoopState& state) {
  const TOpCode& e = ctx.Code.At(state.Index);
  const OperandInfo dest = Classify(e.Op1);
  std::string_view count;
  if (dest.Bits != 32 || dest.Form == OperandForm::kImmediate ||
      !ShiftCount(ctx, state.Index, count)) {
    return;
  }
  const std::string_view x = Value(ctx.Vars, e.Op1);
  EmitAndClaim(ctx, state, {x, e.OpCode == "rol" ? ":=RolDWord(" : ":=RorDWord(", x, ", ", count, ");"},
               state.Index + 1);
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

namespace {

// The division that a cdq (is_cdq) or a zeroing of edx at the loop's entry
// starts, if one follows.
[[gnu::noinline]] void DivideAt(Context& ctx, TLoopState& state, bool is_cdq) {
  const CodeTable& code = ctx.Code;
  const int i = state.Index;
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

}  // namespace

void RecognizeDivide(Context& ctx, TLoopState& state) {
  // cdq + idiv: edx:eax is eax sign-extended. A zeroed edx + div: eax
  // taken as unsigned. The remainder comes first, as it reads the eax the
  // quotient replaces; the divisor must not read edx, which it sets.
  // Offered every load, most of which are told at once; the rest stands
  // apart, so that those cost no frame of it.
  const TOpCode& e = ctx.Code.At(state.Index);
  const bool is_cdq = e.OpCode == "cdq";
  const bool zeroes_edx = e.Op1 == "edx" && ((e.OpCode == "xor" && e.Op2 == "edx") ||
                                             (e.OpCode == "mov" && Immediate(e.Op2) == 0u));
  if (is_cdq || zeroes_edx) DivideAt(ctx, state, is_cdq);
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

namespace {

// The register whose variable `name` is (a saved register the reading
// names), or 0.
RegSet RegisterOfVariable(const VarTable& vars, std::string_view name) {
  if (!name.starts_with("Local_") && !name.starts_with("Global_")) return 0;
  // Ends: one pass over the few register variables.
  for (int k : RegisterVariables(vars)) {
    const TVar& v = vars.Vars[static_cast<size_t>(k - 1)];
    if (v.NewName == name) return RegisterOf(v.Name);
  }
  return 0;
}

// An operand as Classify reads it, but a saved register's variable as the
// whole register it is.
OperandInfo ClassifyIn(const VarTable& vars, std::string_view operand) {
  OperandInfo info = Classify(operand);
  if (info.Form != OperandForm::kNone) return info;
  if (const RegSet reg = RegisterOfVariable(vars, TrimBoth(operand)); reg != 0) {
    info.Form = OperandForm::kRegister;
    info.Bits = 32;
    info.Reads = reg;
  }
  return info;
}

// The width a comparison of the two listed operands compares at, or 0 when
// it cannot be said.
int ComparedBits(const VarTable& vars, const TOpCode& cmp) {
  const OperandInfo a = ClassifyIn(vars, cmp.Op1), b = ClassifyIn(vars, cmp.Op2);
  if (a.Form == OperandForm::kNone || b.Form == OperandForm::kNone || a.Bits < 0 || b.Bits < 0) {
    return 0;
  }
  if (a.Bits != 0 && b.Bits != 0 && a.Bits != b.Bits) return 0;
  return a.Bits != 0 ? a.Bits : b.Bits;  // 0 when no operand states it
}

// Whether the condition read from `cmp` states what the processor
// compares at `bits`. A byte or word compares so when only equality or the
// unsigned order is asked (a register part holds its value unsigned) and no
// immediate stands below zero.
bool ExactAt(const TOpCode& cmp, int bits, const TIF& cond) {
  if (cond.Relation == relNone) return false;
  if (bits >= 32) return true;
  const bool unsigned_order = cmp.OpCode == "cmp" && cond.Left.starts_with("Cardinal(");
  if (cond.Relation != relEqual && cond.Relation != relNotEqual && !unsigned_order) return false;
  return !TrimBoth(cmp.Op1).starts_with('-') && !TrimBoth(cmp.Op2).starts_with('-');
}

// The registers an operand reads, all where a variable's name may hide
// one (a saved register's variable reads that register).
RegSet ReadsOf(std::string_view op, const OperandInfo& info) {
  const bool hidden = op.find("Local_") != std::string_view::npos ||
                      op.find("Global_") != std::string_view::npos;
  return hidden && info.Form != OperandForm::kRegister ? kAllRegs : info.Reads;
}

// Loads between a comparison and the first cmov or setcc that reads its
// flags: they keep the flags, so loads into registers the comparison does
// not read (gcc's "cmp; mov eax, edx; cmovge eax, ecx", or an lea) print
// first, each as the statement it is. One mov into a register the
// comparison reads prints after the readers (`Deferred`): no load after it
// reads its register or writes what it reads.
struct LoadsBetween {
  int End = 0;  // the first entry after them
  int Deferred = 0;
  RegSet DeferredDest = 0, DeferredReads = 0;
  bool DeferredNumber = false;  // it loads a number
  bool DeferredReadsMemory = false;
  std::string Addresses[4];     // the leas' addresses, by entry from the first

  static constexpr int kMost = 4;

  // Reads them from entry `first`; `compared`: what the comparison reads;
  // `stores`: whether stores into memory may stand among them too (the
  // comparison reads no memory). False when an lea's address cannot be
  // said.
  bool Read(const Context& ctx, const TLoopState& state, int first, RegSet compared,
            bool stores = false) {
    End = first;
    // Ends: at most kMost entries.
    for (; End < first + kMost && End <= state.LastIndex; ++End) {
      const TOpCode& e = ctx.Code.At(End);
      const bool lea = e.OpCode == "lea";
      if ((e.OpCode != "mov" && !lea) || !ctx.Code.Op3(End).empty()) break;
      const OperandInfo dest = ClassifyIn(ctx.Vars, e.Op1), source = ClassifyIn(ctx.Vars, e.Op2);
      // A store: to memory, or to a variable that is no register's.
      const bool store = !lea && stores &&
                         (dest.Form == OperandForm::kMemory || dest.Form == OperandForm::kNone) &&
                         (source.Form == OperandForm::kRegister ||
                          source.Form == OperandForm::kImmediate);
      if (!store && (dest.Form != OperandForm::kRegister || dest.Bits != 32)) break;
      if (!lea && (source.Form == OperandForm::kNone || (source.Bits != 32 && source.Bits != 0))) break;
      if (lea && (source.Form != OperandForm::kMemory || (source.Reads & kEsp) != 0)) break;
      RegSet reads = ReadsOf(e.Op2, source);
      if (store) {
        // What its address reads, and nothing it writes but memory.
        reads = static_cast<RegSet>(reads | ReadsOf(e.Op1, dest));
        // (The deferred load would read it after the store.)
        if (Deferred != 0 && ((reads & DeferredDest) || DeferredReadsMemory)) break;
        continue;
      }
      if (Deferred != 0 && ((reads & DeferredDest) || (dest.Reads & (DeferredDest | DeferredReads)))) {
        break;
      }
      if ((dest.Reads & compared) != 0) {
        if (Deferred != 0 || lea || (dest.Reads & reads) != 0) break;
        Deferred = End;
        DeferredDest = dest.Reads;
        DeferredReads = reads;
        DeferredNumber = source.Form == OperandForm::kImmediate;
        DeferredReadsMemory =
            source.Form == OperandForm::kMemory || source.Form == OperandForm::kNone;
      }
      if (lea && !AddressExpression(ctx.Vars, e.Op2, Addresses[End - first])) return false;
    }
    return true;
  }

  // Says the loads but the deferred one.
  void Say(Context& ctx, int first) const {
    // Ends: the loads, at most kMost.
    for (int k = first; k < End; ++k) {
      if (k == Deferred) continue;
      const TOpCode& e = ctx.Code.At(k);
      const std::string_view dest = Value(ctx.Vars, e.Op1);
      if (e.OpCode == "lea") {
        Emit(ctx.Output, {dest, ":=", Addresses[k - first], ";"});
      } else {
        Emit(ctx.Output, {dest, ":=", Value(ctx.Vars, e.Op2), ";"});
      }
    }
  }

  void SayDeferred(Context& ctx) const {
    if (Deferred == 0) return;
    const TOpCode& e = ctx.Code.At(Deferred);
    Emit(ctx.Output, {Value(ctx.Vars, e.Op1), ":=", Value(ctx.Vars, e.Op2), ";"});
  }
};

// What a comparison reads: its registers (all where a variable's name
// hides which), and whether memory (or a variable that may be memory).
struct Compared {
  RegSet Registers = 0;
  bool Memory = false;
};
Compared ReadByComparison(const VarTable& vars, const TOpCode& cmp) {
  const OperandInfo a = ClassifyIn(vars, cmp.Op1), b = ClassifyIn(vars, cmp.Op2);
  const bool hidden = a.Form == OperandForm::kNone || b.Form == OperandForm::kNone;
  return {hidden ? kAllRegs : static_cast<RegSet>(ReadsOf(cmp.Op1, a) | ReadsOf(cmp.Op2, b)),
          hidden || a.Form == OperandForm::kMemory || b.Form == OperandForm::kMemory};
}

// The setcc at entry `set` (or after loads from there) as the boolean
// assignment of the comparison `cmp` makes at `bits` (16 for a width not
// known), claimed up to the setcc; false when that would not be exact.
bool SetStatement(Context& ctx, TLoopState& state, const TOpCode& cmp, int bits, int set) {
  const Compared compared = ReadByComparison(ctx.Vars, cmp);
  LoadsBetween loads;
  if (bits == 0 || !loads.Read(ctx, state, set, compared.Registers, !compared.Memory)) return false;
  const int at = loads.End;
  const TOpCode& e = ctx.Code.At(at);
  if (at > state.LastIndex || !e.OpCode.starts_with("set") || e.OpCode.size() < 4 ||
      !e.Op2.empty()) {
    return false;
  }
  const OperandInfo dest = ClassifyIn(ctx.Vars, e.Op1);
  if (dest.Bits != 8 || dest.Form == OperandForm::kImmediate) return false;
  // The deferred load must not change what the setcc writes.
  if (loads.Deferred != 0 && (ReadsOf(e.Op1, dest) & (loads.DeferredDest | loads.DeferredReads))) {
    return false;
  }
  std::string jump(1, 'j');
  jump += e.OpCode.substr(3);
  TIF cond;
  if (!ReadComparison(ctx.Vars, cmp, jump, cond)) return false;
  if (!ExactAt(cmp, bits, cond)) return false;
  if (!Consumable(ctx, state, state.Index, at) || !FlagsUnread(ctx, at)) return false;
  loads.Say(ctx, set);
  Emit(ctx.Output, {Value(ctx.Vars, e.Op1), ":=", ConditionText(cond, false), ";"});
  loads.SayDeferred(ctx);
  Claim(ctx, state, at + 1);
  return true;
}

// The cmovcc run from entry `first` on the flags `cmp` sets at `bits`
// (16 for a width not known), each an if of one assignment: "if a > b then
// eax:=ecx;"; with `zero_only` (the flags of arithmetic) only those that
// read the zero flag. A cmov that writes what the comparison reads ends the run, so
// every condition reads the values the comparison read. False, claiming
// nothing, when that would not be exact.
bool ConditionalMoves(Context& ctx, TLoopState& state, const TOpCode& cmp, int bits, int first,
                      bool zero_only = false) {
  if (bits == 0) return false;
  const Compared read = ReadByComparison(ctx.Vars, cmp);
  const RegSet compared = read.Registers;
  LoadsBetween loads;
  if (!loads.Read(ctx, state, first, compared, !read.Memory)) return false;
  // A cmov that reads the deferred load's register reads its number; none
  // writes that register or what the load reads, but for a lone cmov into
  // that register, which reads as an if with an else: the load's value
  // where the condition does not hold.
  const int moves = loads.End;
  const TOpCode* const later = loads.Deferred != 0 ? &ctx.Code.At(loads.Deferred) : nullptr;
  bool with_else = false;
  constexpr int kMost = 8;
  int last = moves - 1;
  // Ends: at most kMost entries, and never past the loop's last one.
  for (int k = moves; k <= state.LastIndex && k - moves < kMost; ++k) {
    const TOpCode& e = ctx.Code.At(k);
    if (!e.OpCode.starts_with("cmov") || e.OpCode.size() < 5) break;
    const std::string_view cc = e.OpCode.substr(4);
    if (zero_only && cc != "e" && cc != "ne" && cc != "z" && cc != "nz") break;
    const OperandInfo dest = ClassifyIn(ctx.Vars, e.Op1), source = ClassifyIn(ctx.Vars, e.Op2);
    if (dest.Form != OperandForm::kRegister || dest.Bits != 32) break;
    if (source.Form == OperandForm::kNone || source.Form == OperandForm::kImmediate ||
        (source.Bits != 32 && source.Bits != 0)) {
      break;
    }
    const RegSet reads = ReadsOf(e.Op2, source);
    if (later && k == moves && dest.Reads == loads.DeferredDest &&
        (dest.Reads & loads.DeferredReads) == 0 && (reads & loads.DeferredDest) == 0) {
      with_else = true;
      last = k;
      break;
    }
    if (later && (dest.Reads & (loads.DeferredDest | loads.DeferredReads)) != 0) break;
    if (later && (reads & loads.DeferredDest) != 0 &&
        (!loads.DeferredNumber || source.Form != OperandForm::kRegister)) {
      break;
    }
    last = k;
    if (dest.Reads & compared) break;
  }
  if (last < moves || !Consumable(ctx, state, state.Index, last) || !FlagsUnread(ctx, last)) {
    return false;
  }
  std::vector<std::string> conditions;
  // Ends: one step per cmov found above.
  for (int k = moves; k <= last; ++k) {
    TIF cond;
    std::string jump(1, 'j');
    jump += ctx.Code.At(k).OpCode.substr(4);
    if (!ReadComparison(ctx.Vars, cmp, jump, cond) || !ExactAt(cmp, bits, cond)) return false;
    conditions.push_back(ConditionText(cond, false));
  }
  loads.Say(ctx, first);
  if (with_else) {
    const TOpCode& e = ctx.Code.At(moves);
    const std::string_view dest = Value(ctx.Vars, e.Op1);
    Emit(ctx.Output, {"if ", conditions[0], " then begin"}, Shape::kOpens);
    Emit(ctx.Output, {dest, ":=", Value(ctx.Vars, e.Op2), ";"});
    Emit(ctx.Output, "end else begin", Shape::kMiddle);
    loads.SayDeferred(ctx);
    Emit(ctx.Output, "end; { if }", Shape::kCloses);
    Claim(ctx, state, last + 1);
    return true;
  }
  // Ends: the cmovs.
  for (int k = moves; k <= last; ++k) {
    const TOpCode& e = ctx.Code.At(k);
    const bool moved = later && (ReadsOf(e.Op2, ClassifyIn(ctx.Vars, e.Op2)) & loads.DeferredDest) != 0;
    Emit(ctx.Output, {"if ", conditions[static_cast<size_t>(k - moves)], " then ",
                      Value(ctx.Vars, e.Op1), ":=",
                      moved ? Value(ctx.Vars, later->Op2) : Value(ctx.Vars, e.Op2), ";"});
  }
  loads.SayDeferred(ctx);
  Claim(ctx, state, last + 1);
  return true;
}

}  // namespace

void RecognizeCarry(Context& ctx, TLoopState& state) {
  // add a, x; adc b, y (or sub and sbb): the two halves of a 64-bit sum.
  // The carry of the add is whether the new a lies below x, which the add
  // left as it was; the borrow of the sub whether the old a lay below x,
  // so the sbb's statement comes first.
  const int i = state.Index;
  const CodeTable& code = ctx.Code;
  const TOpCode& low = code.At(i);
  const TOpCode& high = code.At(i + 1);
  const bool adds = low.OpCode == "add";
  if (high.OpCode != (adds ? "adc" : "sbb") || !code.Op3(i).empty() || !code.Op3(i + 1).empty()) {
    return;
  }
  const RegSet a = RegisterOf(low.Op1), b = RegisterOf(high.Op1);
  const OperandInfo ai = Classify(low.Op1), bi = Classify(high.Op1);
  const OperandInfo x = Classify(low.Op2), y = Classify(high.Op2);
  const bool a_memory = ai.Form == OperandForm::kMemory;
  const bool b_memory = bi.Form == OperandForm::kMemory;
  // Both halves of 32 bits; x neither a nor read through it (it must keep
  // its value); b neither a nor x; where the sub comes second, y not read
  // through a and a not addressed through b; memory surely apart.
  if (!IsDword(low.Op1, 0) || !IsDword(high.Op1, 0) || (a | b) & kEsp) return;
  if (x.Form == OperandForm::kNone || (x.Form != OperandForm::kImmediate && x.Bits != 32)) return;
  if (y.Form == OperandForm::kNone || (y.Form != OperandForm::kImmediate && y.Bits != 32)) return;
  if ((x.Reads & a) != 0 || (a != 0 && a == b) || (b & x.Reads) != 0) return;
  if (!adds && ((y.Reads & a) != 0 || (b & ai.Reads) != 0)) return;
  if (!adds && a_memory && y.Form == OperandForm::kMemory && !SurelyApart(low.Op1, high.Op2)) return;
  if (a_memory && b_memory && !SurelyApart(low.Op1, high.Op1)) return;
  if (b_memory && x.Form == OperandForm::kMemory && !SurelyApart(high.Op1, low.Op2)) return;
  if (!Consumable(ctx, state, i, i + 1) || !FlagsUnread(ctx, i + 1)) return;
  const std::string_view av = Value(ctx.Vars, low.Op1), xv = Value(ctx.Vars, low.Op2);
  const std::string_view bv = Value(ctx.Vars, high.Op1), yv = Value(ctx.Vars, high.Op2);
  const std::string carry = "Ord(Cardinal(" + std::string(av) + ") < Cardinal(" + std::string(xv) + "))";
  if (adds) {
    Emit(ctx.Output, {av, ":=", av, "+", xv, ";"});
    Emit(ctx.Output, {bv, ":=", bv, "+", yv, "+", carry, ";"});
  } else {
    Emit(ctx.Output, {bv, ":=", bv, "-", yv, "-", carry, ";"});
    Emit(ctx.Output, {av, ":=", av, "-", xv, ";"});
  }
  Claim(ctx, state, i + 2);
}

void RecognizeBorrowMask(Context& ctx, TLoopState& state) {
  // cmp a, x; sbb r, r: r - r - borrow, all ones where a lies below x
  // (unsigned), else 0.
  const int i = state.Index;
  const CodeTable& code = ctx.Code;
  const TOpCode& cmp = code.At(i);
  const TOpCode& sbb = code.At(i + 1);
  if (sbb.OpCode != "sbb" || sbb.Op1 != sbb.Op2 || !code.Op3(i).empty()) return;
  const OperandInfo r = Classify(sbb.Op1);
  const int bits = ComparedBits(ctx.Vars, cmp);
  if (r.Form != OperandForm::kRegister || r.Bits != 32 || bits == 0) return;
  // A part of a register, or a byte or word of memory, holds its value
  // unsigned; a number below zero would not be that value.
  if (bits < 32 && (TrimBoth(cmp.Op1).starts_with('-') || TrimBoth(cmp.Op2).starts_with('-'))) {
    return;
  }
  if (!Consumable(ctx, state, i, i + 1) || !FlagsUnread(ctx, i + 1)) return;
  EmitAndClaim(ctx, state,
               {Value(ctx.Vars, sbb.Op1), ":=-Ord(Cardinal(", Value(ctx.Vars, cmp.Op1),
                ") < Cardinal(", Value(ctx.Vars, cmp.Op2), "));"},
               i + 2);
}

void RecognizeSet(Context& ctx, TLoopState& state) {
  const int i = state.Index;
  SetStatement(ctx, state, ctx.Code.At(i), ComparedBits(ctx.Vars, ctx.Code.At(i)), i + 1);
}

void RecognizeConditionalMove(Context& ctx, TLoopState& state) {
  const int i = state.Index;
  ConditionalMoves(ctx, state, ctx.Code.At(i), ComparedBits(ctx.Vars, ctx.Code.At(i)), i + 1);
}

namespace {

bool IsLogic(std::string_view m) { return m == "and" || m == "or" || m == "xor"; }
bool IsArithmetic(std::string_view m) {
  return m == "add" || m == "sub" || m == "inc" || m == "dec" || m == "neg";
}

// Whether an entry after `from` and before `to` writes `name` (a saved
// register's variable, written so or under the register's own name).
bool WrittenUnder(const CodeTable& code, int from, int to, std::string_view name) {
  // Ends: the entries between, at most a few.
  for (int w = from + 1; w < to; ++w) {
    if (code.At(w).Op1 == name) return true;
  }
  return false;
}

// The comparison whose flags reach entry i through instructions that keep
// them and change nothing it reads: moves into registers it does not read
// (or memory, where it reads none) and jumps, taken or not, along the one
// way that comes to each entry (falling into it, or one jump where nothing
// falls into it and no jump through a pointer may come); 0 when there is
// none within a few entries. Where `results_too`, also logic or (with
// `arithmetic`) arithmetic whose result's operand nothing on the way
// changes: its flags compare that result with zero.
int CompareReaching(const Context& ctx, int i, bool results_too = false, bool arithmetic = false) {
  constexpr int kReach = 8;
  const CodeTable& code = ctx.Code;
  const RoutineFacts& facts = *ctx.Facts;
  RegSet written = 0;
  bool stores = false;
  int at = i;
  // Ends: at most kReach steps back.
  for (int step = 0; step < kReach; ++step) {
    const size_t here = static_cast<size_t>(at);
    int k = 0;  // the one entry control comes to `at` from
    if (facts.Incoming[here] == 0 && at > 1 && !EndsFlow(code.At(at - 1).OpCode)) {
      k = at - 1;
    } else if (facts.Incoming[here] == 1 && (at == 1 || EndsFlow(code.At(at - 1).OpCode)) &&
               !facts.JumpsIndirectly) {
      k = facts.FirstSource[here];
    }
    if (k < 1) return 0;
    const TOpCode& e = code.At(k);
    const std::string_view m = e.OpCode;
    if (m == "cmp" || m == "test") {
      const RegSet reads = static_cast<RegSet>(RegistersIn(e.Op1) | RegistersIn(e.Op2));
      const bool memory = e.Op1.find('[') != std::string_view::npos ||
                          e.Op2.find('[') != std::string_view::npos;
      // A variable's name hides what it reads, but for a saved register's,
      // which the way writes under that name or the register's.
      bool hidden = false;
      RegSet named_reads = 0;
      for (std::string_view op : {e.Op1, e.Op2}) {
        if (Classify(op).Form != OperandForm::kNone) continue;
        const RegSet reg = RegisterOfVariable(ctx.Vars, TrimBoth(op));
        hidden = hidden || reg == 0 || WrittenUnder(code, k, i, op);
        named_reads |= reg;
      }
      return ((reads | named_reads) & written) == 0 && !(memory && stores) && !hidden ? k : 0;
    }
    if (results_too && at != i && (IsLogic(m) || (arithmetic && IsArithmetic(m))) &&
        code.Op3(k).empty()) {
      const bool memory = e.Op1.find('[') != std::string_view::npos;
      const bool named = Classify(e.Op1).Form == OperandForm::kNone;
      // A saved register's variable is written on the way under its name
      // or the register's.
      const RegSet dest = named ? RegisterOfVariable(ctx.Vars, TrimBoth(e.Op1)) : RegisterOf(e.Op1);
      const bool renamed_written = named && WrittenUnder(code, k, i, e.Op1);
      if (memory ? stores : (dest == 0 || (dest & written) != 0 || renamed_written)) return 0;
      return k;
    }
    at = k;
    if (m.starts_with('j')) continue;  // a jump keeps the flags
    if ((m != "mov" && m != "lea" && m != "movzx" && m != "movsx") || !code.Op3(k).empty()) return 0;
    if (e.Op1.find('[') != std::string_view::npos) {
      stores = true;
    } else {
      const RegSet dest = RegisterOf(e.Op1);
      if (dest == 0 || (dest & kEsp) != 0) return 0;
      written |= dest;
    }
  }
  return 0;
}

}  // namespace

void RecognizeSetAfter(Context& ctx, TLoopState& state) {
  // The flags of logic (no carry, no overflow) compare its result with
  // zero, as a test of it with itself would; those of arithmetic only on
  // zero and sign, which the setcc mnemonics e, ne, s and ns read.
  const int i = state.Index;
  const TOpCode& e = ctx.Code.At(i);
  const TOpCode& before = ctx.Code.At(i - 1);
  const std::string_view m = before.OpCode;
  const std::string_view cc = e.OpCode.substr(e.OpCode.starts_with("cmov") ? 4 : 3);
  const bool zero_sign = cc == "e" || cc == "ne" || cc == "s" || cc == "ns";
  if (!ctx.Facts) return;
  int setter = i - 1;
  if (!IsLogic(m) && !(IsArithmetic(m) && zero_sign)) {
    // A comparison further back, whose flags jumps and moves kept (gcc
    // reuses a loop test's flags in the body), or a result so.
    const int k = CompareReaching(ctx, i, true, zero_sign);
    if (k == 0) return;
    const TOpCode& cmp = ctx.Code.At(k);
    setter = k;
    if (cmp.OpCode == "cmp" || cmp.OpCode == "test") {
      if (e.OpCode.starts_with("cmov")) {
        ConditionalMoves(ctx, state, cmp, ComparedBits(ctx.Vars, cmp), i);
      } else {
        SetStatement(ctx, state, cmp, ComparedBits(ctx.Vars, cmp), i);
      }
      return;
    }
  } else if (ctx.Facts->Incoming[static_cast<size_t>(i)] != 0) {
    return;
  }
  const TOpCode& result = ctx.Code.At(setter);
  TOpCode test;
  test.OpCode = "test";
  test.Op1 = test.Op2 = result.Op1;
  // The loop has put a variable's name in place of its operand: its width
  // is not known, and the assignment is exact only on equality; but for a
  // register's variable (a saved register), which is whole.
  const bool named = ClassifyIn(ctx.Vars, result.Op1).Form == OperandForm::kNone &&
                     (result.Op1.starts_with("Local_") || result.Op1.starts_with("Global_"));
  const int bits = named ? 16 : ComparedBits(ctx.Vars, test);
  if (e.OpCode.starts_with("cmov")) {
    ConditionalMoves(ctx, state, test, bits, i, IsArithmetic(result.OpCode));
  } else {
    SetStatement(ctx, state, test, bits, i);
  }
}

}  // namespace asm2pas

namespace asm2pas {

namespace {

// Whether `word` stands in the operand as a word of its own.
bool NamesWord(std::string_view op, std::string_view word) {
  auto word_char = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  };
  // Ends: every pass moves past one occurrence.
  for (size_t at = op.find(word); at != std::string_view::npos; at = op.find(word, at + 1)) {
    const size_t end = at + word.size();
    if ((at == 0 || !word_char(op[at - 1])) && (end == op.size() || !word_char(op[end]))) {
      return true;
    }
  }
  return false;
}

// Whether the operand may name a member of the ebx, esi or edi family:
// each such name holds a "b" before "x", "l" or "h", or an "i" after "s"
// or "d". Most operands hold neither, and are passed over at once.
bool MayNameKept(std::string_view op) {
  // The letter each pair ends in, by byte: "b" for "x", "l" and "h"; "s"
  // and "d" for "i" (marked 2). Most letters end none, told by one look.
  static constexpr auto kEnds = [] {
    std::array<uint8_t, 256> t{};
    t['x'] = t['l'] = t['h'] = 1;
    t['i'] = 2;
    return t;
  }();
  // Operands are short: one pass over the pairs of letters, with no call.
  // Ends: one pass over the operand.
  for (size_t at = 1; at < op.size(); ++at) {
    const uint8_t end = kEnds[static_cast<unsigned char>(op[at])];
    if (end == 0) continue;
    const char c = op[at - 1];
    if (end == 1 ? c == 'b' : (c == 's' || c == 'd')) return true;
  }
  return false;
}

}  // namespace

void KeepRegistersWhole(PassContext& ctx) {
  static constexpr std::string_view kFamilies[3][4] = {
      {"ebx", "bx", "bl", "bh"}, {"esi", "si", {}, {}}, {"edi", "di", {}, {}}};
  const CodeTable& code = ctx.Code;
  const RegSet family_bits[3] = {RegisterOf(kFamilies[0][0]), RegisterOf(kFamilies[1][0]),
                                 RegisterOf(kFamilies[2][0])};
  const RegSet watched = static_cast<RegSet>(family_bits[0] | family_bits[1] | family_bits[2]);
  // Which members of each family the listing names, as whole operands or
  // inside memory operands. Each operand's registers are read once, for
  // all three families.
  int used[3] = {};
  auto read = [&](std::string_view op) {
    // A size keyword holds no pair of letters a member's name has.
    if (op.size() > 10 && op[0] == 'd' && op.starts_with("dword ptr ")) op.remove_prefix(10);
    if (!MayNameKept(op)) return;
    // A member's name alone: that member, as the words below would tell.
    if (op.size() <= 3) {
      for (int f = 0; f < 3; ++f) {
        for (int m = 0; m < 4; ++m) {
          if (!kFamilies[f][m].empty() && op == kFamilies[f][m]) {
            used[f] |= 1 << m;
            return;
          }
        }
      }
    }
    const RegSet in = RegistersIn(op);
    if (!(in & watched)) return;
    for (int f = 0; f < 3; ++f) {
      if (!(in & family_bits[f])) continue;
      for (int m = 0; m < 4; ++m) {
        if (!kFamilies[f][m].empty() && NamesWord(op, kFamilies[f][m])) used[f] |= 1 << m;
      }
    }
  };
  // Ends: one pass over the table, three operands an entry.
  for (int i = 1; i <= code.CodeCount(); ++i) {
    const TOpCode& e = code.At(i);
    // A call's or a jump's operand is a name, not a register.
    if (e.OpCode == "call" || e.OpCode.starts_with("j")) continue;
    read(e.Op1);
    read(e.Op2);
    read(code.Op3(i));
  }
  for (int f = 0; f < 3; ++f) {
    if (used[f] == 0 || (used[f] & (used[f] - 1)) == 0) continue;  // one member at most
    // Several: the register and its parts keep their own names, which are
    // one register, so that what a part reads is what the whole was given.
    for (std::string_view member : kFamilies[f]) {
      if (member.empty()) continue;
      const int k = FindVar(ctx.Vars, member);
      if (k >= 1) ctx.Vars.Vars[static_cast<size_t>(k - 1)].NewName = std::string(member);
    }
  }
}

}  // namespace asm2pas
