#include "translate/statements.h"

#include <string>
#include <string_view>

#include "base/text.h"
#include "naming/vars.h"
#include "output/labels.h"
#include "output/writer.h"

namespace asm2pas {

namespace {

// Emits the line and moves the loop past the `count` instructions consumed.
void EmitAndClaim(Context& ctx, TLoopState& state,
                  std::initializer_list<std::string_view> line, int count) {
  Emit(ctx.Output, line);
  Claim(ctx, state, state.Index + count);
}

// The instruction the loop stands on; the loop offers each recogniser only
// the mnemonics it declared.
const TOpCode& Current(const Context& ctx, const TLoopState& state) {
  return ctx.Code.At(state.Index);
}

// Pascal's Copy: `length` characters from 1-based `start`, cut at the end
// of the text; empty for a length of 0 or less.
std::string_view Copy(std::string_view text, long start, long length) {
  if (length <= 0 || start < 1 || static_cast<size_t>(start) > text.size()) return {};
  return text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(length));
}

long Pos(std::string_view text, char c) {
  size_t p = text.find(c);
  return p == std::string_view::npos ? 0 : static_cast<long>(p) + 1;
}

// x := x <op> y, for the two-operand arithmetic and logic instructions.
void Binary(Context& ctx, TLoopState& state, std::string_view op) {
  const TOpCode& e = Current(ctx, state);
  EmitAndClaim(ctx, state, {e.Op1, ":=", e.Op1, op, e.Op2, ";"}, 1);
}

}  // namespace

void DoCall(Context& ctx, TLoopState& state) {
  const TOpCode& call = Current(ctx, state);
  const TOpCode& next = ctx.Code.At(state.Index + 1);
  if (next.OpCode != "mov" || next.Op2 != "eax") return;
  if (state.Index + 1 > state.LastIndex) return;
  EmitAndClaim(ctx, state, {VarName(ctx.Vars, next.Op1), ":=function", call.Op1, ";"}, 2);
}

void DoRet(Context& ctx, TLoopState& state) {
  if (ctx.Code.At(state.Index + 1).OpCode != "jmp") return;
  if (ctx.Code.At(state.Index + 2).OpCode != "jmp") return;
  if (state.Index + 2 > state.LastIndex) return;
  Claim(ctx, state, state.Index + 3);  // the sequence prints nothing
}

void DoRetEndingFinally(Context& ctx, TLoopState& state) {
  // The jmps after the ret are the handler's; tidying may have dropped the
  // second, which nothing reaches.
  const int i = state.Index;
  for (int jmps = 1; jmps <= 2; ++jmps) {
    if (ctx.Code.At(i + jmps).OpCode != "jmp" || i + jmps > state.LastIndex) return;
    if (FindLabel(ctx.Labels, ctx.Code.At(i + jmps + 1).Address, "end;") >= 1) {
      Claim(ctx, state, i + jmps + 1);  // the sequence prints nothing
      return;
    }
  }
}

void DoMov(Context& ctx, TLoopState& state) {
  const TOpCode& e = Current(ctx, state);
  EmitAndClaim(ctx, state, {e.Op1, ":=", e.Op2, ";"}, 1);
}

void DoXor(Context& ctx, TLoopState& state) {
  const TOpCode& e = Current(ctx, state);
  if (e.Op1 == e.Op2) {
    EmitAndClaim(ctx, state, {e.Op1, ":=0;"}, 1);
  } else {
    EmitAndClaim(ctx, state, {e.Op1, ":=", e.Op1, " xor ", e.Op2, ";"}, 1);
  }
}

void DoImul(Context& ctx, TLoopState& state) {
  const TOpCode& e = Current(ctx, state);
  if (e.Op2.empty()) {
    EmitAndClaim(ctx, state, {"eax:=eax*", e.Op1, ";"}, 1);
  } else if (std::string_view op3 = ctx.Code.Op3(state.Index); !op3.empty()) {
    // imul r, x, n multiplies x by n into r.
    EmitAndClaim(ctx, state, {e.Op1, ":=", e.Op2, "*", op3, ";"}, 1);
  } else {
    EmitAndClaim(ctx, state, {e.Op1, ":=", e.Op1, "*", e.Op2, ";"}, 1);
  }
}

void DoIdiv(Context& ctx, TLoopState& state) {
  const TOpCode& e = Current(ctx, state);
  // The one-operand idiv divides edx:eax and leaves the remainder in edx:
  // "eax:=eax/x;" would leave both unsaid, so it stays a comment line.
  if (e.Op2.empty()) return;
  EmitAndClaim(ctx, state, {e.Op1, ":=", e.Op1, "/", e.Op2, ";"}, 1);
}

void DoSub(Context& ctx, TLoopState& state) { Binary(ctx, state, "-"); }
void DoAdd(Context& ctx, TLoopState& state) { Binary(ctx, state, "+"); }

void DoInc(Context& ctx, TLoopState& state) {
  const TOpCode& e = Current(ctx, state);
  EmitAndClaim(ctx, state, {"inc(", VarName(ctx.Vars, e.Op1), ");"}, 1);
}

void DoDec(Context& ctx, TLoopState& state) {
  const TOpCode& e = Current(ctx, state);
  EmitAndClaim(ctx, state, {"dec(", VarName(ctx.Vars, e.Op1), ");"}, 1);
}

void DoOr(Context& ctx, TLoopState& state) { Binary(ctx, state, " or "); }
void DoAnd(Context& ctx, TLoopState& state) { Binary(ctx, state, " and "); }

void DoNot(Context& ctx, TLoopState& state) {
  const TOpCode& e = Current(ctx, state);
  EmitAndClaim(ctx, state, {e.Op1, ":= NOT ", e.Op1, ";"}, 1);
}

void DoLea(Context& ctx, TLoopState& state) {
  const TOpCode& e = Current(ctx, state);
  if (e.Op1 != "eax") return;
  std::string_view op2 = e.Op2;
  long p1 = Pos(op2, '['), p2 = Pos(op2, '+'), p3 = Pos(op2, ']');
  if (p1 <= 0 || p2 <= 0 || p3 <= 0) return;  // their order is not tested
  // A register that is a variable is named inside a half too (ebx*4), as
  // everywhere else in the routine.
  const std::string left = NameRegisters(ctx.Vars, TrimBoth(Copy(op2, p1 + 1, p2 - p1 - 1)));
  const std::string right = NameRegisters(ctx.Vars, TrimBoth(Copy(op2, p2 + 1, p3 - p2 - 1)));
  EmitAndClaim(ctx, state, {"eax:=", left, "+", right, ";"}, 1);
}

}  // namespace asm2pas
