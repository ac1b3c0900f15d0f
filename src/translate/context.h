// What the translation works on: the narrow view of a run that the loop and
// the recognisers share (the code table, the variable names, the output and
// the deferred texts, the room for conditions, the reading in use), the
// loop state of one invocation of Translate, and Translate itself, which
// the structure recognisers call again for their branches and bodies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "listing/code_table.h"
#include "naming/vars.h"
#include "output/labels.h"
#include "output/sink.h"
#include "output/writer.h"
#include "translate/condition_memo.h"
#include "translate/conditions.h"
#include "translate/extended/formula.h"

namespace asm2pas {

class Reading;
struct RoutineFacts;

// A loop being translated: where a jump continues it (to its test, or its
// top) and where one leaves it (the entry after it).
struct LoopExits {
  int Continue = 0;
  int Exit = 0;
  // Where execution goes on from each (RoutineFacts::Resolve), found once
  // where first asked; -1: not yet.
  int ContinuePlace = -1;
  int ExitPlace = -1;
};

struct Context {
  Context(CodeTable& code, const VarTable& vars, OutputState& output, LabelTable& labels,
          const Reading& reading)
      : Code(code), Vars(vars), Output(output), Labels(labels), Read(reading) {}

  // The loop replaces the operands of the instruction it stands on by
  // their names; recognisers only read the table.
  CodeTable& Code;
  const VarTable& Vars;
  OutputState& Output;
  LabelTable& Labels;
  const Reading& Read;
  // What the reading learnt of the routine's flow before translating, or
  // null when it needs none.
  const RoutineFacts* Facts = nullptr;
  // The condition forms the reading takes.
  ConditionRules Rules;
  // The loops whose bodies are being translated, innermost last.
  std::vector<LoopExits> Loops;
  // Where the reading prints goto for jumps no structure takes: per entry,
  // whether a goto leads there (filled while translating), whether its
  // label line is printed before it, whether it was, and whether no goto
  // may lead there (its label could not be printed). Empty otherwise.
  struct GotoLabels {
    std::vector<char> Wanted, Print, Shown, Refused;
    // While a round is noted (Buffer set): where the loop first stood on
    // each entry it stood on that a jump leads to (only there can a goto's
    // label be due), in that order: the length of the buffered output
    // then and the level. A label due there would stand at that place, at
    // that level.
    struct Stand {
      size_t Offset = 0;
      int Index = 0;
      int Indent = 0;
    };
    const StringSink* Buffer = nullptr;
    std::vector<char> Stood;
    std::vector<Stand> Stands;
    // While another round may follow: the operands the loop rewrites,
    // noted so that the next round finds them as this one did.
    CodeTable::Journal* Noted = nullptr;
  } Gotos;
  // Room for the conditions one if or while collects. Collecting and
  // printing them ends before the branches are translated, so one array
  // serves every level of the nesting and its texts keep their storage.
  std::vector<TIF> Conds = std::vector<TIF>(kMaxConds);
  // Room for the formula those conditions fold into, which is printed
  // before the branches are translated as well.
  Formula Fold;
  // The conditions read so far, given again where they are read again.
  ConditionMemo Memo;
};

// The condition that starts at entry `index` (see ParseCondition).
inline bool ReadCondition(Context& ctx, int index, TIF& cond) {
  return ctx.Memo.Read(ctx.Code, ctx.Vars, index, cond, ctx.Rules);
}

// The label line of a goto's target.
std::string GotoLabel(uint32_t address);

// The state of one invocation of Translate, shared with the recognisers it
// offers instructions to.
//
// Besides the address of the current instruction, a translation carries the
// table positions of the current entry and of the last entry of its range.
// The contract for every recogniser: it reads the current entry at Index
// (the entry the loop stands on, even when an address occurs twice), and it
// claims only if every entry it consumes, and every entry of the nested
// ranges it translates, lies between Index and LastIndex. On a claim it calls
// Claim() with the entry at which the translation goes on, which always lies
// after Index. So no instruction is translated twice, and every loop ends.
struct TLoopState {
  uint32_t CurAddr = 0;
  bool Handled = false;
  uint32_t ToAddr = 0;
  int Index = 0;      // entry of CurAddr
  int LastIndex = 0;  // entry of ToAddr: the last entry this range may touch
  int NextIndex = 0;  // where a claiming recogniser moves the loop
};

// Marks the step as consumed and moves the loop to entry `next`.
inline void Claim(const Context& ctx, TLoopState& state, int next) {
  state.Handled = true;
  state.NextIndex = next;
  state.CurAddr = ctx.Code.At(next).Address;
}

// Translates a whole routine: runs the reading's passes over the table,
// chooses the body and translates it. Where the reading prints gotos, the
// body is translated once to learn which labels its gotos need, and again
// with those labels (a goto may lead back to a label already passed).
void TranslateRoutine(CodeTable& code, VarTable& vars, OutputState& out, LabelTable& labels,
                      const Reading& reading);

// Translates the entries from `from_index` to `last_index` (table positions)
// whose addresses run up to the address of the last one. Stops early once a
// write has failed.
void Translate(Context& ctx, int from_index, int last_index);

}  // namespace asm2pas
