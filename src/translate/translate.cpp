#include <string>
#include <utility>

#include "output/sink.h"

#include "naming/vars.h"
#include "output/labels.h"
#include "output/writer.h"
#include "translate/context.h"
#include "translate/flow.h"
#include "translate/reading.h"

namespace asm2pas {

namespace {

// SubstituteOperands where another round may follow: an operand whose
// text changes is noted in the journal first. Its hint goes only then (a
// hint speaks of the text as read: one unchanged still speaks of it).
[[gnu::noinline]] void SubstituteNoting(Context& ctx, int b, CodeTable::Journal& noted) {
  auto substitute = [&](std::string_view& text, int16_t& hint, int k) {
    const std::string_view was = text;
    SubstituteName(ctx.Vars, text, hint);
    if (text.data() == was.data() && text.size() == was.size()) return;
    CodeTable::Note(noted, b, k, was, hint);
    hint = kLookUp;
  };
  TOpCode& entry = ctx.Code.Mutable(b);
  substitute(entry.Op1, entry.VarHint[0], 0);
  substitute(entry.Op2, entry.VarHint[1], 1);
  if (TThirdOperand* third = ctx.Code.MutableThird(b)) substitute(third->Text, third->VarHint, 2);
}

// Kept out of line so that the frames of the recursion stay small.
[[gnu::noinline]] void SubstituteOperands(Context& ctx, int b) {
  if (ctx.Gotos.Noted) return SubstituteNoting(ctx, b, *ctx.Gotos.Noted);
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

std::string GotoLabel(uint32_t address) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string label = "L_00000000:";
  // Ends: eight digits.
  for (int k = 9; k >= 2; --k, address >>= 4) label[static_cast<size_t>(k)] = kHex[address & 15];
  return label;
}

namespace {

// Writes the text in blocks, so that the sink does not hold all of it at
// once beside the text; false once a write fails.
bool WriteInBlocks(Sink& out, std::string_view text) {
  constexpr size_t kBlock = size_t{1} << 16;
  size_t at = 0;
  // Ends: every pass writes the next block, at least one.
  do {
    if (!out.Write(text.substr(at, kBlock))) return false;
    at += kBlock;
  } while (at < text.size());
  return true;
}

// The second round, made from the first where it would translate the same
// again: the labels do not change what a recogniser decides, so the
// second round prints what the first did with each wanted label at the
// place where the loop first stood on its entry. Where that does not hold
// (a wanted entry the loop never stood on, which refuses its gotos and
// changes the translation; the line limit reached; the layout by words,
// in which a label line is laid out otherwise) it returns false, writes
// nothing, and the round is translated.
bool WriteWithLabels(Context& ctx, std::string_view first, Sink& out) {
  const Context::GotoLabels& g = ctx.Gotos;
  int wanted = 0;
  // Ends: one pass over the entries.
  for (size_t i = 0; i < g.Wanted.size(); ++i) {
    if (!g.Wanted[i]) continue;
    if (!g.Stood[i]) return false;
    ++wanted;
  }
  if (ctx.Output.Mode != Layout::kByShape || ctx.Output.Failed ||
      ctx.Output.LineCount + wanted > kLinesCapacity) {
    return false;
  }
  ctx.Output.LineCount += wanted;
  size_t copied = 0;
  std::string line;
  // Ends: one pass over the stands, whose offsets never fall.
  for (const Context::GotoLabels::Stand& s : g.Stands) {
    if (!g.Wanted[static_cast<size_t>(s.Index)]) continue;
    line.assign(static_cast<size_t>(s.Indent > 0 ? 3 * s.Indent : 0), ' ');
    line += GotoLabel(ctx.Code.At(s.Index).Address);
    line += "\r\n";
    if (!WriteInBlocks(out, first.substr(copied, s.Offset - copied)) || !out.Write(line)) {
      ctx.Output.Failed = true;
      return true;
    }
    copied = s.Offset;
  }
  if (!WriteInBlocks(out, first.substr(copied))) ctx.Output.Failed = true;
  return true;
}

// Translates the body with gotos: into a buffer, as often as it takes for
// every goto's label to be printed, then into the output. Each round but
// the first prints the labels the round before wanted; a label that could
// not be printed (its entry is inside a statement of several
// instructions) refuses gotos from then on.
void TranslateWithGotos(Context& ctx, const BodyRange& body) {
  CodeTable& code = ctx.Code;
  const size_t n = static_cast<size_t>(code.CodeCount()) + 2;
  Context::GotoLabels& g = ctx.Gotos;
  g.Print.assign(n, 0);
  g.Refused.assign(n, 0);
  // Where no jump comes to an entry, no goto is printed: the first round is
  // the last, and goes straight into the output, with no journal and no
  // buffer (as the rounds below would write it).
  // How many entries a jump comes to: the loop stands where a label may
  // be due on each at most once, in the first round.
  size_t jumped_to_count = 0;
  // Ends: one pass over the entries.
  for (const int incoming : ctx.Facts->Incoming) jumped_to_count += incoming > 0 ? 1 : 0;
  if (jumped_to_count == 0) {
    g.Wanted.assign(n, 0);
    g.Shown.assign(n, 0);
    g.Stood.clear();
    g.Stands.clear();
    ctx.Memo.Reset(code.CodeCount(), true);
    Translate(ctx, body.First, body.Last);
    return;
  }
  // The loop rewrites the operands of the entries it stands on, each once
  // in a round, and most entries have one it changes: a note for every
  // entry is room enough for most routines.
  CodeTable::Journal rewritten;
  rewritten.Reserve(static_cast<size_t>(code.CodeCount()));
  g.Noted = &rewritten;
  const OutputState start = ctx.Output;
  const LabelTable labels = ctx.Labels;
  Sink* const out = ctx.Output.Out;
  StringSink buffer;
  bool written = false;  // the first round's text, with its labels
  constexpr int kRounds = 4;
  // Ends: at most kRounds rounds; the last prints no goto at all.
  for (int round = 1;; ++round) {
    g.Wanted.assign(n, 0);
    g.Shown.assign(n, 0);
    if (round == kRounds) g.Refused.assign(n, 1);
    buffer = StringSink();
    // About what the body's lines take; the pages of the room not written
    // cost nothing.
    if (body.Last >= body.First) buffer.Reserve(static_cast<size_t>(body.Last - body.First + 1) * 48);
    ctx.Output = start;
    ctx.Output.Out = &buffer;
    ctx.Labels = labels;
    code.Rewind(rewritten);  // the first finds the table as it is
    ctx.Memo.Reset(code.CodeCount(), true);
    g.Buffer = round == 1 ? &buffer : nullptr;
    g.Stood.assign(round == 1 ? n : 0, 0);
    g.Stands.clear();
    if (round == 1) g.Stands.reserve(jumped_to_count);
    Translate(ctx, body.First, body.Last);
    g.Buffer = nullptr;
    bool missing = false, unprinted = false;
    for (size_t i = 0; i < n; ++i) {
      if (!g.Wanted[i]) continue;
      if (!g.Print[i]) missing = true;
      if (g.Print[i] && !g.Shown[i]) {
        g.Refused[i] = 1;
        unprinted = true;
      }
    }
    if (!missing && !unprinted) break;
    g.Print = g.Wanted;
    ctx.Output.Out = out;
    if (round == 1 && WriteWithLabels(ctx, buffer.Text(), *out)) {
      written = true;
      break;
    }
  }
  g.Noted = nullptr;
  ctx.Output.Out = out;
  if (!written && !WriteInBlocks(*out, buffer.Text())) ctx.Output.Failed = true;
}

}  // namespace

void TranslateRoutine(CodeTable& code, VarTable& vars, OutputState& out, LabelTable& labels,
                      const Reading& reading) {
  PassContext pass{code, vars, {}, {}};
  reading.Prepare(pass);
  const BodyRange body = reading.ChooseRange(pass);
  Context ctx(code, vars, out, labels, reading);
  RoutineFacts facts;
  if (reading.Traits().WantsFacts) {
    facts = AnalyseFlow(code, body, std::move(pass.Targets));
    ctx.Facts = &facts;
  }
  ctx.Rules = ConditionRules{reading.Traits().ExtendedConditions, ctx.Facts};
  if (reading.Traits().Gotos && ctx.Facts) {
    TranslateWithGotos(ctx, body);
  } else {
    Translate(ctx, body.First, body.Last);
  }
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
    // A goto's label stands before its target's step.
    // (once: a structure that starts there translates it again as its first)
    if (!ctx.Gotos.Print.empty()) {
      Context::GotoLabels& g = ctx.Gotos;
      const size_t i = static_cast<size_t>(state.Index);
      ctx.Memo.Step(state.Index);  // kept where the rounds translate
      if (g.Print[i] && !g.Shown[i]) {
        Emit(ctx.Output, GotoLabel(state.CurAddr));
        g.Shown[i] = 1;
      } else if (g.Buffer && !g.Stood[i] && ctx.Facts->Incoming[i] > 0) {
        g.Stood[i] = 1;
        g.Stands.push_back({g.Buffer->Text().size(), state.Index, ctx.Output.Indent});
      }
    }
    // Deferred texts come first in the step, before any recogniser, so a
    // text due where a try or finally sequence begins precedes its word.
    if (ctx.Labels.MayHave(state.CurAddr)) EmitLabels(ctx.Labels, ctx.Output, state.CurAddr);

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
  if (!ctx.Gotos.Print.empty()) ctx.Memo.EndStep();
}

}  // namespace asm2pas
