#include "translate/if_else.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "listing/number.h"
#include "output/writer.h"
#include "translate/conditions.h"
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
// skips nothing, so it makes no else part.
bool JmpBefore(const CodeTable& code, uint32_t t) {
  int idx = code.FindAddr(t);
  if (idx < 2) return false;
  const TOpCode& jmp = code.At(idx - 1);
  if (jmp.OpCode != "jmp") return false;
  std::optional<uint32_t> target = BareHex(jmp.Op1);
  return target && *target >= t;
}

// Where the conditions say the parts of the statement are.
struct IfLayout {
  int Count = 1;  // conditions used
  int P = 0;      // the first entry after them
  uint32_t ThenAddr = 0, ElseAddr = 0, EndIfAddr = 0;  // 0: unset
  bool FallsThrough = false;  // the then part starts at entry P
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
Fit Place(const Context& ctx, const TLoopState& state, const IfLayout& l, IfPlan& plan) {
  const CodeTable& code = ctx.Code;
  const int p = l.P;
  // A fall-through then part starts at entry p itself, even where an
  // earlier entry carries the same address.
  const int t = l.FallsThrough ? p : code.FindAddr(l.ThenAddr);
  if (l.ElseAddr != 0) {
    const int e = code.FindAddr(l.ElseAddr);
    if (e < p + 1) return Fit::kNoFit;
    std::optional<uint32_t> x = BareHex(code.At(e - 1).Op1);
    if (!x) return Fit::kNoFit;
    const int k = code.FindAddr(*x);
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
    const int m = code.FindAddr(l.EndIfAddr);
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

// Decides whether an if starts at the current entry and, if so, emits its
// header lines. Nothing is emitted unless the whole statement lies ahead
// within the range being translated.
[[gnu::noinline]] std::optional<IfPlan> PlanIf(Context& ctx, const TLoopState& state) {
  const CodeTable& code = ctx.Code;
  const int a = state.Index;
  std::vector<TIF>& conds = ctx.Conds;  // off the stack, shared by all levels
  if (!ParseCondition(code, ctx.Vars, a, conds[0], ctx.Rules)) return std::nullopt;
  if (a + conds[0].Count - 1 > state.LastIndex) return std::nullopt;

  IfLayout l;
  l.P = a + conds[0].Count;
  l.ThenAddr = conds[0].Target;
  // Ends: at most kMaxConds conditions, each consuming at least two entries.
  while (l.Count < kMaxConds && ParseCondition(code, ctx.Vars, l.P, conds[l.Count], ctx.Rules)) {
    const TIF& c = conds[l.Count];
    if (l.P + c.Count - 1 > state.LastIndex) break;  // runs out of the range
    if (JmpBefore(code, c.Target)) {
      l.ElseAddr = c.Target;
    } else if (c.Target != l.ThenAddr) {
      l.EndIfAddr = c.Target;
    }
    ++l.Count;
    l.P += c.Count;
  }

  if (l.Count == 1) {
    l = SingleCondition(code, a, conds[0]);
  } else if (l.ElseAddr == l.ThenAddr || (l.ElseAddr == 0 && l.EndIfAddr == 0)) {
    // No later condition marks where the then part starts: the conditions
    // all skip it, so it follows them, as with a single condition.
    if (l.ElseAddr == 0 && l.EndIfAddr == 0) l.EndIfAddr = conds[0].Target;
    l.ThenAddr = code.At(l.P).Address;
    l.FallsThrough = true;
  }

  IfPlan plan;
  Fit fit = Place(ctx, state, l, plan);
  if (fit == Fit::kFits && l.Count > 1 && !ChainHolds(conds, l)) fit = Fit::kThenStartOutside;
  if (fit == Fit::kThenStartOutside) {
    // These conditions are no single if (an if at the start of the then
    // part, a loop's test before an if, a chain of case tests, conditions
    // that lead elsewhere): read the first condition alone; the rest
    // belongs to its then part.
    l = SingleCondition(code, a, conds[0]);
    fit = Place(ctx, state, l, plan);
  }
  if (fit != Fit::kFits) return std::nullopt;
  // Where the reading knows the flow: the conditions, the then part and the
  // else part are each entered only at their start.
  if (ctx.Facts && (!ctx.Facts->EnteredOnlyAtStart(a, plan.ThenFrom - 1) ||
                    !ctx.Facts->EnteredOnlyAtStart(plan.ThenFrom, plan.ThenTo) ||
                    (plan.HasElse && !ctx.Facts->EnteredOnlyAtStart(plan.ElseFrom, plan.ElseTo)))) {
    return std::nullopt;
  }

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
