#include "translate/if_else.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "listing/number.h"
#include "output/writer.h"
#include "translate/conditions.h"
#include "translate/extended/formula.h"
#include "translate/flow.h"

namespace asm2pas {

namespace {

// What the recogniser decided, in table positions; only plain numbers, so
// that the recursion through the branches keeps small frames.
struct IfPlan {
  int ThenFrom = 0, ThenTo = -1;
  bool HasElse = false;
  int ElseFrom = 0, ElseTo = -1;
  int Next = 0;  // the first entry after the statement
};

// The instruction before address t is a jmp over an else part: a jmp whose
// own target lies at or after t. A jmp that goes back (the bottom of a loop)
// skips nothing, so it makes no else part. `idx`: the entry t names.
bool JmpBefore(const CodeTable& code, uint32_t t, int idx) {
  if (idx < 2) return false;
  const TOpCode& jmp = code.At(idx - 1);
  if (jmp.OpCode != "jmp") return false;
  std::optional<uint32_t> target = BareHex(jmp.Op1);
  return target && *target >= t;
}
bool JmpBefore(const CodeTable& code, uint32_t t) { return JmpBefore(code, t, code.FindAddr(t)); }

// Where the conditions say the parts of the statement are.
struct IfLayout {
  int Count = 1;  // conditions used
  int P = 0;      // the first entry after them
  uint32_t ThenAddr = 0, ElseAddr = 0, EndIfAddr = 0;  // 0: unset
  bool FallsThrough = false;  // the then part starts at entry P
  // The entry ElseAddr or EndIfAddr names, where known (0: looked up).
  int SkipIndex = 0;
};

// One condition: the then part follows it; its jump goes to the else part
// (behind a jmp over it) or to the end.
IfLayout SingleCondition(const CodeTable& code, int a, const TIF& cond) {
  IfLayout l;
  l.P = a + cond.Count;
  l.ThenAddr = code.At(l.P).Address;
  l.FallsThrough = true;
  if (JmpBefore(code, cond.Target)) {
    l.ElseAddr = cond.Target;
  } else {
    l.EndIfAddr = cond.Target;
  }
  return l;
}

enum class Fit { kFits, kNoFit, kThenStartOutside };

// Places the parts of the statement in the table. Every part must be found
// and lie ahead, within the range being translated, and no instruction may
// fall between the conditions and the then part unprinted.
//
// In the extended reading, a then part whose jmp leaves the range being
// translated (an exit, a break) is no jmp over an else part: the then part
// runs up to and with the jmp, and the statement ends where the jmp stands.
//
// Where the reading knows the flow, a jump past the range that ends where
// the range's next entry leads (a jmp there goes on to it) ends the
// statement at that next entry.
Fit Place(const Context& ctx, const TLoopState& state, const IfLayout& l, IfPlan& plan) {
  const CodeTable& code = ctx.Code;
  const int p = l.P;
  auto end_at = [&](int m) {
    if (ctx.Facts && m - 1 > state.LastIndex && ctx.Facts->SamePlace(m, state.LastIndex + 1)) {
      return state.LastIndex + 1;
    }
    return m;
  };
  // A fall-through then part starts at entry p itself, even where an
  // earlier entry carries the same address.
  const int t = l.FallsThrough ? p : code.FindAddr(l.ThenAddr);
  if (l.ElseAddr != 0) {
    const int e = l.SkipIndex ? l.SkipIndex : code.FindAddr(l.ElseAddr);
    if (e < p + 1) return Fit::kNoFit;
    std::optional<uint32_t> x = BareHex(code.At(e - 1).Op1);
    if (!x) return Fit::kNoFit;
    // Where the flow facts found the jmp's entry, they read the same address.
    const int known = ctx.Facts ? ctx.Facts->Target[static_cast<size_t>(e) - 1] : 0;
    const int k = end_at(known >= 1 ? known : code.FindAddr(*x));
    if (t < p || t > e - 1) return Fit::kNoFit;
    if (ctx.Facts && (k < 1 || k - 1 > state.LastIndex) && e - 1 <= state.LastIndex) {
      if (t != p) return Fit::kThenStartOutside;
      plan = IfPlan{p, e - 1, false, 0, -1, e};
      return Fit::kFits;
    }
    if (k < e || k - 1 > state.LastIndex) return Fit::kNoFit;
    // The then part runs from its start up to the jmp; instructions between
    // the conditions and that start would be lost.
    if (t != p) return Fit::kThenStartOutside;
    plan = IfPlan{p, e - 2, true, e, k - 1, k};
    return Fit::kFits;
  }
  if (l.EndIfAddr != 0) {
    const int m = end_at(l.SkipIndex ? l.SkipIndex : code.FindAddr(l.EndIfAddr));
    if (m < p || m - 1 > state.LastIndex) return Fit::kNoFit;
    // The first of several conditions jumps to the then part, which starts
    // right after them; a target elsewhere (a loop's test jumping back, an
    // if inside the then part, the end) does not start this if.
    if (!l.FallsThrough && t != p) return Fit::kThenStartOutside;
    plan = IfPlan{p, m - 1, false, 0, -1, m};
    return Fit::kFits;
  }
  return Fit::kNoFit;
}

// Where the first `count` conditions (starting at entry a) say the parts
// of the statement are.
IfLayout LayoutOf(const CodeTable& code, int a, const std::vector<TIF>& conds, int count) {
  if (count == 1) return SingleCondition(code, a, conds[0]);
  IfLayout l;
  l.Count = count;
  l.P = a + conds[0].Count;
  l.ThenAddr = conds[0].Target;
  for (int n = 1; n < count; ++n) {
    const TIF& c = conds[static_cast<size_t>(n)];
    if (JmpBefore(code, c.Target)) {
      l.ElseAddr = c.Target;
    } else if (c.Target != l.ThenAddr) {
      l.EndIfAddr = c.Target;
    }
    l.P += c.Count;
  }
  if (l.ElseAddr == l.ThenAddr || (l.ElseAddr == 0 && l.EndIfAddr == 0)) {
    // No later condition marks where the then part starts: the conditions
    // all skip it, so it follows them, as with a single condition.
    if (l.ElseAddr == 0 && l.EndIfAddr == 0) l.EndIfAddr = conds[0].Target;
    l.ThenAddr = code.At(l.P).Address;
    l.FallsThrough = true;
  }
  return l;
}

// Whether the printed header of several conditions states when the code
// enters the then part, which starts right after them: every condition
// jumps to the then part or to the one place that skips it (the else part,
// or else the end), and the last one skips it (one that jumped to the then
// part right after it would make the whole header true).
bool ChainHolds(const std::vector<TIF>& conds, const IfLayout& l) {
  const uint32_t skip = l.ElseAddr != 0 ? l.ElseAddr : l.EndIfAddr;
  for (int n = 0; n < l.Count; ++n) {
    const uint32_t t = conds[n].Target;
    if (t != l.ThenAddr && t != skip) return false;
  }
  return conds[l.Count - 1].Target == skip && skip != l.ThenAddr;
}

// Whether the conditions, the then part and the else part are each entered
// only at their start.
bool EnteredAtStarts(const RoutineFacts& facts, int a, const IfPlan& plan) {
  return facts.EnteredOnlyAtStart(a, plan.ThenFrom - 1) &&
         facts.EnteredOnlyAtStart(plan.ThenFrom, plan.ThenTo) &&
         (!plan.HasElse || facts.EnteredOnlyAtStart(plan.ElseFrom, plan.ElseTo));
}

// The header's lines for a formula over the conditions.
void EmitHeader(Context& ctx, const std::vector<TIF>& conds, const Formula& f) {
  const std::vector<Piece> pieces = Pieces(f);
  if (pieces.size() == 1) {
    Emit(ctx.Output, {"if ", ConditionText(conds[static_cast<size_t>(pieces[0].Cond)],
                                           pieces[0].Negated),
                      " then begin"},
         Shape::kOpens);
    return;
  }
  for (size_t n = 0; n < pieces.size(); ++n) {
    const Piece& piece = pieces[n];
    const bool last = n + 1 == pieces.size();
    const std::string opens(static_cast<size_t>(piece.Opens), '(');
    const std::string closes(static_cast<size_t>(piece.Closes), ')');
    Emit(ctx.Output,
         {n == 0 ? "if " : piece.Word, n == 0 ? "" : " ", opens, "(",
          ConditionText(conds[static_cast<size_t>(piece.Cond)], piece.Negated), ")", closes,
          last ? " then begin" : ""},
         last ? Shape::kOpens : Shape::kLine);
  }
}

// The extended reading's if: the conditions that follow one another fold
// into one formula (see Reduce), the then part follows them and the one
// other place they lead to is the else part or the end. Fewer conditions
// are read where all of them do not fold so.
std::optional<IfPlan> PlanIfByFormula(Context& ctx, const TLoopState& state, int collected) {
  const CodeTable& code = ctx.Code;
  const std::vector<TIF>& conds = ctx.Conds;
  const int a = state.Index;
  const RoutineFacts& facts = *ctx.Facts;
  ConditionChain chain(code, facts, conds, a, collected);
  Formula& f = ctx.Fold;  // read anew each pass, in the same room
  // Ends: count falls by one each pass, down to 1.
  for (int count = collected; count >= 1; --count) {
    int on_true = 0, on_false = 0, after = 0;
    if (!chain.ReduceFirst(conds, count, facts, f, on_true, on_false, after)) continue;
    int skip = on_false;
    if (facts.SamePlace(on_false, after)) {
      Negate(f);  // the then part runs where the conditions do not lead
      skip = on_true;
    } else if (!facts.SamePlace(on_true, after)) {
      continue;  // the then part must follow the conditions
    }
    // The place is compared where its jmps lead; the statement ends, or
    // its else part starts, where the conditions' own jumps go.
    for (int to : chain.JumpTo()) {
      if (to >= 1 && facts.SamePlace(to, skip)) {
        skip = to;
        break;
      }
    }
    if (skip <= after) continue;
    IfLayout l;
    l.Count = count;
    l.P = after;
    l.ThenAddr = code.At(after).Address;
    l.FallsThrough = true;
    const uint32_t skip_addr = code.At(skip).Address;
    // Where every address names one entry, skip is the one its address
    // names.
    const int skip_index =
        code.Ascending() && code.Valid(skip) ? skip : code.FindAddr(skip_addr);
    if (JmpBefore(code, skip_addr, skip_index)) {
      l.ElseAddr = skip_addr;
    } else {
      l.EndIfAddr = skip_addr;
    }
    l.SkipIndex = skip_index;
    IfPlan plan;
    if (Place(ctx, state, l, plan) != Fit::kFits) continue;
    if (!EnteredAtStarts(*ctx.Facts, a, plan)) continue;
    EmitHeader(ctx, conds, f);
    return plan;
  }
  return std::nullopt;
}

// Decides whether an if starts at the current entry and, if so, emits its
// header lines. Nothing is emitted unless the whole statement lies ahead
// within the range being translated.
[[gnu::noinline]] std::optional<IfPlan> PlanIf(Context& ctx, const TLoopState& state) {
  const CodeTable& code = ctx.Code;
  const int a = state.Index;
  std::vector<TIF>& conds = ctx.Conds;  // off the stack, shared by all levels
  if (!ReadCondition(ctx, a, conds[0])) return std::nullopt;
  if (a + conds[0].Count - 1 > state.LastIndex) return std::nullopt;

  int collected = 1;
  int p = a + conds[0].Count;
  // Ends: at most kMaxConds conditions, each consuming at least two entries.
  while (collected < kMaxConds && ReadCondition(ctx, p, conds[collected])) {
    const TIF& c = conds[collected];
    if (p + c.Count - 1 > state.LastIndex) break;  // runs out of the range
    ++collected;
    p += c.Count;
  }

  if (ctx.Facts) return PlanIfByFormula(ctx, state, collected);

  IfLayout l = LayoutOf(code, a, conds, collected);
  IfPlan plan;
  Fit fit = Place(ctx, state, l, plan);
  if (fit == Fit::kFits && l.Count > 1 && !ChainHolds(conds, l)) fit = Fit::kThenStartOutside;
  // These conditions are no single if (an if at the start of the then
  // part, a loop's test before an if, a chain of case tests, conditions
  // that lead elsewhere): read fewer, down to the first alone; the rest
  // belongs to the then part.
  // Ends: count falls by one each pass, down to 1.
  for (int count = collected - 1; fit == Fit::kThenStartOutside && count >= 1; --count) {
    l = LayoutOf(code, a, conds, count);
    fit = Place(ctx, state, l, plan);
    if (fit == Fit::kFits && count > 1 && !ChainHolds(conds, l)) fit = Fit::kThenStartOutside;
    if (fit == Fit::kNoFit && count > 1) fit = Fit::kThenStartOutside;
  }
  if (fit != Fit::kFits) return std::nullopt;


  // The texts are made against the final three addresses.
  auto text = [&](int n) {
    return IfConditionText(conds[n], l.ThenAddr, l.ElseAddr, l.EndIfAddr);
  };
  if (l.Count == 1) {
    Emit(ctx.Output, {"if ", text(0), " then begin"}, Shape::kOpens);
    return plan;
  }
  // One line a condition, each joined to the one before it by what that
  // one does when taken: "or" when it enters the then part, "and" when it
  // skips it.
  bool enters[kMaxConds];
  for (int n = 0; n < l.Count; ++n) enters[n] = conds[n].Target == l.ThenAddr;
  int groups = 0;
  std::string open;  // a group opened before the next condition
  Emit(ctx.Output, {"if (", text(0), ")"});
  for (int n = 1; n < l.Count; ++n) {
    const Join join = JoinAfter(enters, n - 1, l.Count);
    groups += join.OpensGroup;
    const bool last = n == l.Count - 1;
    const std::string closing = last ? std::string(static_cast<size_t>(groups), ')') : "";
    Emit(ctx.Output, {join.Word, join.OpensGroup ? " ((" : " (", text(n), ")", closing,
                      last ? " then begin" : ""},
         last ? Shape::kOpens : Shape::kLine);
  }
  return plan;
}

}  // namespace

void RecognizeIf(Context& ctx, TLoopState& state) {
  std::optional<IfPlan> plan = PlanIf(ctx, state);
  if (!plan) return;
  Translate(ctx, plan->ThenFrom, plan->ThenTo);
  if (plan->HasElse) {
    Emit(ctx.Output, "end else begin", Shape::kMiddle);
    Translate(ctx, plan->ElseFrom, plan->ElseTo);
  }
  Emit(ctx.Output, "end; { if }", Shape::kCloses);
  Claim(ctx, state, plan->Next);
}

}  // namespace asm2pas
