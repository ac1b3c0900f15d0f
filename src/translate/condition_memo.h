// The conditions read during one translation, kept by their first entry:
// the recognisers read the same condition at the same place several times
// (an if's chain, then each of its conditions as an if of its own; a goto
// where no if fits), and each reading but the first is taken from here.
#pragma once

#include <cstdint>
#include <vector>

#include "listing/code_table.h"
#include "naming/vars.h"
#include "translate/conditions.h"

namespace asm2pas {

// A condition read depends on the entries it reads, the variable names and
// the rules, and the last two stay as they are while a routine is
// translated. The entries change only where a loop puts names in place of
// the operands of the entry it stands on, which it does in that step after
// the recognisers that read the operands as listed (the ones that read
// conditions), and all at once where a round starts again from the saved
// table (Reset). So a kept reading is given again while the loop is still
// in the step in which it was read, or while every entry a finished step
// (or a step before a nested loop) stood on lies before the first entry
// the reading may read (FirstEntryRead).
class ConditionMemo {
 public:
  // Forgets every reading; `entries` is the table's count of entries. Off,
  // it keeps none (where conditions are cheap to read again) and needs no
  // steps told.
  void Reset(int entries, bool on);
  // A step of a translation loop begins at entry `index`.
  void Step(int index) {
    EndStep();
    current_ = index;
  }
  // A translation loop has ended (its last step with it).
  void EndStep() {
    ++steps_;
    highest_ = current_ > highest_ ? current_ : highest_;
    current_ = -1;
  }
  // ParseCondition(code, vars, index, cond, rules), kept or read now.
  bool Read(const CodeTable& code, const VarTable& vars, int index, TIF& cond,
            const ConditionRules& rules) {
    if (!on_) return ParseCondition(code, vars, index, cond, rules);
    return ReadKept(code, vars, index, cond, rules);
  }

 private:
  bool ReadKept(const CodeTable& code, const VarTable& vars, int index, TIF& cond,
                const ConditionRules& rules);

  // The first entry a reading may read is FirstEntryRead of its index,
  // which the translation does not change (it rewrites operands only):
  // found again where it is asked, not kept.
  struct Slot {
    int32_t Kept = -1;  // the condition found in kept_; kNone: none found; -1: not read
    uint32_t Step = 0;  // steps_ when it was read
  };
  static constexpr int32_t kNone = -2;
  bool on_ = false;
  std::vector<Slot> slot_;  // per entry
  std::vector<TIF> kept_;
  uint32_t steps_ = 0;
  int highest_ = -1;  // the highest entry a finished step stood on
  int current_ = -1;  // the entry of the step under way, if any
};

}  // namespace asm2pas
