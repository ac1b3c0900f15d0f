#include "translate/extended/jumps.h"

#include <optional>
#include <string>

#include "listing/format.h"
#include "listing/number.h"
#include "translate/filler.h"

namespace asm2pas {

bool IsJump(std::string_view m) { return !m.empty() && m[0] == 'j'; }

int TargetOf(const CodeTable& code, int i) {
  std::optional<uint32_t> t = BareHex(code.At(i).Op1);
  return t ? code.FindAddr(*t) : -1;
}

namespace {

void Retarget(CodeTable& code, int i, int target) {
  code.SetOp1(i, format::Hex8(code.At(target).Address));
}

// Points every jump that goes to a jmp at where the jmp goes, following a
// chain of them; a chain that comes back on itself is left as it is. A jmp
// that enters a loop at its test (a jump from the test, or below it, comes
// back to the entry after the jmp) is where the loop begins, so jumps to it
// stay. `target` holds every jump's target entry (-1: none) and is kept up
// to date. Gives whether anything changed.
bool Thread(CodeTable& code, std::vector<int>& target) {
  bool changed = false;
  const int n = code.CodeCount();
  // The last entry a jump comes back from, per entry.
  std::vector<int> last_source(static_cast<size_t>(n) + 2, 0);
  for (int i = 1; i <= n; ++i) {
    const int t = target[static_cast<size_t>(i)];
    if (t >= 1 && i > last_source[static_cast<size_t>(t)]) last_source[static_cast<size_t>(t)] = i;
  }
  auto enters_loop = [&](int jmp, int to) {
    return to > jmp && last_source[static_cast<size_t>(jmp) + 1] >= to;
  };
  // Ends: one pass over the table; each chain is followed at most n steps.
  for (int i = 1; i <= n; ++i) {
    const int first = target[static_cast<size_t>(i)];
    int t = first;
    for (int steps = 0; t >= 1 && code.At(t).OpCode == "jmp" && steps < n; ++steps) {
      const int next = target[static_cast<size_t>(t)];
      if (next < 1 || next == t || next == i || enters_loop(t, next)) break;
      t = next;
    }
    if (t >= 1 && t != first) {
      Retarget(code, i, t);
      target[static_cast<size_t>(i)] = t;
      changed = true;
    }
  }
  return changed;
}

}  // namespace

std::string_view OppositeJump(std::string_view m) {
  static constexpr std::string_view kPairs[][2] = {
      {"jz", "jnz"},   {"je", "jne"},   {"jl", "jnl"},   {"jnge", "jge"}, {"jle", "jnle"},
      {"jng", "jg"},   {"jb", "jnb"},   {"jnae", "jae"}, {"jc", "jnc"},   {"jbe", "jnbe"},
      {"jna", "ja"},   {"js", "jns"},   {"jo", "jno"},   {"jp", "jnp"},   {"jpe", "jpo"},
  };
  for (const auto& pair : kPairs) {
    if (m == pair[0]) return pair[1];
    if (m == pair[1]) return pair[0];
  }
  return {};
}

void DropEntries(CodeTable& code, const std::vector<char>& drop) {
  const int n = code.CodeCount();
  // The first kept entry at or after each position (n + 1: none).
  std::vector<int> kept_from(static_cast<size_t>(n) + 2, n + 1);
  for (int i = n; i >= 1; --i) {
    kept_from[static_cast<size_t>(i)] = drop[static_cast<size_t>(i)] ? kept_from[static_cast<size_t>(i) + 1] : i;
  }
  // Ends: one pass over the table.
  for (int i = 1; i <= n; ++i) {
    if (drop[static_cast<size_t>(i)] || !IsJump(code.At(i).OpCode)) continue;
    const int t = TargetOf(code, i);
    if (t < 1 || !drop[static_cast<size_t>(t)]) continue;
    const int to = kept_from[static_cast<size_t>(t)];
    // A jump to dropped entries at the very end goes past the last entry:
    // to the address after it, which names none.
    if (to <= n) {
      Retarget(code, i, to);
    } else {
      code.SetOp1(i, format::Hex8(code.At(n).Address + 1));
    }
  }
  std::vector<int> positions;
  positions.reserve(static_cast<size_t>(n));
  for (int i = 1; i <= n; ++i) {
    if (!drop[static_cast<size_t>(i)]) positions.push_back(i);
  }
  code.KeepOnly(positions);
}

void TidyJumps(PassContext& ctx) {
  CodeTable& code = ctx.Code;
  // Ends: every round but the last drops an entry or changes a jump's
  // target to one that is no jmp, and at most 16 rounds run.
  for (int round = 0; round < 16; ++round) {
    const int n = code.CodeCount();
    std::vector<int> target(static_cast<size_t>(n) + 2, -1);
    for (int i = 1; i <= n; ++i) {
      if (IsJump(code.At(i).OpCode)) target[static_cast<size_t>(i)] = TargetOf(code, i);
    }
    bool changed = Thread(code, target);
    std::vector<char> drop(static_cast<size_t>(n) + 2, 0);
    std::vector<int> incoming(static_cast<size_t>(n) + 2, 0);
    for (int i = 1; i <= n; ++i) {
      const int t = target[static_cast<size_t>(i)];
      if (t >= 1) ++incoming[static_cast<size_t>(t)];
    }
    // Ends: one pass over the table.
    for (int i = 1; i <= n; ++i) {
      const TOpCode& e = code.At(i);
      if (IsFiller(e)) {
        drop[static_cast<size_t>(i)] = 1;
        continue;
      }
      if (e.OpCode != "jmp") continue;
      const int t = target[static_cast<size_t>(i)];
      // The next entry that is kept.
      int next = i + 1;
      while (next <= n && IsFiller(code.At(next))) ++next;
      if (t == next) {
        drop[static_cast<size_t>(i)] = 1;  // a jmp to where it falls anyway
        continue;
      }
      const TOpCode& before = code.At(i - 1);
      const bool unreached = i > 1 && incoming[static_cast<size_t>(i)] == 0 &&
                             before.OpCode == "jmp" &&
                             !drop[static_cast<size_t>(i) - 1];
      if (unreached) {
        drop[static_cast<size_t>(i)] = 1;
        continue;
      }
      // jcc T; jmp F; T: -> jncc F, when nothing else comes to the jmp.
      const std::string_view opposite = OppositeJump(before.OpCode);
      if (i > 1 && !opposite.empty() && incoming[static_cast<size_t>(i)] == 0 &&
          !drop[static_cast<size_t>(i) - 1] && target[static_cast<size_t>(i) - 1] == next &&
          t >= 1) {
        TOpCode flipped = before;
        flipped.OpCode = code.Keep(opposite);
        code.Mutable(i - 1) = flipped;
        Retarget(code, i - 1, t);
        drop[static_cast<size_t>(i)] = 1;
      }
    }
    bool dropped = false;
    for (int i = 1; i <= n; ++i) dropped = dropped || drop[static_cast<size_t>(i)];
    if (dropped) DropEntries(code, drop);
    if (!changed && !dropped) break;
  }
}

}  // namespace asm2pas
