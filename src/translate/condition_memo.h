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
// translated. The entries change only where the translation puts names in
// place of an entry's operands (Substituted), and all at once where a
// round starts again from the saved table (Reset). A kept reading is
// given again while no entry at or after the first it may read
// (FirstEntryRead) has been substituted at all.
class ConditionMemo {
 public:
  // Forgets every reading; `entries` is the table's count of entries. Off,
  // it keeps none (where conditions are cheap to read again).
  void Reset(int entries, bool on);
  // Entry `index` has had its operands replaced.
  void Substituted(int index) { highest_ = index > highest_ ? index : highest_; }
  // ParseCondition(code, vars, index, cond, rules), kept or read now.
  bool Read(const CodeTable& code, const VarTable& vars, int index, TIF& cond,
            const ConditionRules& rules) {
    if (slot_.empty()) return ParseCondition(code, vars, index, cond, rules);
    return ReadKept(code, vars, index, cond, rules);
  }

 private:
  bool ReadKept(const CodeTable& code, const VarTable& vars, int index, TIF& cond,
                const ConditionRules& rules);

  struct Slot {
    int32_t Kept = -1;  // the condition found in kept_; kNone: none found; -1: not read
    int32_t FirstRead = 0;
  };
  static constexpr int32_t kNone = -2;
  std::vector<Slot> slot_;  // per entry; empty when off
  std::vector<TIF> kept_;
  int highest_ = -1;  // the highest entry substituted so far
};

}  // namespace asm2pas
