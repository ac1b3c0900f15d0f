#include "translate/extended/formula.h"

#include <algorithm>

#include "base/limits.h"

namespace asm2pas {

namespace {

// A node of the web: its formula so far, and where control goes when it
// holds and when it does not. A place is a condition (-1 - k for the k-th)
// or an entry outside (>= 0).
struct Web {
  int Formula;
  int OnTrue, OnFalse;
  bool Live;
};

int Leaf(Formula& f, int cond) {
  f.Nodes.push_back(Formula::Node{Formula::kLeaf, -1, -1, cond, false});
  return static_cast<int>(f.Nodes.size()) - 1;
}

int Combine(Formula& f, Formula::Kind kind, int a, int b) {
  f.Nodes.push_back(Formula::Node{kind, a, b, -1, false});
  return static_cast<int>(f.Nodes.size()) - 1;
}

// Negates the sub-formula at `node` in place.
void NegateAt(Formula& f, int node) {
  // Most are a leaf: negated without a stack.
  if (f.Nodes[static_cast<size_t>(node)].What == Formula::kLeaf) {
    f.Nodes[static_cast<size_t>(node)].Negated = !f.Nodes[static_cast<size_t>(node)].Negated;
    return;
  }
  // Ends: a stack of nodes, each visited once (the formula is a tree).
  std::vector<int> todo{node};
  while (!todo.empty()) {
    Formula::Node& n = f.Nodes[static_cast<size_t>(todo.back())];
    todo.pop_back();
    if (n.What == Formula::kLeaf) {
      n.Negated = !n.Negated;
    } else {
      n.What = n.What == Formula::kAnd ? Formula::kOr : Formula::kAnd;
      todo.push_back(n.A);
      todo.push_back(n.B);
    }
  }
}

}  // namespace

void Negate(Formula& f) {
  if (f.Root >= 0) NegateAt(f, f.Root);
}

bool Reduce(std::span<const int> starts, std::span<const int> jump_to, int after, Formula& f,
            int& on_true, int& on_false, const RoutineFacts* facts) {
  const int n = static_cast<int>(starts.size());
  f.Nodes.clear();  // its room is kept for the next formula read into it
  f.Root = -1;
  if (n == 0) return false;
  // A jump to the entry where a condition starts (the last that starts
  // there) goes to that condition; any other goes out. The conditions are
  // few (kMaxConds at most): they are searched, not indexed.
  auto place = [&](int entry) {
    // Ends: k only falls.
    for (int k = n - 1; k >= 0; --k) {
      if (starts[static_cast<size_t>(k)] == entry) return -1 - k;
    }
    return facts && entry >= 1 ? facts->Resolve(entry) : entry;
  };
  // A node per condition: on the frame for a header's conditions (at most
  // kMaxConds), in a vector beyond.
  Web on_frame[kMaxConds];
  std::vector<Web> spilled(n > kMaxConds ? static_cast<size_t>(n) : 0);
  Web* const web = n > kMaxConds ? spilled.data() : on_frame;
  f.Nodes.reserve(2 * static_cast<size_t>(n));  // n leaves, fewer folds
  for (int k = 0; k < n; ++k) {
    const int to = jump_to[static_cast<size_t>(k)];
    if (to < 0) return false;
    const int next = k + 1 < n ? -1 - (k + 1) : place(after);
    const int jumped = place(to);
    // A jump back to an earlier condition, or to itself, is no formula.
    if (jumped < 0 && -1 - jumped <= k) return false;
    web[k] = Web{Leaf(f, k), jumped, next, true};
  }
  auto predecessors = [&](int node) {
    int count = node == 0 ? 1 : 0;  // the first is entered from before
    // Ends: one pass over the nodes.
    for (int k = 0; k < n; ++k) {
      const Web& w = web[k];
      if (!w.Live) continue;
      count += (w.OnTrue == -1 - node) + (w.OnFalse == -1 - node);
    }
    return count;
  };
  // Folds a pair: x and a node y only x leads to. Ends: every fold takes a
  // node out, and there are n of them.
  for (bool folded = true; folded;) {
    folded = false;
    for (int x = 0; x < n && !folded; ++x) {
      Web& wx = web[x];
      if (!wx.Live) continue;
      for (int side = 0; side < 2 && !folded; ++side) {
        const int to = side == 0 ? wx.OnFalse : wx.OnTrue;
        if (to >= 0) continue;
        const int y = -1 - to;
        Web& wy = web[y];
        if (!wy.Live || predecessors(y) != 1) continue;
        if (side == 0 && wy.OnTrue == wx.OnTrue) {           // x or y
          wx.Formula = Combine(f, Formula::kOr, wx.Formula, wy.Formula);
          wx.OnFalse = wy.OnFalse;
        } else if (side == 0 && wy.OnFalse == wx.OnTrue) {   // not x and y
          NegateAt(f, wx.Formula);
          wx.Formula = Combine(f, Formula::kAnd, wx.Formula, wy.Formula);
          // Not x and y leads to y's true place; otherwise to x's old
          // true place, which is y's false place.
          wx.OnTrue = wy.OnTrue;
          wx.OnFalse = wy.OnFalse;
        } else if (side == 1 && wy.OnFalse == wx.OnFalse) {  // x and y
          wx.Formula = Combine(f, Formula::kAnd, wx.Formula, wy.Formula);
          wx.OnTrue = wy.OnTrue;
        } else if (side == 1 && wy.OnTrue == wx.OnFalse) {   // x and not y
          NegateAt(f, wy.Formula);
          wx.Formula = Combine(f, Formula::kAnd, wx.Formula, wy.Formula);
          wx.OnTrue = wy.OnFalse;
        } else {
          continue;
        }
        wy.Live = false;
        folded = true;
      }
    }
  }
  for (int k = 1; k < n; ++k) {
    if (web[k].Live) return false;
  }
  const Web& root = web[0];
  if (root.OnTrue < 0 || root.OnFalse < 0 || root.OnTrue == root.OnFalse) return false;
  f.Root = root.Formula;
  on_true = root.OnTrue;
  on_false = root.OnFalse;
  return true;
}

std::vector<Piece> Pieces(const Formula& f) {
  std::vector<Piece> pieces;
  if (f.Root < 0) return pieces;
  pieces.reserve(f.Nodes.size());  // a piece per leaf
  // In order, with a group around an "or" that stands inside an "and".
  struct Item {
    int Node;
    int Opens;   // groups that open before this node's first leaf
    int Closes;  // groups that close after its last leaf
    const char* Word;  // the word before its first leaf
  };
  // Every node is pushed once, so the stack holds no more than the nodes:
  // on the frame for the formulas Reduce makes, in a vector beyond.
  constexpr size_t kOnFrame = 2 * kMaxConds;
  Item on_frame[kOnFrame];
  std::vector<Item> spilled(f.Nodes.size() > kOnFrame ? f.Nodes.size() : 0);
  Item* const todo = spilled.empty() ? on_frame : spilled.data();
  const size_t room = spilled.empty() ? kOnFrame : spilled.size();
  size_t top = 0;
  todo[top++] = Item{f.Root, 0, 0, ""};
  // Ends: every node is pushed once (the formula is a tree).
  while (top > 0) {
    const Item it = todo[--top];
    const Formula::Node& node = f.Nodes[static_cast<size_t>(it.Node)];
    if (node.What == Formula::kLeaf) {
      pieces.push_back(Piece{std::string(it.Word), it.Opens, node.Cond, node.Negated, it.Closes});
      continue;
    }
    auto grouped = [&](int child) {
      const Formula::Node& c = f.Nodes[static_cast<size_t>(child)];
      return node.What == Formula::kAnd && c.What == Formula::kOr;
    };
    const char* const word = node.What == Formula::kAnd ? "and" : "or";
    const bool ga = grouped(node.A), gb = grouped(node.B);
    if (top + 2 > room) break;  // no tree: a node pushed twice
    // The right operand is done after the left: pushed first.
    todo[top++] = Item{node.B, gb ? 1 : 0, it.Closes + (gb ? 1 : 0), word};
    todo[top++] = Item{node.A, it.Opens + (ga ? 1 : 0), ga ? 1 : 0, it.Word};
  }
  return pieces;
}

ConditionChain::ConditionChain(const CodeTable& code, const RoutineFacts& facts,
                               const std::vector<TIF>& conds, int first, int collected)
    : count_(std::min(collected, kMaxConds)) {
  // Ends: one step per collected condition.
  for (int k = 0, at = first; k < count_; at += conds[static_cast<size_t>(k)].Count, ++k) {
    const TIF& c = conds[static_cast<size_t>(k)];
    const size_t jump = static_cast<size_t>(at + c.Count - 1);
    const int known = jump < facts.Target.size() ? facts.Target[jump] : 0;
    starts_[static_cast<size_t>(k)] = at;
    jump_to_[static_cast<size_t>(k)] = known >= 1 ? known : code.FindAddr(c.Target);
  }
}

bool ConditionChain::ReduceFirst(const std::vector<TIF>& conds, int count,
                                 const RoutineFacts& facts, Formula& f, int& on_true,
                                 int& on_false, int& after) {
  count_ = std::min(count, count_);
  const size_t n = static_cast<size_t>(count_);
  after = starts_[n - 1] + conds[n - 1].Count;
  return Reduce({starts_.data(), n}, {jump_to_.data(), n}, after, f, on_true, on_false, &facts);
}

}  // namespace asm2pas
