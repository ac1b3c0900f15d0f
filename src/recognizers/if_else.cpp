#include "recognizers/if_else.h"

#include <memory>
#include <optional>
#include <string>

#include "listing/number.h"
#include "output/writer.h"
#include "recognizers/conditions.h"

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

// Decides whether an if starts at the current entry and, if so, emits its
// header lines. Nothing is emitted unless the whole statement lies ahead
// within the range being translated.
[[gnu::noinline]] std::optional<IfPlan> PlanIf(RunState& run, const TLoopState& state) {
  const CodeTable& code = run.Code;
  const int a = state.Index;
  auto conds = std::make_unique<TIF[]>(kMaxConds);  // off the stack
  if (!ParseCondition(code, run.Vars, a, conds[0])) return std::nullopt;
  int count = 1;
  int p = a + conds[0].Count;
  if (p - 1 > state.LastIndex) return std::nullopt;
  uint32_t else_addr = 0, end_if_addr = 0;
  uint32_t then_addr = conds[0].Target;
  bool falls_through = false;  // the then part starts right after the conditions

  // Ends: at most kMaxConds conditions, each consuming at least two entries.
  while (count < kMaxConds && ParseCondition(code, run.Vars, p, conds[count])) {
    const TIF& c = conds[count];
    if (p + c.Count - 1 > state.LastIndex) break;  // runs out of the range
    if (JmpBefore(code, c.Target)) {
      else_addr = c.Target;
    } else if (c.Target != then_addr) {
      end_if_addr = c.Target;
    }
    ++count;
    p += c.Count;
  }

  if (count == 1) {
    then_addr = code.At(p).Address;  // the fall-through
    falls_through = true;
    if (JmpBefore(code, conds[0].Target)) {
      else_addr = conds[0].Target;
    } else {
      end_if_addr = conds[0].Target;
    }
  } else if (else_addr == then_addr || (else_addr == 0 && end_if_addr == 0)) {
    // No later condition marks where the then part starts: the conditions
    // all skip it, so it follows them, as with a single condition.
    bool neither = else_addr == 0 && end_if_addr == 0;
    then_addr = code.At(p).Address;
    falls_through = true;
    if (neither) end_if_addr = conds[0].Target;
  }

  IfPlan plan;
  if (else_addr != 0) {
    const int e = code.FindAddr(else_addr);
    if (e < p + 1) return std::nullopt;
    std::optional<uint32_t> x = BareHex(code.At(e - 1).Op1);
    if (!x) return std::nullopt;
    const int k = code.FindAddr(*x);
    if (k < e || k - 1 > state.LastIndex) return std::nullopt;
    // A fall-through then part starts at entry p itself, even where an
    // earlier entry carries the same address.
    const int t = falls_through ? p : code.FindAddr(then_addr);
    if (t < p || t > e - 1) return std::nullopt;
    plan.ThenFrom = t;
    plan.ThenTo = e - 2;
    plan.HasElse = true;
    plan.ElseFrom = e;
    plan.ElseTo = k - 1;
    plan.Next = k;
  } else if (end_if_addr != 0) {
    const int m = code.FindAddr(end_if_addr);
    if (m < p || m - 1 > state.LastIndex) return std::nullopt;
    // With several conditions the first one jumps to the start of the then
    // part, which must lie within it; one that jumps back (a loop's test)
    // or past the end makes no if of these conditions.
    if (!falls_through) {
      const int t = code.FindAddr(then_addr);
      if (t < p || t > m - 1) return std::nullopt;
    }
    plan.ThenFrom = p;
    plan.ThenTo = m - 1;
    plan.Next = m;
  } else {
    return std::nullopt;
  }

  // The texts are made against the final three addresses.
  auto text = [&](int n) {
    return IfConditionText(conds[n], then_addr, else_addr, end_if_addr);
  };
  if (count == 1) {
    Emit(run.Output, "if " + text(0) + " then begin");
  } else {
    Emit(run.Output, "if (" + text(0) + ")");
    for (int n = 1; n < count - 1; ++n) Emit(run.Output, "and (" + text(n) + ")");
    Emit(run.Output, "and (" + text(count - 1) + ") then begin");
  }
  return plan;
}

}  // namespace

void RecognizeIf(RunState& run, TLoopState& state) {
  if (state.Handled) return;
  std::optional<IfPlan> plan = PlanIf(run, state);
  if (!plan) return;
  Translate(run, plan->ThenFrom, plan->ThenTo);
  if (plan->HasElse) {
    Emit(run.Output, "end else begin");
    Translate(run, plan->ElseFrom, plan->ElseTo);
  }
  Emit(run.Output, "end; { if }");
  Claim(run, state, plan->Next);
}

}  // namespace asm2pas
