#include "translate/extended/frame.h"

#include <optional>
#include <string>
#include <vector>

#include "listing/format.h"
#include "naming/vars.h"
#include "translate/extended/frame_finder.h"
#include "translate/extended/jumps.h"
#include "translate/extended/slot_names.h"
#include "translate/extended/stack.h"

namespace asm2pas {

namespace {

// The position of the last ret, or 0.
int LastReturn(const CodeTable& code) {
  // Ends: i only falls.
  for (int i = code.CodeCount(); i >= 1; --i) {
    if (code.At(i).OpCode == "ret") return i;
  }
  return 0;
}

// Leaves one return, the last, as the exit: every other becomes a jump to
// it, and every jump to a return goes to it. `targets` (FindJumpTargets)
// is kept up to date.
void OneExit(CodeTable& code, std::vector<int>& targets) {
  const int n = code.CodeCount();
  const int exit = LastReturn(code);
  if (exit == 0) return;
  const std::string exit_address = format::Hex8(code.At(exit).Address);
  const std::string_view pops = code.At(exit).Op1;
  // Ends: one pass over the table.
  for (int i = 1; i <= n; ++i) {
    const TOpCode& e = code.At(i);
    if (e.OpCode == "ret" && i != exit && e.Op1 == pops) {
      code.Mutable(i).OpCode = "jmp";
      code.Mutable(i).VarHint[0] = kLookUp;
      code.SetOp1(i, exit_address);
      targets[static_cast<size_t>(i)] = exit;
    } else if (IsJump(e.OpCode) && e.OpCode != "ijmp") {
      const int t = targets[static_cast<size_t>(i)];
      if (t >= 1 && t != exit && code.At(t).OpCode == "ret" && code.At(t).Op1 == pops) {
        code.SetOp1(i, exit_address);
        targets[static_cast<size_t>(i)] = exit;
      }
    }
  }
  // Where an address names several entries, the exit's may name an
  // earlier one.
  if (!code.Ascending()) targets = FindJumpTargets(code);
}

// Drops a jmp to the entry after it, which taking the frame out can leave.
void DropJumpsToNext(CodeTable& code, std::vector<int>& targets) {
  const int n = code.CodeCount();
  std::vector<char> drop;  // made at the first such jmp
  // Ends: one pass over the table.
  for (int i = 1; i < n; ++i) {
    if (targets[static_cast<size_t>(i)] == i + 1 && code.At(i).OpCode == "jmp") {
      if (drop.empty()) drop.resize(static_cast<size_t>(n) + 2, 0);
      drop[static_cast<size_t>(i)] = 1;
    }
  }
  if (!drop.empty()) DropEntries(code, drop, targets);
}

// The body once the frame is out: up to the last return, which is the
// exit; or, where code follows the last return, all of it.
BodyRange BodyAfterFrame(const CodeTable& code) {
  const int n = code.CodeCount();
  const int exit = LastReturn(code);
  return BodyRange{1, exit == n && n >= 1 ? n - 1 : n, exit};
}

}  // namespace

BodyRange TakeOutFrame(PassContext& ctx) {
  CodeTable& code = ctx.Code;
  std::vector<int>& targets = JumpTargetsOf(ctx);
  const StackFacts stack = FollowStack(code, targets);
  std::optional<BodyRange> body;
  if (stack.Ok) {
    const FrameParts frame = FindFrame(code, stack, targets);
    if (frame.Trusted) {
      NameSlots(ctx, stack, frame.Drop);
      // While the stack facts still read the table's positions: the frame
      // goes after, and nothing before the translation reads the operands
      // this rewrites.
      UnnameNoVariables(code, stack.EbpVaries, &stack);
      DropEntries(code, frame.Drop, targets);
      // With one ret, every jump to a ret goes to the exit already.
      if (stack.Returns > 1 || !code.Ascending()) OneExit(code, targets);
      DropJumpsToNext(code, targets);
      body = BodyAfterFrame(code);
    }
  }
  if (!body) UnnameNoVariables(code, stack.EbpVaries);
  return body ? *body : TrimFrame(code);
}

}  // namespace asm2pas
