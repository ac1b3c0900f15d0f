// Which entries of a routine are frame only: the set-up at the entry (the
// frame pointer, room for locals, registers saved by push or mov), the
// epilogue before every return (and before a tail call: a jmp out of the
// routine), and room made and given back on the stack within the body. A
// register's save and restores count only where nothing else reads its
// slot.
#pragma once

#include <vector>

#include "listing/code_table.h"
#include "translate/extended/stack.h"

namespace asm2pas {

struct FrameParts {
  std::vector<char> Drop;  // per position (index 0 unused): frame only
  // esp was followed so that every slot has its place (with a frame
  // pointer, the body leaves esp where the set-up left it).
  bool Trusted = true;
};

// `targets`: FindJumpTargets of the table.
FrameParts FindFrame(const CodeTable& code, const StackFacts& stack,
                     const std::vector<int>& targets);

}  // namespace asm2pas
