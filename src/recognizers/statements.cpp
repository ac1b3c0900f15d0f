#include "recognizers/statements.h"

#include <string>
#include <string_view>

#include "listing/trim.h"
#include "naming/vars.h"
#include "output/writer.h"

namespace asm2pas {

namespace {

// Emits the line and moves the loop past the `count` instructions consumed.
void EmitAndClaim(RunState& run, TLoopState& state,
                  std::initializer_list<std::string_view> line, int count) {
  Emit(run.Output, line);
  Claim(run, state, state.Index + count);
}

const TOpCode* Current(const RunState& run, const TLoopState& state, std::string_view opcode) {
  if (state.Handled) return nullptr;
  const TOpCode& e = run.Code.At(state.Index);
  return e.OpCode == opcode ? &e : nullptr;
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
void Binary(RunState& run, TLoopState& state, std::string_view opcode, std::string_view op) {
  const TOpCode* e = Current(run, state, opcode);
  if (!e) return;
  EmitAndClaim(run, state, {e->Op1, ":=", e->Op1, op, e->Op2, ";"}, 1);
}

}  // namespace

void DoCall(RunState& run, TLoopState& state) {
  const TOpCode* call = Current(run, state, "call");
  if (!call) return;
  const TOpCode& next = run.Code.At(state.Index + 1);
  if (next.OpCode != "mov" || next.Op2 != "eax") return;
  if (state.Index + 1 > state.LastIndex) return;
  EmitAndClaim(run, state, {VarName(run.Vars, next.Op1), ":=function", call->Op1, ";"}, 2);
}

void DoRet(RunState& run, TLoopState& state) {
  if (!Current(run, state, "ret")) return;
  if (run.Code.At(state.Index + 1).OpCode != "jmp") return;
  if (run.Code.At(state.Index + 2).OpCode != "jmp") return;
  if (state.Index + 2 > state.LastIndex) return;
  Claim(run, state, state.Index + 3);  // the sequence prints nothing
}

void DoMov(RunState& run, TLoopState& state) {
  const TOpCode* e = Current(run, state, "mov");
  if (!e) return;
  EmitAndClaim(run, state, {e->Op1, ":=", e->Op2, ";"}, 1);
}

void DoXor(RunState& run, TLoopState& state) {
  const TOpCode* e = Current(run, state, "xor");
  if (!e) return;
  if (e->Op1 == e->Op2) {
    EmitAndClaim(run, state, {e->Op1, ":=0;"}, 1);
  } else {
    EmitAndClaim(run, state, {e->Op1, ":=", e->Op1, " xor ", e->Op2, ";"}, 1);
  }
}

void DoImul(RunState& run, TLoopState& state) {
  const TOpCode* e = Current(run, state, "imul");
  if (!e) return;
  if (e->Op2.empty()) {
    EmitAndClaim(run, state, {"eax:=eax*", e->Op1, ";"}, 1);
  } else if (std::string_view op3 = run.Code.Op3(state.Index); !op3.empty()) {
    // imul r, x, n multiplies x by n into r.
    EmitAndClaim(run, state, {e->Op1, ":=", e->Op2, "*", op3, ";"}, 1);
  } else {
    EmitAndClaim(run, state, {e->Op1, ":=", e->Op1, "*", e->Op2, ";"}, 1);
  }
}

void DoIdiv(RunState& run, TLoopState& state) {
  const TOpCode* e = Current(run, state, "idiv");
  if (!e) return;
  if (e->Op2.empty()) {
    // One operand divides eax, as the one-operand imul multiplies it.
    EmitAndClaim(run, state, {"eax:=eax/", e->Op1, ";"}, 1);
  } else {
    EmitAndClaim(run, state, {e->Op1, ":=", e->Op1, "/", e->Op2, ";"}, 1);
  }
}

void DoSub(RunState& run, TLoopState& state) { Binary(run, state, "sub", "-"); }
void DoAdd(RunState& run, TLoopState& state) { Binary(run, state, "add", "+"); }

void DoInc(RunState& run, TLoopState& state) {
  const TOpCode* e = Current(run, state, "inc");
  if (!e) return;
  EmitAndClaim(run, state, {"inc(", VarName(run.Vars, e->Op1), ");"}, 1);
}

void DoDec(RunState& run, TLoopState& state) {
  const TOpCode* e = Current(run, state, "dec");
  if (!e) return;
  EmitAndClaim(run, state, {"dec(", VarName(run.Vars, e->Op1), ");"}, 1);
}

void DoOr(RunState& run, TLoopState& state) { Binary(run, state, "or", " or "); }
void DoAnd(RunState& run, TLoopState& state) { Binary(run, state, "and", " and "); }

void DoNot(RunState& run, TLoopState& state) {
  const TOpCode* e = Current(run, state, "not");
  if (!e) return;
  EmitAndClaim(run, state, {e->Op1, ":= NOT ", e->Op1, ";"}, 1);
}

void DoLea(RunState& run, TLoopState& state) {
  const TOpCode* e = Current(run, state, "lea");
  if (!e || e->Op1 != "eax") return;
  std::string_view op2 = e->Op2;
  long p1 = Pos(op2, '['), p2 = Pos(op2, '+'), p3 = Pos(op2, ']');
  if (p1 <= 0 || p2 <= 0 || p3 <= 0) return;  // their order is not tested
  std::string_view left = VarName(run.Vars, TrimBoth(Copy(op2, p1 + 1, p2 - p1 - 1)));
  std::string_view right = VarName(run.Vars, TrimBoth(Copy(op2, p2 + 1, p3 - p2 - 1)));
  EmitAndClaim(run, state, {"eax:=", left, "+", right, ";"}, 1);
}

}  // namespace asm2pas
