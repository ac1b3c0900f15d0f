// The conditions of one header as a formula: compilers lay out "and", "or"
// and their nesting as conditional jumps that lead to the next condition,
// to a later one, or out to the two places the header chooses between.
// Reduce folds such a web of jumps into one formula, or says it cannot.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

#include "base/limits.h"
#include "translate/conditions.h"
#include "translate/flow.h"

namespace asm2pas {

struct Formula {
  enum Kind : uint8_t { kLeaf, kAnd, kOr };
  struct Node {
    Kind What = kLeaf;
    int A = -1, B = -1;     // operands of and/or
    int Cond = -1;          // a leaf's condition
    bool Negated = false;   // a leaf printed negated
  };
  std::vector<Node> Nodes;
  int Root = -1;
};

// Conditions 0..n-1 stand one after another; condition i, when its jump is
// taken, goes to entry jump_to[i], else on to condition i + 1 (the last one
// to entry `after`). Entry starts[k] is where condition k begins. When the
// web folds to one formula, gives true with `f` true exactly when control
// leaves it for `on_true` (and false for `on_false`); those are the only
// two places it leaves for.
// Where `facts` are given, places are compared where their chains of jmps
// end (a jump to a jmp goes where the jmp goes).
bool Reduce(std::span<const int> starts, std::span<const int> jump_to, int after, Formula& f,
            int& on_true, int& on_false, const RoutineFacts* facts = nullptr);

// Collected conditions standing one after another from an entry, as Reduce
// reads them: where each begins and the entry its jump goes to.
// A header has kMaxConds conditions at most: they are kept in place, with
// no memory taken for them.
struct ConditionChain {
  // Each jump's entry is the one the flow facts found for it, where they
  // found one (they read the same target address), else looked up.
  ConditionChain(const CodeTable& code, const RoutineFacts& facts, const std::vector<TIF>& conds,
                 int first, int collected);
  // Reduce over the first `count` conditions (the chain keeps only those);
  // `after` is the entry after them.
  bool ReduceFirst(const std::vector<TIF>& conds, int count, const RoutineFacts& facts,
                   Formula& f, int& on_true, int& on_false, int& after);
  // The entries the jumps of the conditions kept go to.
  std::span<const int> JumpTo() const { return {jump_to_.data(), static_cast<size_t>(count_)}; }

 private:
  std::array<int, kMaxConds> starts_, jump_to_;
  int count_ = 0;
};

// The same formula, negated (by De Morgan's laws down to the leaves).
void Negate(Formula& f);

// The formula's leaves in order, each with the word that joins it to the
// one before and the groups that open before it and close after it:
// c1 and (c2 or c3) gives ("", 0, c1, 0), ("and", 1, c2, 0),
// ("or", 0, c3, 1). A header puts every condition in parentheses of its
// own besides.
struct Piece {
  std::string Word;  // "", "and" or "or"
  int Opens = 0;
  int Cond = -1;
  bool Negated = false;
  int Closes = 0;
};
std::vector<Piece> Pieces(const Formula& f);

}  // namespace asm2pas
