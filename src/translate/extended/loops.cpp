#include "translate/extended/loops.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <vector>

#include "output/writer.h"
#include "translate/conditions.h"
#include "translate/extended/formula.h"
#include "translate/loops.h"
#include "translate/flow.h"

namespace asm2pas {

namespace {

bool IsAddOrSub(std::string_view m) { return m == "add" || m == "sub"; }

// The condition that ends with its jump at entry `last`, read from the
// furthest start that gives one (a load and a comparison before a
// comparison alone), or 0.
int ConditionEndingAt(Context& ctx, int last, int lowest, TIF& cond) {
  constexpr int kLongest = 12;  // a load, steps and a comparison
  const CodeTable& code = ctx.Code;
  // The extended conditions that end at `last` start there (a jump on the
  // flags before it), at the comparison before it, or at a load before
  // that comparison with only add or sub steps between: no other start
  // can give one, so only these are read (furthest first), not every
  // start within kLongest.
  int load = 0;
  if (code.At(last - 1).OpCode == "cmp") {
    load = last - 2;
    // Ends: load only falls, and stops at the first entry that is no step.
    while (load >= lowest && load > last - kLongest && IsAddOrSub(code.At(load).OpCode)) --load;
    if (code.At(load).OpCode != "mov") load = 0;
  }
  for (int start : {load, last - 1, last}) {
    if (start < lowest || start < last - kLongest || start < 1) continue;
    if (ReadCondition(ctx, start, cond) &&
        start + cond.Count - 1 == last) {
      return start;
    }
  }
  return 0;
}

}  // namespace

namespace {

// A loop whose last jump back to `top` stands at entry `last`.
[[gnu::noinline]] void RepeatUpTo(Context& ctx, TLoopState& state, int last) {
  const RoutineFacts* facts = ctx.Facts;
  const int top = state.Index;
  const CodeTable& code = ctx.Code;
  const uint32_t top_addr = code.At(top).Address;
  const uint32_t exit_addr = code.At(last + 1).Address;

  // The test: the conditions at the bottom, read upwards from the one
  // whose jump comes back, each jumping to the top, out of the loop or to
  // a condition below it.
  // They are read in place into the room for conditions (the first
  // `count`, bottom first), which the test's text is made of before the
  // body is translated.
  std::vector<TIF>& found = ctx.Conds;
  std::array<int, kMaxConds> starts;  // of found, bottom first
  int count = 0;
  int test_from = last + 1;
  // Ends: every pass moves test_from up by a condition's length, or stops;
  // at most kMaxConds conditions.
  while (count < kMaxConds) {
    TIF& cond = found[static_cast<size_t>(count)];
    const int start = ConditionEndingAt(ctx, test_from - 1, top, cond);
    if (start == 0) break;
    const bool back = cond.Target == top_addr;
    const bool below = std::find_if(starts.begin(), starts.begin() + count, [&](int k) {
                         return code.At(k).Address == cond.Target;
                       }) != starts.begin() + count;
    if (!back && cond.Target != exit_addr && !below) break;
    if (count == 0 && !back) break;  // the bottom jump is the one back
    starts[static_cast<size_t>(count++)] = start;
    test_from = start;
  }
  if (count == 0) return;
  // The whole loop is entered at its top only, and its jumps stay within
  // it or leave it for its exit.
  if (!facts->EnteredOnlyAtStart(top, last) || !facts->LeavesOnlyTo(top, last, last + 1)) return;

  // The test folds into one formula that leads to the top or out; fewer
  // conditions (from the bottom up) are read where all do not. "until"
  // states when the loop leaves.
  const size_t n = static_cast<size_t>(count);
  std::reverse(found.begin(), found.begin() + count);
  std::reverse(starts.begin(), starts.begin() + count);
  // Each jump's entry as the flow facts found it, which read the same
  // target address, where they found one.
  std::array<int, kMaxConds> jump_to;  // of found
  // Ends: one step per condition found.
  for (size_t k = 0; k < n; ++k) {
    const int known = facts->Target[static_cast<size_t>(starts[k] + found[k].Count - 1)];
    jump_to[k] = known >= 1 ? known : code.FindAddr(found[k].Target);
  }
  std::string text;
  bool folded = false;
  Formula& f = ctx.Fold;  // read anew each pass, in the same room
  // Ends: the conditions read shrink by one from the top each pass.
  for (size_t first = 0; first < n && !folded; ++first) {
    const std::span<const int> s(starts.data() + first, n - first);
    const std::span<const TIF> cs(found.data() + first, n - first);
    int on_true = 0, on_false = 0;
    if (!Reduce(s, {jump_to.data() + first, n - first}, last + 1, f, on_true, on_false, facts)) {
      continue;
    }
    if (facts->SamePlace(on_true, top) && facts->SamePlace(on_false, last + 1)) {
      Negate(f);  // the loop leaves where the conditions do not lead
    } else if (!(facts->SamePlace(on_false, top) && facts->SamePlace(on_true, last + 1))) {
      continue;
    }
    text = LoopTestText(cs, f);
    test_from = s.front();
    folded = true;
  }
  if (!folded) return;
  Emit(ctx.Output, "repeat", Shape::kOpens);
  ctx.Loops.push_back(LoopExits{test_from, last + 1});
  Translate(ctx, top, test_from - 1);
  ctx.Loops.pop_back();
  Emit(ctx.Output, {"until ", text, ";"}, Shape::kCloses);
  Claim(ctx, state, last + 1);
}

}  // namespace

void RecognizeRepeat(Context& ctx, TLoopState& state) {
  // Offered every entry: the tests most fail stand apart from the rest,
  // so that those entries cost no frame of it.
  const RoutineFacts* facts = ctx.Facts;
  const int top = state.Index;
  if (!facts || facts->Incoming[static_cast<size_t>(top)] == 0) return;
  const int last = facts->LastSource[static_cast<size_t>(top)];
  if (last <= top || last > state.LastIndex) return;
  RepeatUpTo(ctx, state, last);
}

}  // namespace asm2pas

namespace asm2pas {

namespace {

// The word a jump to `target` is in the innermost loop: "break;" where it
// goes where the loop's exit does, "continue;" where its next round
// starts, or null.
const char* LoopWord(const RoutineFacts& facts, LoopExits& loop, int target) {
  if (target < 1) return nullptr;
  // SamePlace(target, loop.Exit), then with loop.Continue, each place
  // found once.
  if (loop.ExitPlace < 0) {
    loop.ExitPlace = facts.Resolve(loop.Exit);
    loop.ContinuePlace = facts.Resolve(loop.Continue);
  }
  const int place = facts.Resolve(target);
  auto same = [&](int other, int other_place) {
    return other >= 1 && (other == target || other_place == place);
  };
  if (same(loop.Exit, loop.ExitPlace)) return "break;";
  if (same(loop.Continue, loop.ContinuePlace)) return "continue;";
  return nullptr;
}

// The jmp, or the condition, at the loop's entry that leaves the loop or
// goes on with it, where the first jump ahead may (RecognizeLoopJump).
[[gnu::noinline]] void LoopJumpAt(Context& ctx, TLoopState& state, LoopExits& loop) {
  const CodeTable& code = ctx.Code;
  const int a = state.Index;
  const RoutineFacts& facts = *ctx.Facts;
  if (code.At(a).OpCode == "jmp") {
    const char* w = LoopWord(facts, loop, facts.Target[static_cast<size_t>(a)]);
    Emit(ctx.Output, w);
    Claim(ctx, state, a + 1);
    return;
  }
  TIF& cond = ctx.Conds[0];
  if (!ReadCondition(ctx, a, cond)) return;
  const int jump = a + cond.Count - 1;
  if (jump > state.LastIndex) return;
  const char* w = LoopWord(facts, loop, facts.Target[static_cast<size_t>(jump)]);
  if (!w) return;
  Emit(ctx.Output, {"if ", ConditionText(cond, false), " then ", w});
  Claim(ctx, state, jump + 1);
}

}  // namespace

void RecognizeLoopJump(Context& ctx, TLoopState& state) {
  if (ctx.Loops.empty() || !ctx.Facts) return;
  LoopExits& loop = ctx.Loops.back();
  const int a = state.Index;
  const RoutineFacts& facts = *ctx.Facts;
  // Only a jmp, or a condition, whose jump leaves the loop or goes on with
  // it: the first jump ahead tells (for a jmp, itself), before the
  // condition is read. Most entries are told so; the rest stands apart, so
  // that those cost no frame of it.
  const int first_jump = a + std::min(int{facts.ToJump[static_cast<size_t>(a)]}, 12);
  const int ahead = std::min(first_jump, ctx.Code.CodeCount());
  if (LoopWord(facts, loop, facts.Target[static_cast<size_t>(ahead)])) LoopJumpAt(ctx, state, loop);
}

}  // namespace asm2pas
