#include "translate/try_finally.h"

#include <optional>

#include "listing/number.h"
#include "output/labels.h"
#include "output/writer.h"

namespace asm2pas {

namespace {

bool Is(const TOpCode& e, const char* opcode, const char* op1) {
  return e.OpCode == opcode && e.Op1 == op1;
}

}  // namespace

void DoTry(Context& ctx, TLoopState& state) {
  const CodeTable& code = ctx.Code;
  const int i = state.Index;
  // xor eax, eax; push ebp; push handler; push dword ptr fs:[eax];
  // mov fs:[eax], esp
  if (!Is(code.At(i), "xor", "eax") || code.At(i).Op2 != "eax") return;
  if (!Is(code.At(i + 1), "push", "ebp")) return;
  if (code.At(i + 2).OpCode != "push") return;
  if (!Is(code.At(i + 3), "push", "dword ptr fs:[eax]")) return;
  if (!Is(code.At(i + 4), "mov", "fs:[eax]") || code.At(i + 4).Op2 != "esp") return;
  if (i + 4 > state.LastIndex) return;
  Emit(ctx.Output, "try", Shape::kOpens);
  Claim(ctx, state, i + 5);
}

void DoFinally(Context& ctx, TLoopState& state) {
  const CodeTable& code = ctx.Code;
  const int i = state.Index;
  // xor eax, eax; pop edx; pop ecx; pop ecx; mov fs:[eax], edx; push END
  if (!Is(code.At(i), "xor", "eax") || code.At(i).Op2 != "eax") return;
  if (!Is(code.At(i + 1), "pop", "edx")) return;
  if (!Is(code.At(i + 2), "pop", "ecx")) return;
  if (!Is(code.At(i + 3), "pop", "ecx")) return;
  if (!Is(code.At(i + 4), "mov", "fs:[eax]") || code.At(i + 4).Op2 != "edx") return;
  if (code.At(i + 5).OpCode != "push") return;
  if (i + 5 > state.LastIndex) return;
  // The pushed address is the listing's immediate form ("$" and hex digits;
  // plain decimal digits read as decimal). One that does not convert leaves
  // the sequence to the other recognisers.
  std::optional<uint32_t> end_addr = StrictToInt(code.At(i + 5).Op1);
  if (!end_addr) return;
  Emit(ctx.Output, "finally", Shape::kMiddle);
  AddLabel(ctx.Labels, *end_addr, "end;", Shape::kCloses);
  Claim(ctx, state, i + 6);
}

}  // namespace asm2pas
