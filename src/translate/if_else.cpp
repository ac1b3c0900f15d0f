#include "translate/if_else.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "listing/number.h"
#include "output/writer.h"
#include "translate/conditions.h"

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
Fit Place(const CodeTable& code, const TLoopState& state, const IfLayout& l, IfPlan& plan) {
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
    if (k < e || k - 1 > state.LastIndex) return Fit::kNoFit;
    if (t < p || t > e - 1) return Fit::kNoFit;
    // The then part runs from its start up to the jmp; instructions between
    // the conditions and that start would be lost.
    if (t != p) return Fit::kThenStartOutside;
    plan = IfPlan{p, e - 2, true, e, k - 1, k};
    return Fit::kFits;
  }
  if (l.EndIfAddr != 0) {
    const int m = code.FindAddr(l.EndIfAddr);
    if (m < p || m - 1 > state.LastIndex) return Fit::kNoFit;
    // The first of several conditions jumps into the then part; one that
    // jumps back (a loop's test) or past the end does not start this if.
    if (!l.FallsThrough && (t < p || t > m - 1)) return Fit::kThenStartOutside;
    plan = IfPlan{p, m - 1, false, 0, -1, m};
    return Fit::kFits;
  }
  return Fit::kNoFit;
}

// Decides whether an if starts at the current entry and, if so, emits its
// header lines. Nothing is emitted unless the whole statement lies ahead
// within the range being translated.
[[gnu::noinline]] std::optional<IfPlan> PlanIf(Context& ctx, const TLoopState& state) {
  const CodeTable& code = ctx.Code;
  const int a = state.Index;
  std::vector<TIF>& conds = ctx.Conds;  // off the stack, shared by all levels
  if (!ParseCondition(code, ctx.Vars, a, conds[0])) return std::nullopt;
  if (a + conds[0].Count - 1 > state.LastIndex) return std::nullopt;

  IfLayout l;
  l.P = a + conds[0].Count;
  l.ThenAddr = conds[0].Target;
  // Ends: at most kMaxConds conditions, each consuming at least two entries.
  while (l.Count < kMaxConds && ParseCondition(code, ctx.Vars, l.P, conds[l.Count])) {
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
  Fit fit = Place(code, state, l, plan);
  if (fit == Fit::kThenStartOutside) {
    // These conditions are no single if (an if at the start of the then
    // part, a loop's test before an if, a chain of case tests): read the
    // first condition alone; the rest belongs to its then part.
    l = SingleCondition(code, a, conds[0]);
    fit = Place(code, state, l, plan);
  }
  if (fit != Fit::kFits) return std::nullopt;

  // The texts are made against the final three addresses.
  auto text = [&](int n) {
    return IfConditionText(conds[n], l.ThenAddr, l.ElseAddr, l.EndIfAddr);
  };
  if (l.Count == 1) {
    Emit(ctx.Output, {"if ", text(0), " then begin"});
  } else {
    Emit(ctx.Output, {"if (", text(0), ")"});
    for (int n = 1; n < l.Count - 1; ++n) Emit(ctx.Output, {"and (", text(n), ")"});
    Emit(ctx.Output, {"and (", text(l.Count - 1), ") then begin"});
  }
  return plan;
}

}  // namespace

void RecognizeIf(Context& ctx, TLoopState& state) {
  std::optional<IfPlan> plan = PlanIf(ctx, state);
  if (!plan) return;
  Translate(ctx, plan->ThenFrom, plan->ThenTo);
  if (plan->HasElse) {
    Emit(ctx.Output, "end else begin");
    Translate(ctx, plan->ElseFrom, plan->ElseTo);
  }
  Emit(ctx.Output, "end; { if }");
  Claim(ctx, state, plan->Next);
}

}  // namespace asm2pas
