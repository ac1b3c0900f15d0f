#include "translate/conditions.h"

#include <optional>

#include "listing/number.h"

namespace asm2pas {

TRelation RelationOf(std::string_view m) {
  if (m == "jz" || m == "je") return relEqual;
  if (m == "jnz" || m == "jne") return relNotEqual;
  if (m == "jl" || m == "jb" || m == "jnge" || m == "jnae") return relLess;
  if (m == "jg" || m == "ja" || m == "jnbe" || m == "jnle") return relGreater;
  if (m == "jng" || m == "jna" || m == "jle" || m == "jbe") return relLessEqual;
  if (m == "jnl" || m == "jnb" || m == "jae" || m == "jge") return relGreaterEqual;
  return relNone;
}

TRelation NegateRelation(TRelation r) {
  switch (r) {
    case relEqual: return relNotEqual;
    case relGreater: return relLessEqual;
    case relLess: return relGreaterEqual;
    case relLessEqual: return relGreater;
    case relGreaterEqual: return relLess;
    case relNotEqual: return relEqual;
    default: return relNone;
  }
}

std::string_view RelationText(TRelation r) {
  switch (r) {
    case relEqual: return "=";
    case relGreater: return ">";
    case relLess: return "<";
    case relLessEqual: return "<=";
    case relGreaterEqual: return ">=";
    case relNotEqual: return "<>";
    default: return "";
  }
}

namespace {

// Relation and target from the instruction in the jump position. Whatever
// stands there, its first operand must be a target address.
bool ReadJump(const TOpCode& jump, TIF& cond) {
  std::optional<uint32_t> target = BareHex(jump.Op1);
  if (!target) return false;
  cond.Relation = RelationOf(jump.OpCode);
  cond.Target = *target;
  return true;
}

bool IsAddSub(const TOpCode& e) { return e.OpCode == "add" || e.OpCode == "sub"; }

}  // namespace

bool ParseCondition(const CodeTable& code, const VarTable& vars, int a, TIF& cond) {
  // Reset, keeping the texts' storage for the next condition read into it.
  cond.Left.clear();
  cond.Right.clear();
  cond.Relation = relNone;
  cond.Target = 0;
  cond.Count = 0;
  const TOpCode& first = code.At(a);
  const TOpCode& second = code.At(a + 1);

  // A: cmp x, y; jcc
  if (first.OpCode == "cmp") {
    if (!ReadJump(second, cond)) return false;
    cond.Left = VarName(vars, first.Op1);
    cond.Right = VarName(vars, first.Op2);
    cond.Count = 2;
    return true;
  }
  // B and C: or/test x, x; jz or jnz — a test against zero.
  if ((first.OpCode == "or" || first.OpCode == "test") && first.Op1 == first.Op2 &&
      (second.OpCode == "jz" || second.OpCode == "jnz")) {
    if (!ReadJump(second, cond)) return false;
    cond.Left = VarName(vars, first.Op1);
    cond.Right = second.OpCode == "jz" ? "false" : "true";
    cond.Relation = relEqual;
    cond.Count = 2;
    return true;
  }
  // D: mov r, x; cmp r, y; jcc
  if (first.OpCode == "mov" && second.OpCode == "cmp" && first.Op1 == second.Op1) {
    if (!ReadJump(code.At(a + 2), cond)) return false;
    cond.Left = VarName(vars, first.Op2);
    cond.Right = VarName(vars, second.Op2);
    cond.Count = 3;
    return true;
  }
  // E: mov r, x; add/sub r, y ...; cmp with r on either side; jcc
  if (first.OpCode == "mov" && IsAddSub(second)) {
    int i = a + 1;
    // Ends: every entry past the table reads as empty, which is no add/sub.
    while (IsAddSub(code.At(i))) ++i;
    const TOpCode& cmp = code.At(i);
    if (cmp.OpCode != "cmp") return false;
    const bool expr_right = cmp.Op2 == first.Op1;
    if (!expr_right && cmp.Op1 != first.Op1) return false;
    if (!ReadJump(code.At(i + 1), cond)) return false;
    // The layout holds: only now is the expression built.
    std::string expr(VarName(vars, first.Op2));
    // Ends: the same add/sub entries as above.
    for (int k = a + 1; k < i; ++k) {
      const TOpCode& step = code.At(k);
      expr += step.OpCode == "add" ? "+" : "-";
      expr += VarName(vars, step.Op2);
    }
    if (expr_right) {
      cond.Left = VarName(vars, cmp.Op1);
      cond.Right = std::move(expr);
    } else {
      cond.Left = std::move(expr);
      cond.Right = VarName(vars, cmp.Op2);
    }
    cond.Count = i - a + 2;
    return true;
  }
  return false;
}

std::string ConditionText(const TIF& cond, bool negated) {
  TRelation r = negated ? NegateRelation(cond.Relation) : cond.Relation;
  std::string text = cond.Left;
  text += ' ';
  text += RelationText(r);
  text += ' ';
  text += cond.Right;
  return text;
}

std::string IfConditionText(const TIF& cond, uint32_t then_addr, uint32_t else_addr,
                            uint32_t end_if_addr) {
  if (cond.Target == then_addr) return ConditionText(cond, false);
  if (cond.Target == else_addr || cond.Target == end_if_addr) return ConditionText(cond, true);
  return "";
}

std::string WhileConditionText(const TIF& cond, uint32_t body_start, uint32_t body_end,
                               uint32_t tests_start) {
  // A back jump often skips alignment filler at the top of the body, and
  // one to the first condition re-tests it: all of these continue the loop.
  const uint32_t t = cond.Target;
  bool continues = t == body_start ||
                   (t >= body_start && (t <= body_end || t <= tests_start));
  return ConditionText(cond, !continues);
}

}  // namespace asm2pas
