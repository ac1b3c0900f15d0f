#include "translate/loops.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "listing/number.h"
#include "naming/vars.h"
#include "output/writer.h"
#include "translate/conditions.h"
#include "translate/extended/formula.h"
#include "translate/filler.h"
#include "translate/flow.h"

namespace asm2pas {

namespace {

struct LoopPlan {
  int BodyFrom = 0, BodyTo = -1;
  int Next = 0;      // the first entry after the loop
  int Continue = 0;  // where a jump goes on with the next round
};

// One counted-loop layout, as offsets from the current entry b. The counter
// text is Op1 of entry b + Counter; start and end texts are Op2 of theirs.
struct ForLayout {
  std::string_view Ops[5];  // mnemonics at b .. b+4; empty: any
  int EqualA, EqualB;       // offsets whose Op1 must agree; -1: no test
  int Guard;                // offset of the guarding jump past the loop
  std::string_view Step;    // the count step before the closing jnz
  int Counter, Start, End;
  const char* Direction;
  int BodyOffset;           // first body entry
};

constexpr ForLayout kForLayouts[] = {
    {{"mov", "sub", "jl", {}, {}}, 0, 1, 2, "dec", 0, 1, 0, " to ", 3},
    {{"mov", "sub", "jnle", {}, {}}, 0, 1, 2, "inc", 0, 1, 0, " downto ", 3},
    {{"mov", "mov", "sub", "jl", "inc"}, 2, 1, 3, "dec", 2, 0, 1, " to ", 5},
    {{"mov", "mov", "sub", "jnle", "dec"}, -1, -1, 3, "inc", 2, 0, 1, " downto ", 5},
};

// Every mov of the listing is held against the layouts: for texts of a few
// letters a plain loop costs less than a call to the general comparison.
bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  // Ends: one pass over the letters.
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// `ops` holds the mnemonics at b .. b+4, read once for all the layouts.
bool LayoutMatches(const CodeTable& code, int b, const std::string_view (&ops)[5],
                   const ForLayout& l) {
  for (int k = 0; k < 5; ++k) {
    if (!l.Ops[k].empty() && !SameText(ops[k], l.Ops[k])) return false;
  }
  if (l.EqualA >= 0 && code.At(b + l.EqualA).Op1 != code.At(b + l.EqualB).Op1) return false;
  return true;
}

[[gnu::noinline]] std::optional<LoopPlan> PlanFor(Context& ctx, const TLoopState& state) {
  const CodeTable& code = ctx.Code;
  const int b = state.Index;
  // Every layout has a sub in the second or third place; most movs are
  // followed by neither.
  if (code.At(b + 1).OpCode != "sub" && code.At(b + 2).OpCode != "sub") return std::nullopt;
  std::string_view ops[5];
  for (int k = 0; k < 5; ++k) ops[k] = code.At(b + k).OpCode;
  for (const ForLayout& l : kForLayouts) {
    if (!LayoutMatches(code, b, ops, l)) continue;
    std::optional<uint32_t> exit_addr = BareHex(code.At(b + l.Guard).Op1);
    if (!exit_addr) continue;
    // An exit in no entry gives j = -1, whose neighbours read as empty.
    const int j = code.FindAddr(*exit_addr);
    if (code.At(j - 1).OpCode != "jnz" || code.At(j - 2).OpCode != l.Step) continue;
    // The closing step and jnz must follow the set-up, and the whole loop
    // must lie within the range being translated.
    const int body_from = b + l.BodyOffset;
    if (j < 0 || j < body_from + 2 || j - 1 > state.LastIndex) return std::nullopt;
    Emit(ctx.Output, {"for ", VarName(ctx.Vars, code.At(b + l.Counter).Op1), ":= ",
                      VarName(ctx.Vars, code.At(b + l.Start).Op2), l.Direction,
                      VarName(ctx.Vars, code.At(b + l.End).Op2), " do begin"},
         Shape::kOpens);
    return LoopPlan{body_from, j - 3, j};
  }
  return std::nullopt;
}

// Whether a jump to `target` goes back to the top of the while loop whose
// jmp is entry a and whose first condition is entry k: to the body's first
// instruction, or past nothing but filler (to the body's first real
// instruction, or to the first condition when the body is only filler).
// `known`: the entry target names, where known (0: looked up).
bool GoesToLoopTop(const CodeTable& code, int a, int k, uint32_t target, int known = 0) {
  if (target == code.At(a + 1).Address) return true;
  const int t = known ? known : code.FindAddr(target);
  if (t <= a + 1 || t > k) return false;
  // Ends: one pass over the entries skipped.
  for (int i = a + 1; i < t; ++i) {
    if (!IsFiller(code.At(i))) return false;
  }
  return true;
}

}  // namespace

std::string LoopTestText(std::span<const TIF> conds, const Formula& f) {
  const std::vector<Piece> pieces = Pieces(f);
  if (pieces.size() == 1) {
    return ConditionText(conds[static_cast<size_t>(pieces[0].Cond)], pieces[0].Negated);
  }
  std::string text;
  for (const Piece& piece : pieces) {
    text += piece.Word;
    text.append(static_cast<size_t>(piece.Opens), '(');
    text += '(';
    text += ConditionText(conds[static_cast<size_t>(piece.Cond)], piece.Negated);
    text += ')';
    text.append(static_cast<size_t>(piece.Closes), ')');
  }
  return text;
}

namespace {

// The extended reading's while: the conditions of the test fold into one
// formula (see Reduce) that leads to the top of the loop or to where it
// ends, right after them; fewer are read where all of them do not.
std::optional<LoopPlan> PlanWhileByFormula(Context& ctx, const TLoopState& state, int k,
                                           int collected) {
  const CodeTable& code = ctx.Code;
  const std::vector<TIF>& conds = ctx.Conds;
  const RoutineFacts& facts = *ctx.Facts;
  const int a = state.Index;
  ConditionChain chain(code, facts, conds, k, collected);
  // Where every address names one entry, the entry is the one its
  // address names.
  auto top = [&](int entry) {
    return entry >= 1 && GoesToLoopTop(code, a, k, code.At(entry).Address,
                                       code.Ascending() && code.Valid(entry) ? entry : 0);
  };
  Formula& f = ctx.Fold;  // read anew each pass, in the same room
  // Ends: count falls by one each pass, down to 1.
  for (int count = collected; count >= 1; --count) {
    int on_true = 0, on_false = 0, after = 0;
    if (!chain.ReduceFirst(conds, count, facts, f, on_true, on_false, after)) continue;
    if (top(on_false) && facts.SamePlace(on_true, after)) {
      Negate(f);  // the loop goes on where the conditions do not lead
    } else if (!(top(on_true) && facts.SamePlace(on_false, after))) {
      continue;
    }
    if (!facts.EnteredOnlyAtStart(a + 1, k - 1) || !facts.EnteredOnlyAtStart(k, after - 1)) {
      continue;
    }
    Emit(ctx.Output, {"while ", LoopTestText(conds, f), " do begin"}, Shape::kOpens);
    return LoopPlan{a + 1, k - 1, after, k};
  }
  return std::nullopt;
}

[[gnu::noinline]] std::optional<LoopPlan> PlanWhile(Context& ctx, const TLoopState& state) {
  const CodeTable& code = ctx.Code;
  const int a = state.Index;
  std::optional<uint32_t> j = BareHex(code.At(a).Op1);  // the jmp's target
  if (!j || *j <= state.CurAddr) return std::nullopt;  // only forward jumps
  // A target in no entry (or at an earlier entry, when addresses repeat or
  // fall) gives no body to translate: not a while loop.
  // Where the flow facts found the jmp's entry, they read the same address.
  const int known = ctx.Facts ? ctx.Facts->Target[static_cast<size_t>(a)] : 0;
  const int k = known >= 1 ? known : code.FindAddr(*j);
  if (k <= a) return std::nullopt;
  const uint32_t body_start = code.At(a + 1).Address;
  const uint32_t body_end = code.At(k - 1).Address;

  std::vector<TIF>& conds = ctx.Conds;  // off the stack, shared by all levels
  if (!ReadCondition(ctx, k, conds[0])) return std::nullopt;
  int count = 1;
  int p = k + conds[0].Count;
  if (p - 1 > state.LastIndex) return std::nullopt;
  // Ends: at most kMaxConds conditions, each consuming at least two entries.
  while (count < kMaxConds && ReadCondition(ctx, p, conds[count])) {
    const TIF& c = conds[count];
    if (p + c.Count - 1 > state.LastIndex) break;  // runs out of the range
    // A jump into the middle of the body belongs to something else.
    if (c.Target != body_start && c.Target <= body_end) break;
    ++count;
    p += c.Count;
  }

  if (ctx.Facts) return PlanWhileByFormula(ctx, state, k, count);

  // Taken, each condition goes back to the top of the loop (the loop goes
  // on) or leaves it.
  bool back[kMaxConds];
  int after[kMaxConds];  // the entry after each condition
  for (int n = 0, at = k; n < count; at += conds[n].Count, ++n) {
    back[n] = GoesToLoopTop(code, a, k, conds[n].Target);
    after[n] = at + conds[n].Count;
  }
  // The loop's test runs up to the last condition that jumps back: the
  // conditions after it belong to what follows the loop. One that leaves
  // the loop must leave it for where the loop ends, the entry after the
  // test; else the test is cut before it, or there is no loop at all.
  int used = count;
  // Ends: `used` shrinks every pass that does not leave the loop.
  for (;;) {
    while (used > 0 && !back[used - 1]) --used;
    if (used == 0) return std::nullopt;  // no jump back: no loop
    const uint32_t end = code.At(after[used - 1]).Address;
    int stray = 0;
    while (stray < used && (back[stray] || conds[stray].Target == end)) ++stray;
    if (stray == used) break;
    used = stray;
  }

  // Where the reading knows the flow: the body is entered only at its
  // start, the test only at its first condition.
  if (ctx.Facts && (!ctx.Facts->EnteredOnlyAtStart(a + 1, k - 1) ||
                    !ctx.Facts->EnteredOnlyAtStart(k, after[used - 1] - 1))) {
    return std::nullopt;
  }

  std::string text;
  if (used == 1) {
    text = ConditionText(conds[0], false);
  } else {
    int groups = 0;
    for (int n = 0; n < used; ++n) {
      if (n > 0) {
        const Join join = JoinAfter(back, n - 1, used);
        text += join.Word;
        if (join.OpensGroup) {
          text += "(";
          ++groups;
        }
      }
      text += '(';
      text += ConditionText(conds[n], !back[n]);
      text += ')';
    }
    text.append(static_cast<size_t>(groups), ')');
  }
  Emit(ctx.Output, {"while ", text, " do begin"}, Shape::kOpens);
  // When the conditions end the table, the entry after them names none and
  // the calling loop ends after this claim.
  return LoopPlan{a + 1, k - 1, after[used - 1], k};
}

}  // namespace

void RecognizeFor(Context& ctx, TLoopState& state) {
  std::optional<LoopPlan> plan = PlanFor(ctx, state);
  if (!plan) return;
  Translate(ctx, plan->BodyFrom, plan->BodyTo);
  Emit(ctx.Output, "end; { for }", Shape::kCloses);
  Claim(ctx, state, plan->Next);
}

void RecognizeWhile(Context& ctx, TLoopState& state) {
  std::optional<LoopPlan> plan = PlanWhile(ctx, state);
  if (!plan) return;
  ctx.Loops.push_back(LoopExits{plan->Continue, plan->Next});
  Translate(ctx, plan->BodyFrom, plan->BodyTo);
  ctx.Loops.pop_back();
  Emit(ctx.Output, "end; { while }", Shape::kCloses);
  Claim(ctx, state, plan->Next);
}

}  // namespace asm2pas
