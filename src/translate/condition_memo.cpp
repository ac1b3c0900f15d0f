#include "translate/condition_memo.h"

namespace asm2pas {

void ConditionMemo::Reset(int entries, bool on) {
  on_ = on;
  slot_.assign(on ? static_cast<size_t>(entries) + 2 : 0, Slot{});
  kept_.clear();
  // A slot keeps one reading at most: room for all of them, so that the
  // readings are never moved as they come (only the room written is
  // touched).
  if (on) kept_.reserve(slot_.size());
  steps_ = 0;
  highest_ = -1;
  current_ = -1;
}

bool ConditionMemo::ReadKept(const CodeTable& code, const VarTable& vars, int index, TIF& cond,
                             const ConditionRules& rules) {
  if (index < 0 || static_cast<size_t>(index) >= slot_.size()) {
    return ParseCondition(code, vars, index, cond, rules);
  }
  Slot& slot = slot_[static_cast<size_t>(index)];
  if (slot.Kept != -1 && (slot.Step == steps_ || highest_ < FirstEntryRead(code, index))) {
    // What a failed reading leaves in `cond` is no condition: no caller
    // reads it.
    if (slot.Kept == kNone) return false;
    cond = kept_[static_cast<size_t>(slot.Kept)];
    return true;
  }
  slot.Step = steps_;
  if (!MayStartCondition(code, index, rules) || !ParseCondition(code, vars, index, cond, rules)) {
    slot.Kept = kNone;
    return false;
  }
  if (slot.Kept < 0) {
    slot.Kept = static_cast<int32_t>(kept_.size());
    kept_.push_back(cond);
  } else {
    kept_[static_cast<size_t>(slot.Kept)] = cond;
  }
  return true;
}

}  // namespace asm2pas
