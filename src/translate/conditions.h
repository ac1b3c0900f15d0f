// Condition builder: reads one compare-and-jump sequence (five layouts) into
// a TIF record, and prints a collected condition as a relation, plain as the
// jump states it or negated, by where its jump goes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "listing/code_table.h"
#include "base/limits.h"
#include "naming/vars.h"

namespace asm2pas {

enum TRelation : uint8_t {
  relEqual = 0,
  relGreater = 1,
  relLess = 2,
  relLessEqual = 3,
  relGreaterEqual = 4,
  relNotEqual = 5,
  relNone = 6,
};

struct TIF {
  std::string Left;
  std::string Right;
  TRelation Relation = relNone;
  uint32_t Target = 0;
  int Count = 0;  // instructions the condition spans, its jump included
};


TRelation RelationOf(std::string_view mnemonic);
TRelation NegateRelation(TRelation relation);
std::string_view RelationText(TRelation relation);

struct RoutineFacts;

// What a reading's conditions read beyond the forms of the default reading.
// Extended: a comparison on an unsigned jump compares Cardinal values; a
// test of a register with itself, on any jump that compares with zero, is
// that comparison; a test of a register with a mask, on jz or jnz, tests
// the masked bits; a jump on any other flag is no condition. With flow
// facts, a load is read as part of a condition only when nothing reads the
// register after the condition's jump.
struct ConditionRules {
  bool Extended = false;
  const RoutineFacts* Facts = nullptr;
};

// Reads a condition starting at entry `index`. False when none starts there,
// including when the instruction in the jump position has a first operand
// that is not a bare hexadecimal address, and when the sequence runs past
// the table (entries outside it read as empty, which start no condition).
bool ParseCondition(const CodeTable& code, const VarTable& vars, int index, TIF& cond,
                    const ConditionRules& rules = {});
// False where ParseCondition finds no condition at entry `index`, told
// from the mnemonics alone; true where it may find one. For a load, which
// starts many statements, it is much the cheaper.
bool MayStartCondition(const CodeTable& code, int index, const ConditionRules& rules);
// The first entry ParseCondition may read for a condition at `index`: the
// condition's own, or the one before a conditional jump, whose flags it
// may read. It reads none before that.
inline int FirstEntryRead(const CodeTable& code, int index) {
  return code.At(index).OpCode.starts_with("j") ? index - 1 : index;
}

// The comparison a cmp (or a test, or an or of a register with itself)
// makes for a jump on `jump` (a conditional jump's mnemonic), read with the
// extended rules; false when it reads none. Sets Left, Right and Relation.
// A byte or word compared by a signed jump: the relation is printed on the
// values signed at that width (ShortInt, SmallInt; a constant as the signed
// number), which is what the code computes.
void SignNarrowOrder(std::string_view compared, TIF& cond);
bool ReadComparison(const VarTable& vars, const TOpCode& first, std::string_view jump,
                    TIF& cond);

std::string ConditionText(const TIF& cond, bool negated);
// Plain when the jump leads into the then branch, negated when it skips it,
// empty when it goes anywhere else.
std::string IfConditionText(const TIF& cond, uint32_t then_addr, uint32_t else_addr,
                            uint32_t end_if_addr);
// How the conditions of one header join. Taken, a condition either enters
// the part the header guards (the then part, or the loop's body) or skips
// it; it joins the next one with "or" or "and" accordingly, which gives
// c1 op (c2 op (... cn)). As "and" binds tighter than "or", the rest is
// grouped where an "and" comes before an "or" that is not the last.
struct Join {
  std::string_view Word;  // "or" or "and"
  bool OpensGroup = false;
};
// The join after condition i (0-based) of the n whose kinds `enters` gives.
Join JoinAfter(const bool* enters, int i, int n);

}  // namespace asm2pas
