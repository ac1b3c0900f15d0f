#include <string>

#include "naming/vars.h"
#include "output/labels.h"
#include "output/writer.h"
#include "translate/context.h"
#include "translate/flow.h"
#include "translate/reading.h"

namespace asm2pas {

namespace {

// Kept out of line so that the frames of the recursion stay small.
[[gnu::noinline]] void SubstituteOperands(Context& ctx, int b) {
  TOpCode& entry = ctx.Code.Mutable(b);
  SubstituteName(ctx.Vars, entry.Op1, entry.VarHint[0]);
  SubstituteName(ctx.Vars, entry.Op2, entry.VarHint[1]);
  // The hints speak of the texts as read; should the entry be substituted
  // again, its new texts are looked up.
  entry.VarHint[0] = entry.VarHint[1] = kLookUp;
  if (TThirdOperand* third = ctx.Code.MutableThird(b)) {
    SubstituteName(ctx.Vars, third->Text, third->VarHint);
    third->VarHint = kLookUp;
  }
}

[[gnu::noinline]] void EmitComment(Context& ctx, int b) {
  const TOpCode& entry = ctx.Code.At(b);
  Emit(ctx.Output,
       {"//", entry.OpCode, " ", entry.Op1, ", ", entry.Op2, ", ", ctx.Code.Op3(b)});
}

}  // namespace

void TranslateRoutine(CodeTable& code, VarTable& vars, OutputState& out, LabelTable& labels,
                      const Reading& reading) {
  PassContext pass{code, vars, {}};
  reading.Prepare(pass);
  const BodyRange body = reading.ChooseRange(pass);
  Context ctx(code, vars, out, labels, reading);
  RoutineFacts facts;
  if (reading.Traits().WantsFacts) {
    facts = AnalyseFlow(code, body, pass.Targets);
    ctx.Facts = &facts;
  }
  ctx.Rules = ConditionRules{reading.Traits().ExtendedConditions, ctx.Facts};
  Translate(ctx, body.First, body.Last);
}

void Claim(const Context& ctx, TLoopState& state, int next) {
  state.Handled = true;
  state.NextIndex = next;
  state.CurAddr = ctx.Code.At(next).Address;
}

void Translate(Context& ctx, int from_index, int last_index) {
  const CodeTable& code = ctx.Code;
  TLoopState state;
  state.Index = from_index;
  state.LastIndex = last_index;
  state.CurAddr = code.At(from_index).Address;
  state.ToAddr = code.At(last_index).Address;

  // The loop walks table positions, not addresses: an address that occurs
  // twice, or one that falls in table order, is translated in its own turn
  // and never sends the loop back to an earlier entry.
  //
  // Ends: Index grows by at least one every step (a claim moves it to a
  // later entry, an unclaimed instruction to the next one), and the loop
  // stops once it passes LastIndex or the last filled entry. Besides, like
  // any range, it stops at the first entry whose address lies beyond the
  // range's last address (addresses compare as unsigned numbers). A failed
  // write ends it too: nothing further can be written.
  while (state.Index <= state.LastIndex && code.Valid(state.Index) &&
         state.CurAddr <= state.ToAddr && !ctx.Output.Failed) {
    state.Handled = false;
    // Deferred texts come first in the step, before any recogniser, so a
    // text due where a try or finally sequence begins precedes its word.
    EmitLabels(ctx.Labels, ctx.Output, state.CurAddr);

    // Only the recognisers that declared this mnemonic are offered the
    // instruction. The operands are replaced by their names before the
    // first recogniser that sees names, or, once none has claimed, before
    // the comment line.
    bool substituted = false;
    for (const RecognizerEntry* r : ctx.Read.For(code.At(state.Index).OpCode)) {
      if (!substituted && r->Operands == Sees::kNamed) {
        SubstituteOperands(ctx, state.Index);
        substituted = true;
      }
      r->Run(ctx, state);
      if (state.Handled) break;
    }
    if (!state.Handled && !substituted) SubstituteOperands(ctx, state.Index);

    if (state.Handled) {
      // A claim always lies ahead; the guard keeps the loop moving even if
      // a recogniser broke that rule.
      state.Index = state.NextIndex > state.Index ? state.NextIndex : state.Index + 1;
      state.CurAddr = code.At(state.Index).Address;
      continue;
    }
    EmitComment(ctx, state.Index);
    ++state.Index;
    state.CurAddr = code.At(state.Index).Address;
  }
}

}  // namespace asm2pas
