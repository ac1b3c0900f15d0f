#include "translate/extended/gotos.h"

#include <string>

#include "output/writer.h"
#include "translate/conditions.h"
#include "translate/flow.h"

namespace asm2pas {

void RecognizeGoto(Context& ctx, TLoopState& state) {
  Context::GotoLabels& g = ctx.Gotos;
  if (!ctx.Facts || g.Print.empty()) return;
  const RoutineFacts& facts = *ctx.Facts;
  const CodeTable& code = ctx.Code;
  const int a = state.Index;
  // A label can stand only before an entry of the body the loop walks.
  auto reachable = [&](int t) {
    return t >= facts.Body.First && t <= facts.Body.Last && !g.Refused[static_cast<size_t>(t)];
  };
  if (code.At(a).OpCode == "jmp") {
    const int t = facts.Target[static_cast<size_t>(a)];
    if (t == 0 || !reachable(t)) return;
    g.Wanted[static_cast<size_t>(t)] = 1;
    Emit(ctx.Output, {"goto ", GotoLabel(code.At(t).Address).substr(0, 10), ";"});
    Claim(ctx, state, a + 1);
    return;
  }
  TIF& cond = ctx.Conds[0];
  if (!ReadCondition(ctx, a, cond)) return;
  const int jump = a + cond.Count - 1;
  if (jump > state.LastIndex) return;
  const int t = facts.Target[static_cast<size_t>(jump)];
  if (t == 0 || !reachable(t)) return;
  g.Wanted[static_cast<size_t>(t)] = 1;
  const std::string label = GotoLabel(code.At(t).Address);
  Emit(ctx.Output, {"if ", ConditionText(cond, false), " then goto ",
                    std::string_view(label).substr(0, label.size() - 1), ";"});
  Claim(ctx, state, jump + 1);
}

}  // namespace asm2pas
