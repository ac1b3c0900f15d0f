#include "driver/translate.h"

#include <string>

#include "naming/vars.h"
#include "output/labels.h"
#include "output/writer.h"
#include "recognizers/table.h"

namespace asm2pas {

namespace {

// Kept out of line so that the frames of the recursion stay small.
[[gnu::noinline]] void SubstituteOperands(RunState& run, int b) {
  TOpCode& entry = run.Code.Mutable(b);
  SubstituteName(run.Vars, entry.Op1, entry.VarHint[0]);
  SubstituteName(run.Vars, entry.Op2, entry.VarHint[1]);
  // The hints speak of the texts as read; should the entry be substituted
  // again, its new texts are looked up.
  entry.VarHint[0] = entry.VarHint[1] = kLookUp;
  if (TThirdOperand* third = run.Code.MutableThird(b)) {
    SubstituteName(run.Vars, third->Text, third->VarHint);
    third->VarHint = kLookUp;
  }
}

[[gnu::noinline]] void EmitComment(RunState& run, int b) {
  const TOpCode& entry = run.Code.At(b);
  Emit(run.Output,
       {"//", entry.OpCode, " ", entry.Op1, ", ", entry.Op2, ", ", run.Code.Op3(b)});
}

}  // namespace

void Claim(const RunState& run, TLoopState& state, int next) {
  state.Handled = true;
  state.NextIndex = next;
  state.CurAddr = run.Code.At(next).Address;
}

void Translate(RunState& run, int from_index, int last_index) {
  const CodeTable& code = run.Code;
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
  // range's last address (addresses compare as unsigned numbers).
  while (state.Index <= state.LastIndex && code.Valid(state.Index) &&
         state.CurAddr <= state.ToAddr) {
    state.Handled = false;
    // Deferred texts come first in the step, before any recogniser, so a
    // text due where a try or finally sequence begins precedes its word.
    EmitLabels(run.Labels, run.Output, state.CurAddr);

    // Only the recognisers that can claim at this mnemonic are offered the
    // instruction; the others would decline at once. The operands are
    // replaced where the table order says, before the first recogniser that
    // sees them so, or, once none has claimed, as the whole table would
    // have passed its first Substituted entry.
    bool substituted = false;
    const uint32_t mnemonic = MnemonicBitOf(code.At(state.Index).OpCode);
    for (const RecognizerEntry* r : RecognizersFor(mnemonic)) {
      if (!substituted && SeesSubstituted(r)) {
        SubstituteOperands(run, state.Index);
        substituted = true;
      }
      r->Run(run, state);
      if (state.Handled) break;
    }
    if (!state.Handled && !substituted) SubstituteOperands(run, state.Index);

    if (state.Handled) {
      // A claim always lies ahead; the guard keeps the loop moving even if
      // a recogniser broke that rule.
      state.Index = state.NextIndex > state.Index ? state.NextIndex : state.Index + 1;
      state.CurAddr = code.At(state.Index).Address;
      continue;
    }
    EmitComment(run, state.Index);
    ++state.Index;
    state.CurAddr = code.At(state.Index).Address;
  }
}

}  // namespace asm2pas
