#include "translate/extended/case.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "listing/number.h"
#include "output/writer.h"
#include "translate/flow.h"

namespace asm2pas {

namespace {

constexpr int64_t kMin = INT32_MIN;
constexpr int64_t kMax = INT32_MAX;
constexpr int64_t kSpan = int64_t{1} << 32;

// A set of 32-bit signed values: sorted, disjoint, non-adjacent ranges.
using Ranges = std::vector<std::pair<int64_t, int64_t>>;

Ranges Normal(Ranges r) {
  std::sort(r.begin(), r.end());
  Ranges out;
  for (const auto& [lo, hi] : r) {
    if (lo > hi) continue;
    if (!out.empty() && lo <= out.back().second + 1) {
      out.back().second = std::max(out.back().second, hi);
    } else {
      out.emplace_back(lo, hi);
    }
  }
  return out;
}

Ranges Intersect(const Ranges& a, const Ranges& b) {
  Ranges out;
  size_t i = 0, j = 0;
  // Ends: each pass moves past one range of a or b.
  while (i < a.size() && j < b.size()) {
    const int64_t lo = std::max(a[i].first, b[j].first);
    const int64_t hi = std::min(a[i].second, b[j].second);
    if (lo <= hi) out.emplace_back(lo, hi);
    if (a[i].second < b[j].second) ++i; else ++j;
  }
  return out;
}

Ranges Complement(const Ranges& a) {
  Ranges out;
  int64_t from = kMin;
  for (const auto& [lo, hi] : a) {
    if (lo > from) out.emplace_back(from, lo - 1);
    from = hi + 1;
  }
  if (from <= kMax) out.emplace_back(from, kMax);
  return out;
}

// The values v whose sum v + off, wrapped to 32 bits, lies in `w`.
Ranges Preimage(const Ranges& w, int64_t off) {
  Ranges out;
  for (const auto& [lo, hi] : w) {
    // Ends: the shifted range is split at most twice at the wrap.
    for (int64_t shift : {-kSpan, int64_t{0}, kSpan}) {
      const int64_t a = std::max(lo - off + shift, kMin);
      const int64_t b = std::min(hi - off + shift, kMax);
      if (a <= b) out.emplace_back(a, b);
    }
  }
  return Normal(out);
}

int64_t Signed(uint32_t v) { return static_cast<int32_t>(v); }

// The signed 32-bit values w with w REL c for a jump's relation; unsigned
// relations compare w and c as unsigned numbers.
std::optional<Ranges> ValuesWhere(std::string_view jcc, int64_t c) {
  const bool unsigned_jump = jcc == "jb" || jcc == "jnae" || jcc == "jc" || jcc == "jbe" ||
                             jcc == "jna" || jcc == "ja" || jcc == "jnbe" || jcc == "jae" ||
                             jcc == "jnb" || jcc == "jnc";
  auto range = [](int64_t lo, int64_t hi) { return Normal(Ranges{{lo, hi}}); };
  if (jcc == "jz" || jcc == "je") return range(c, c);
  if (jcc == "jnz" || jcc == "jne") return Complement(range(c, c));
  if (!unsigned_jump) {
    if (jcc == "jl" || jcc == "jnge") return range(kMin, c - 1);
    if (jcc == "jle" || jcc == "jng") return range(kMin, c);
    if (jcc == "jg" || jcc == "jnle") return range(c + 1, kMax);
    if (jcc == "jge" || jcc == "jnl") return range(c, kMax);
    return std::nullopt;
  }
  // Unsigned order: 0 .. 7FFFFFFF, then 80000000 .. FFFFFFFF (the negatives).
  const uint64_t u = static_cast<uint32_t>(c);
  auto below = [&](uint64_t limit) {  // unsigned values 0 .. limit - 1
    Ranges r;
    if (limit == 0) return r;
    const uint64_t last = limit - 1;
    r.emplace_back(0, static_cast<int64_t>(std::min<uint64_t>(last, 0x7FFFFFFF)));
    if (last >= 0x80000000) r.emplace_back(kMin, Signed(static_cast<uint32_t>(last)));
    return Normal(r);
  };
  if (jcc == "jb" || jcc == "jnae" || jcc == "jc") return below(u);
  if (jcc == "jbe" || jcc == "jna") return below(u + 1);
  if (jcc == "ja" || jcc == "jnbe") return Complement(below(u + 1));
  return Complement(below(u));  // jae, jnb, jnc
}

// What the last instruction of a test left in the flags, as a relation of
// the selector plus an offset.
struct Flags {
  enum Kind { kNone, kCompare, kResult, kTest } What = kNone;
  int64_t Offset = 0;  // the flags speak of v + Offset
  int64_t With = 0;    // compared with this constant
};

struct Path {
  int At = 0;
  Ranges Values;
  std::map<std::string, int64_t> Copies;  // registers holding v + offset
  Flags Last;
};

std::optional<int64_t> Immediate(std::string_view text) {
  text = TrimBoth(text);
  bool negative = false;
  if (!text.empty() && text[0] == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  std::optional<uint32_t> v = StrictToInt(text);
  if (!v || text.empty() || text[0] != '$') return std::nullopt;
  const int64_t value = Signed(*v);
  return negative ? -value : value;
}

bool IsJcc(std::string_view m) { return m.size() >= 2 && m[0] == 'j' && m != "jmp"; }

struct Walk {
  std::string Selector;                // the operand compared
  std::map<int, Ranges> Leaves;        // first instruction of an arm -> values
  std::vector<int> Tests;              // instructions read as tests
  RegSet Scratch = 0;                  // registers the tests wrote
};

// Follows every path through the tests from entry `start`. Gives false
// when an instruction on the way is no test of the one selector.
bool WalkTests(const Context& ctx, int start, int last, Walk& walk) {
  const CodeTable& code = ctx.Code;
  std::vector<Path> stack;
  stack.push_back(Path{start, Ranges{{kMin, kMax}}, {}, {}});
  constexpr int kMostSteps = 256;
  int steps = 0;
  // Ends: every step either ends a path at a leaf or moves it to a later
  // entry (jumps back fail), and at most kMostSteps steps are taken.
  while (!stack.empty()) {
    if (++steps > kMostSteps) return false;
    Path p = std::move(stack.back());
    stack.pop_back();
    if (p.Values.empty()) continue;
    if (p.At > last) return false;
    const TOpCode& e = code.At(p.At);
    const std::string_view m = e.OpCode;
    const std::string op1(TrimBoth(e.Op1)), op2(TrimBoth(e.Op2));
    auto copy = p.Copies.find(op1);
    const bool tracked = copy != p.Copies.end();
    const bool is_selector = !walk.Selector.empty() && op1 == walk.Selector;
    bool test = true;
    if (m == "cmp" && (is_selector || tracked || walk.Selector.empty())) {
      std::optional<int64_t> c = Immediate(op2);
      if (!c) return false;
      if (walk.Selector.empty()) {
        walk.Selector = op1;
        // A register compared is a copy of itself, which steps may change.
        if (RegisterOf(op1)) {
          copy = p.Copies.emplace(op1, 0).first;
          walk.Scratch |= RegisterOf(op1);
        }
      }
      p.Last = Flags{Flags::kCompare, copy != p.Copies.end() ? copy->second : 0, *c};
    } else if (m == "mov" && RegisterOf(op1) && !op2.empty() &&
               (op2 == walk.Selector || walk.Selector.empty()) && op1 != op2 &&
               !(RegisterOf(op1) & RegistersIn(op2))) {
      if (walk.Selector.empty()) walk.Selector = op2;
      p.Copies[op1] = 0;
      walk.Scratch |= RegisterOf(op1);
    } else if (tracked && (m == "sub" || m == "add") && Immediate(op2)) {
      const int64_t c = *Immediate(op2);
      p.Last = m == "sub" ? Flags{Flags::kCompare, copy->second, c}
                          : Flags{Flags::kResult, copy->second + c, 0};
      copy->second += m == "sub" ? -c : c;
    } else if (tracked && (m == "dec" || m == "inc")) {
      copy->second += m == "dec" ? -1 : 1;
      p.Last = Flags{Flags::kResult, copy->second, 0};
    } else if (tracked && m == "test" && op1 == op2) {
      p.Last = Flags{Flags::kTest, copy->second, 0};
    } else if (IsJcc(m) && p.Last.What != Flags::kNone) {
      const int t = ctx.Facts->Target[static_cast<size_t>(p.At)];
      if (t <= p.At) return false;  // nowhere, or back
      std::optional<Ranges> w;
      const bool zero_sign = m == "jz" || m == "je" || m == "jnz" || m == "jne";
      if (p.Last.What == Flags::kCompare) {
        w = ValuesWhere(m, p.Last.With);
      } else if (p.Last.What == Flags::kTest || zero_sign) {
        w = ValuesWhere(m, 0);
      }
      if (!w) return false;
      // The flags speak of v + Offset compared with With.
      const Ranges taken = Intersect(p.Values, Preimage(*w, p.Last.Offset));
      Path jumped{t, taken, p.Copies, p.Last};
      p.Values = Intersect(p.Values, Complement(taken));
      stack.push_back(std::move(jumped));
      walk.Tests.push_back(p.At);
      ++p.At;
      stack.push_back(std::move(p));
      continue;
    } else if (m == "jmp") {
      const int t = ctx.Facts->Target[static_cast<size_t>(p.At)];
      if (t <= p.At) return false;
      walk.Tests.push_back(p.At);
      p.At = t;
      stack.push_back(std::move(p));
      continue;
    } else {
      test = false;
    }
    if (!test) {
      // The first instruction that is no test starts an arm.
      Ranges& leaf = walk.Leaves[p.At];
      leaf.insert(leaf.end(), p.Values.begin(), p.Values.end());
      leaf = Normal(std::move(leaf));
      continue;
    }
    walk.Tests.push_back(p.At);
    ++p.At;
    stack.push_back(std::move(p));
  }
  return !walk.Selector.empty();
}

std::string Label(int64_t v) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string digits;
  uint64_t u = static_cast<uint64_t>(v < 0 ? -v : v);
  // Ends: one pass per digit.
  do {
    digits.insert(digits.begin(), kHex[u & 15]);
    u >>= 4;
  } while (u != 0);
  if (digits.size() % 2 == 1) digits.insert(digits.begin(), '0');
  return (v < 0 ? "-$" : "$") + digits;
}

std::string Labels(const Ranges& values) {
  std::string text;
  for (const auto& [lo, hi] : values) {
    if (!text.empty()) text += ", ";
    text += Label(lo);
    if (hi != lo) text += ".." + Label(hi);
  }
  return text;
}

// A set small enough to write as case labels.
bool Listable(const Ranges& values) {
  if (values.empty() || values.size() > 16) return false;
  for (const auto& [lo, hi] : values) {
    if (hi - lo > 255) return false;
  }
  return true;
}

// Whether a case can start at entry i: a comparison with a constant and a
// conditional jump, or a load followed by one.
bool MayStartCase(const CodeTable& code, int i) {
  const TOpCode& first = code.At(i);
  if (first.OpCode == "mov") {
    const std::string_view m = code.At(i + 1).OpCode;
    if (m != "cmp" && m != "sub" && m != "dec" && m != "test") return false;
    ++i;
  }
  return code.At(i).OpCode != "mov" && IsJcc(code.At(i + 1).OpCode);
}

// Whether the tests from entry `start` (a cmp or a mov) may reach two
// conditional jumps. Paths split only at those, so tests that reach one
// lead to two arms at most, and a case needs three (or two and its end):
// most comparisons and loads are no case, and this spares them the walk.
// It follows, along the edges WalkTests follows, every instruction the
// walk could take as a test (more, never fewer: any register may hold a
// copy of the selector, any conditional jump may read the flags), each
// once; with more than a few, it answers yes.
bool MayReachTwoJumps(const Context& ctx, int start) {
  const CodeTable& code = ctx.Code;
  const TOpCode& first = code.At(start);
  const std::string_view selector = TrimBoth(first.OpCode == "mov" ? first.Op2 : first.Op1);
  auto test_like = [&](const TOpCode& e) {
    const std::string_view m = e.OpCode;
    if (m == "cmp") return TrimBoth(e.Op1) == selector || RegisterOf(e.Op1) != 0;
    if (m == "mov") return RegisterOf(e.Op1) != 0 && TrimBoth(e.Op2) == selector;
    if (m == "sub" || m == "add" || m == "dec" || m == "inc" || m == "test") {
      return RegisterOf(e.Op1) != 0;
    }
    return IsJcc(m) || m == "jmp";
  };
  constexpr int kMostEntries = 32;
  int seen[kMostEntries];
  int seen_count = 0;
  int todo[kMostEntries];
  int todo_count = 0;
  int jumps = 0;
  auto visit = [&](int i) {
    // Ends: at most kMostEntries entries are looked at.
    for (int k = 0; k < seen_count; ++k) {
      if (seen[k] == i) return;
    }
    if (seen_count < kMostEntries) seen[seen_count++] = i;
    if (todo_count < kMostEntries) todo[todo_count++] = i;
  };
  visit(start);
  // Ends: every entry is queued once, and at most kMostEntries are.
  while (todo_count > 0) {
    if (seen_count == kMostEntries) return true;  // too many to tell
    const int i = todo[--todo_count];
    const TOpCode& e = code.At(i);
    if (!code.Valid(i) || !test_like(e)) continue;
    const int t = ctx.Facts->Target[static_cast<size_t>(i)];
    if (e.OpCode == "jmp") {
      if (t > i) visit(t);
      continue;
    }
    if (IsJcc(e.OpCode)) {
      if (++jumps == 2) return true;
      if (t > i) visit(t);
    }
    visit(i + 1);
  }
  return false;
}

// The case whose tests start at the loop's entry, which MayStartCase and
// MayReachTwoJumps let through.
[[gnu::noinline]] void CaseAt(Context& ctx, TLoopState& state) {
  const RoutineFacts& facts = *ctx.Facts;
  const CodeTable& code = ctx.Code;
  const int start = state.Index;
  Walk walk;
  if (!WalkTests(ctx, start, state.LastIndex, walk) || walk.Leaves.size() < 3) return;

  // The tests come first, all of them, then the arms in order; every arm
  // but the last ends with a jmp to one end, the last falls into it.
  std::sort(walk.Tests.begin(), walk.Tests.end());
  walk.Tests.erase(std::unique(walk.Tests.begin(), walk.Tests.end()), walk.Tests.end());
  const int first_arm = walk.Leaves.begin()->first;
  if (walk.Tests.front() != start || walk.Tests.back() != first_arm - 1 ||
      static_cast<int>(walk.Tests.size()) != first_arm - start) {
    return;
  }
  std::vector<int> arms;
  for (const auto& leaf : walk.Leaves) arms.push_back(leaf.first);
  // The end: where the first arm's closing jmp goes.
  const int first_close = arms.size() > 1 ? arms[1] - 1 : -1;
  if (first_close < 1 || code.At(first_close).OpCode != "jmp") return;
  const int end = facts.Target[static_cast<size_t>(first_close)];
  if (end < arms.back() || end - 1 > state.LastIndex) return;
  // Values that go straight to the end do nothing; the last arm may end
  // there too.
  if (arms.back() == end) arms.pop_back();
  if (arms.size() < 2) return;
  for (size_t i = 0; i + 1 < arms.size(); ++i) {
    const int close = arms[i + 1] - 1;
    if (close < arms[i] || code.At(close).OpCode != "jmp" ||
        !facts.SamePlace(facts.Target[static_cast<size_t>(close)], end)) {
      return;
    }
  }
  const int last_close = end - 1;
  const bool last_jumps = code.At(last_close).OpCode == "jmp" &&
                          facts.SamePlace(facts.Target[static_cast<size_t>(last_close)], end);
  // The registers the tests changed are read by no arm, nor after.
  for (const auto& leaf : walk.Leaves) {
    if (facts.LiveIn[static_cast<size_t>(leaf.first)] & walk.Scratch) return;
  }
  if (!facts.EnteredOnlyAtStart(start, end - 1)) return;

  // The arm that takes what no label names is the else part: the one with
  // values too many to list.
  int else_arm = 0;
  for (int arm : arms) {
    if (!Listable(walk.Leaves[arm])) {
      if (else_arm != 0) return;
      else_arm = arm;
    }
  }
  auto it = walk.Leaves.find(end);
  if (it != walk.Leaves.end() && !Listable(it->second) && else_arm != 0) return;
  if (it != walk.Leaves.end() && Listable(it->second) && else_arm != 0) {
    return;  // values that do nothing beside an else part: not a plain case
  }
  int labelled = 0;
  for (int arm : arms) labelled += arm != else_arm;
  if (labelled < 2) return;

  Emit(ctx.Output, {"case ", VarName(ctx.Vars, walk.Selector), " of"}, Shape::kOpens);
  for (size_t i = 0; i < arms.size(); ++i) {
    const int arm = arms[i];
    const int to = i + 1 < arms.size() ? arms[i + 1] - 2 : (last_jumps ? end - 2 : end - 1);
    if (arm == else_arm) continue;
    Emit(ctx.Output, {Labels(walk.Leaves[arm]), ": begin"}, Shape::kOpens);
    Translate(ctx, arm, to);
    Emit(ctx.Output, "end;", Shape::kCloses);
  }
  if (else_arm != 0) {
    size_t i = static_cast<size_t>(std::find(arms.begin(), arms.end(), else_arm) - arms.begin());
    const int to = i + 1 < arms.size() ? arms[i + 1] - 2 : (last_jumps ? end - 2 : end - 1);
    Emit(ctx.Output, "else begin", Shape::kOpens);
    Translate(ctx, else_arm, to);
    Emit(ctx.Output, "end;", Shape::kCloses);
  }
  Emit(ctx.Output, "end; { case }", Shape::kCloses);
  Claim(ctx, state, end);
}

}  // namespace

void RecognizeCase(Context& ctx, TLoopState& state) {
  // Offered every compare and load: the tests most fail stand apart from
  // the rest, so that those entries cost no frame of it.
  if (!ctx.Facts || !MayStartCase(ctx.Code, state.Index)) return;
  if (!MayReachTwoJumps(ctx, state.Index)) return;
  CaseAt(ctx, state);
}

}  // namespace asm2pas
