#include "translate/extended/exits.h"

#include <algorithm>

#include "naming/vars.h"
#include "output/writer.h"
#include "translate/conditions.h"
#include "translate/flow.h"

namespace asm2pas {

namespace {

bool IsClear(const TOpCode& e) { return e.OpCode == "xor" && e.Op1 == e.Op2; }

// The number of moves from entry t on before the exit (0: t is the exit),
// or -1 when t does not lead to it so. Compilers set the result in such a
// tail of the body and jump there to return; the jump does what the tail
// does, then leaves.
int TailBefore(const Context& ctx, int t) {
  constexpr int kLongestTail = 3;
  const RoutineFacts& facts = *ctx.Facts;
  // SamePlace(t + k, exit), with the exit's place found once.
  const int exit = facts.Resolve(facts.Body.Exit);
  // Ends: at most kLongestTail steps.
  for (int k = 0; k <= kLongestTail && ctx.Code.Valid(t + k); ++k) {
    if (facts.Resolve(t + k) == exit) return k;
    const TOpCode& e = ctx.Code.At(t + k);
    if (e.OpCode != "mov" && !IsClear(e)) return -1;
  }
  return -1;
}

// The tail's statements, as the mov and xor recognisers print them.
void EmitTail(Context& ctx, int t, int length) {
  // Ends: at most the tail's length.
  for (int k = 0; k < length; ++k) {
    const TOpCode& e = ctx.Code.At(t + k);
    if (IsClear(e)) {
      Emit(ctx.Output, {VarName(ctx.Vars, e.Op1), ":=0;"});
    } else {
      Emit(ctx.Output, {VarName(ctx.Vars, e.Op1), ":=", VarName(ctx.Vars, e.Op2), ";"});
    }
  }
}

}  // namespace

namespace {

// An exit at the loop's entry, which MayExitFrom lets through.
[[gnu::noinline]] void ExitAt(Context& ctx, TLoopState& state) {
  const RoutineFacts* facts = ctx.Facts;
  const int a = state.Index;
  const CodeTable& code = ctx.Code;
  if (code.At(a).OpCode == "ret") {
    // The exit itself, where code follows it in the body.
    if (a != facts->Body.Exit) return;
    Emit(ctx.Output, "exit;");
    Claim(ctx, state, a + 1);
    return;
  }
  // A condition ends with the first jump after its start, with a load,
  // steps and a comparison before it.
  // It is looked for as this loop would, from the facts, which tell how
  // far the next jump and the first entry that is no step stand:
  //   jump = a;
  //   while (jump < last && jump < a + kLongest && entry jump is no jump) {
  //     if (!IsConditionStep(entry jump)) return;
  //     ++jump;
  //   }
  constexpr int kLongest = RoutineFacts::kExitReach;
  const size_t at = static_cast<size_t>(a);
  const int jump = std::max(a, std::min({state.LastIndex, a + kLongest, a + facts->ToJump[at]}));
  if (a + facts->ToNoStep[at] < jump) return;
  const std::string_view m = code.At(jump).OpCode;
  const int target = m.starts_with('j') ? facts->Target[static_cast<size_t>(jump)] : 0;
  const int tail = target >= 1 ? TailBefore(ctx, target) : -1;
  if (tail < 0) return;
  if (jump == a && m == "jmp") {
    EmitTail(ctx, target, tail);
    // At the very end of the body a jump to the exit is just the end.
    if (a != facts->Body.Last) Emit(ctx.Output, "exit;");
    Claim(ctx, state, a + 1);
    return;
  }
  TIF& cond = ctx.Conds[0];
  if (!ParseCondition(code, ctx.Vars, a, cond, ctx.Rules) || a + cond.Count - 1 != jump) return;
  if (tail == 0) {
    Emit(ctx.Output, {"if ", ConditionText(cond, false), " then exit;"});
  } else {
    Emit(ctx.Output, {"if ", ConditionText(cond, false), " then begin"}, Shape::kOpens);
    EmitTail(ctx, target, tail);
    Emit(ctx.Output, "exit;");
    Emit(ctx.Output, "end; { if }", Shape::kCloses);
  }
  Claim(ctx, state, jump + 1);
}

}  // namespace

void RecognizeExit(Context& ctx, TLoopState& state) {
  // Offered every entry, most of which are told at once: neither a return
  // nor within reach of a jump near the exit. The rest stands apart, so
  // that those entries cost no frame of it.
  const RoutineFacts* facts = ctx.Facts;
  if (!facts || facts->Body.Exit == 0 || !facts->MayExitFrom(state.Index)) return;
  ExitAt(ctx, state);
}

}  // namespace asm2pas
