#include "translate/extended/jumps.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "listing/format.h"
#include "listing/number.h"
#include "translate/extended/expressions.h"
#include "translate/filler.h"
#include "translate/flow.h"

namespace asm2pas {

int TargetOf(const CodeTable& code, int i) {
  std::optional<uint32_t> t = BareHex(code.At(i).Op1);
  return t ? code.FindAddr(*t) : -1;
}

std::vector<int>& JumpTargetsOf(PassContext& ctx) {
  if (ctx.Targets.empty()) ctx.Targets = FindJumpTargets(ctx.Code);
  return ctx.Targets;
}

namespace {

// The entry with this address in a table whose addresses rise, as FindAddr
// finds it, searched for outwards from entry `from` (1..CodeCount): a
// jump's target mostly lies near the jump, a few steps away, where a
// search of the whole table takes fourteen.
int FindNear(const CodeTable& code, uint32_t address, int from) {
  const int n = code.CodeCount();
  // The entry sought lies in lo+1..hi: below it the addresses are lower,
  // from it on not (lo 0: before the first entry; hi n + 1: past the last).
  int lo = 0, hi = n + 1;
  if (code.At(from).Address < address) {
    lo = from;
    // Ends: the step doubles until it passes the address or the last entry.
    for (int step = 1;; step *= 2) {
      if (lo + step > n) break;
      if (code.At(lo + step).Address >= address) {
        hi = lo + step;
        break;
      }
      lo += step;
    }
  } else {
    hi = from;
    // Ends: the step doubles until it passes the address or the first entry.
    for (int step = 1;; step *= 2) {
      if (hi - step < 1) break;
      if (code.At(hi - step).Address < address) {
        lo = hi - step;
        break;
      }
      hi -= step;
    }
  }
  // Ends: the range halves until one entry is left.
  while (hi - lo > 1) {
    const int mid = lo + (hi - lo) / 2;
    (code.At(mid).Address < address ? lo : hi) = mid;
  }
  return hi <= n && code.At(hi).Address == address ? hi : -1;
}

}  // namespace

std::vector<int> FindJumpTargets(const CodeTable& code) {
  const int n = code.CodeCount();
  std::vector<int> targets(static_cast<size_t>(n) + 2, -1);
  const bool rising = code.Ascending();
  // Where the addresses rise, the search starts where the target would
  // stand if every instruction had the table's mean length.
  const int64_t span = n >= 2 ? int64_t{code.At(n).Address} - code.At(1).Address : 0;
  // Ends: one pass over the table.
  for (int i = 1; i <= n; ++i) {
    const TOpCode& e = code.At(i);
    if (!IsJump(e.OpCode)) continue;
    if (!rising) {
      targets[static_cast<size_t>(i)] = TargetOf(code, i);
    } else if (std::optional<uint32_t> t = BareHex(e.Op1)) {
      int64_t guess = i;
      if (span > 0) guess += (int64_t{*t} - code.At(i).Address) * (n - 1) / span;
      guess = std::clamp<int64_t>(guess, 1, n);
      targets[static_cast<size_t>(i)] = FindNear(code, *t, static_cast<int>(guess));
    }
  }
  return targets;
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
// to date. `jumps`: the entries that are jumps, rising (the only ones with
// a target). Gives whether anything changed.
bool Thread(CodeTable& code, std::vector<int>& target, const std::vector<int>& jumps) {
  bool changed = false;
  const int n = code.CodeCount();
  // The last entry a jump comes back from, per entry.
  std::vector<int> last_source(static_cast<size_t>(n) + 2, 0);
  // Ends: one pass over the jumps.
  for (const int i : jumps) {
    const int t = target[static_cast<size_t>(i)];
    if (t >= 1 && i > last_source[static_cast<size_t>(t)]) last_source[static_cast<size_t>(t)] = i;
  }
  auto enters_loop = [&](int jmp, int to) {
    return to > jmp && last_source[static_cast<size_t>(jmp) + 1] >= to;
  };
  // Ends: one pass over the jumps; each chain is followed at most n steps.
  for (const int i : jumps) {
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
  if (m.size() < 2 || m[0] != 'j') return {};  // most instructions are no jump
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

void DropEntries(CodeTable& code, const std::vector<char>& drop, std::vector<int>& targets,
                 std::vector<int>* positions) {
  const int n = code.CodeCount();
  // Where an address may name several entries, a jump's Op1 may name an
  // earlier entry than the one it was pointed at: the targets are found
  // anew, as TargetOf finds them, before and after. Otherwise every target
  // follows its entry to its new position.
  const bool unique = code.Ascending();
  if (!unique) targets = FindJumpTargets(code);
  // Each entry's position once the others are dropped; for a dropped one,
  // the position of the first kept entry after it (one past the last
  // where none is), which a jump to it goes to.
  std::vector<int> renumbered(static_cast<size_t>(n) + 2, 0);
  int kept = 0;
  // Ends: one pass over the table.
  for (int i = 1; i <= n; ++i) {
    const bool dropped = drop[static_cast<size_t>(i)] != 0;
    if (!dropped) ++kept;
    renumbered[static_cast<size_t>(i)] = kept + (dropped ? 1 : 0);
  }
  // The jumps to a dropped entry, by their new position, with the new
  // position of the entry they go to instead.
  struct Moved {
    int Jump;
    int To;
  };
  std::vector<Moved> moved;
  // Every kept entry moves down or stays, so its target is written in
  // place, over an entry's already read.
  // Ends: one pass over the table.
  for (int i = 1; i <= n; ++i) {
    if (drop[static_cast<size_t>(i)]) continue;
    const int at = renumbered[static_cast<size_t>(i)];
    const int t = targets[static_cast<size_t>(i)];
    if (unique) targets[static_cast<size_t>(at)] = t < 1 ? -1 : renumbered[static_cast<size_t>(t)];
    if (t >= 1 && drop[static_cast<size_t>(t)]) moved.push_back({at, renumbered[static_cast<size_t>(t)]});
  }
  if (positions) {
    size_t kept_positions = 0;
    // Ends: one pass over the positions; each kept one moves down or stays.
    for (const int p : *positions) {
      if (!drop[static_cast<size_t>(p)]) (*positions)[kept_positions++] = renumbered[static_cast<size_t>(p)];
    }
    positions->resize(kept_positions);
  }
  const uint32_t past_last = code.At(n).Address + 1;
  code.DropMarked(drop);
  // A jump to dropped entries at the very end goes past the last entry:
  // to the address after it, which names none.
  std::vector<int> past_end;
  // Ends: one pass over the jumps moved.
  for (const Moved& m : moved) {
    if (m.To <= kept) {
      Retarget(code, m.Jump, m.To);
    } else {
      code.SetOp1(m.Jump, format::Hex8(past_last));
      past_end.push_back(m.Jump);
    }
  }
  if (!unique) {
    targets = FindJumpTargets(code);
    return;
  }
  targets.resize(static_cast<size_t>(kept) + 2);
  targets.front() = targets.back() = -1;
  for (int i : past_end) targets[static_cast<size_t>(i)] = TargetOf(code, i);
}

namespace {

// How many jumps go to each entry, by position (the one past the last
// too), from the targets of the table's n entries (of `jumps` alone, the
// entries that are jumps, where given).
void CountIncoming(const std::vector<int>& target, int n, std::vector<int>& incoming,
                   const std::vector<int>* jumps = nullptr) {
  incoming.assign(static_cast<size_t>(n) + 2, 0);
  auto count = [&](int i) {
    const int t = target[static_cast<size_t>(i)];
    if (t >= 1 && t <= n + 1) ++incoming[static_cast<size_t>(t)];
  };
  if (jumps) {
    for (int i : *jumps) count(i);  // Ends: one pass over the jumps.
  } else {
    for (int i = 1; i <= n; ++i) count(i);  // Ends: one pass over the table.
  }
}

}  // namespace

void TidyJumps(PassContext& ctx) {
  CodeTable& code = ctx.Code;
  std::vector<int>& target = JumpTargetsOf(ctx);
  std::vector<char> drop;
  std::vector<int> incoming;
  // The entries that are jumps, rising: threading and counting pass over
  // these alone, and so do the rounds after the first, which change jumps
  // only (the first drops fillers too). Dropping entries renumbers them.
  std::vector<int> jumps;
  // Ends: one pass over the table.
  for (int i = 1; i <= code.CodeCount(); ++i) {
    if (IsJump(code.At(i).OpCode)) jumps.push_back(i);
  }
  // Ends: every round but the last drops an entry or changes a jump's
  // target to one that is no jmp, and at most 16 rounds run.
  for (int round = 0; round < 16; ++round) {
    const int n = code.CodeCount();
    // The first round drops every filler, and no round makes one (they
    // change jumps only): later rounds look for none.
    const bool fillers = round == 0;
    // Thread keeps `target` up to date only where every address names one
    // entry; elsewhere each round looks the targets up anew.
    if (round > 0 && !code.Ascending()) target = FindJumpTargets(code);
    bool changed = Thread(code, target, jumps);
    drop.assign(static_cast<size_t>(n) + 2, 0);
    CountIncoming(target, n, incoming, &jumps);
    bool dropped = false;
    // Ends: one pass over the table, or over its jumps.
    for (size_t k = 1; fillers ? k <= static_cast<size_t>(n) : k <= jumps.size(); ++k) {
      const int i = fillers ? static_cast<int>(k) : jumps[k - 1];
      const TOpCode& e = code.At(i);
      if (fillers && IsFiller(e)) {
        drop[static_cast<size_t>(i)] = 1;
        dropped = true;
        continue;
      }
      if (e.OpCode != "jmp") continue;
      const int t = target[static_cast<size_t>(i)];
      // The next entry that is kept.
      int next = i + 1;
      while (fillers && next <= n && IsFiller(code.At(next))) ++next;
      if (t == next) {
        drop[static_cast<size_t>(i)] = 1;  // a jmp to where it falls anyway
        dropped = true;
        continue;
      }
      const TOpCode& before = code.At(i - 1);
      const bool unreached = i > 1 && incoming[static_cast<size_t>(i)] == 0 &&
                             before.OpCode == "jmp" &&
                             !drop[static_cast<size_t>(i) - 1];
      if (unreached) {
        drop[static_cast<size_t>(i)] = 1;
        dropped = true;
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
        // No later step of this pass reads the jump before i again.
        target[static_cast<size_t>(i) - 1] = t;
        drop[static_cast<size_t>(i)] = 1;
        dropped = true;
      }
    }
    if (dropped) DropEntries(code, drop, target, &jumps);
    if (!changed && !dropped) {
      // Counted on the table as it is left, for the pass after.
      if (code.Ascending()) ctx.Incoming = std::move(incoming);
      break;
    }
  }
  // Where an address names several entries, Thread may have left targets
  // TargetOf would not give.
  if (!code.Ascending()) target = FindJumpTargets(code);
}

namespace {

// Whether the entry may run before a comparison instead of after it: a
// move that keeps the flags (mov, movzx, movsx, lea) with no third
// operand, into a register other than esp and ebp (which name the frame)
// that the comparison does not read, or into memory where the comparison
// reads none or surely other bytes (`memory`: the comparison's memory
// operand, or empty).
bool MovesBefore(const TOpCode& e, const CodeTable& code, int i, RegSet compared,
                 std::string_view memory) {
  const std::string_view m = e.OpCode;
  if ((m != "mov" && m != "movzx" && m != "movsx" && m != "lea") || !code.Op3(i).empty()) return false;
  if (e.Op1.find('[') != std::string_view::npos) {
    return m == "mov" && (memory.empty() || SurelyApart(e.Op1, memory));
  }
  const RegSet dest = RegisterOf(e.Op1);
  return dest != 0 && e.Op1 != "esp" && e.Op1 != "ebp" && (compared & dest) == 0;
}

}  // namespace

void LoadsBeforeCompares(PassContext& ctx) {
  // The moves a comparison may stand before its jump with.
  constexpr int kLongestRun = 4;
  CodeTable& code = ctx.Code;
  const std::vector<int>& target = JumpTargetsOf(ctx);
  const int n = code.CodeCount();
  // The count the pass before left, or counted here.
  std::vector<int> incoming = std::move(ctx.Incoming);
  ctx.Incoming.clear();
  if (incoming.size() != static_cast<size_t>(n) + 2) CountIncoming(target, n, incoming);
  // cmp or test, a run of moves that keep the flags and change nothing the
  // comparison reads, then a conditional jump (or move, or set, or a sbb or
  // adc that reads the carry), with no
  // jump into the run or to what reads the flags: the moves run before the
  // comparison as well, and the comparison comes next to its jump. The
  // addresses stay in place, so a jump to the comparison now runs the moves
  // first, as it ran them after.
  // Ends: one pass over the table; a moved run is passed over.
  for (int i = 1; i + 2 <= n; ++i) {
    const TOpCode& cmp = code.At(i);
    if ((cmp.OpCode != "cmp" && cmp.OpCode != "test") || !code.Op3(i).empty()) continue;
    // Most comparisons stand right before their jump: no move after them
    // to look at.
    const std::string_view after = code.At(i + 1).OpCode;
    if (after != "mov" && after != "movzx" && after != "movsx" && after != "lea") continue;
    const RegSet compared = static_cast<RegSet>(RegistersIn(cmp.Op1) | RegistersIn(cmp.Op2));
    const std::string_view memory = cmp.Op1.find('[') != std::string_view::npos   ? cmp.Op1
                                    : cmp.Op2.find('[') != std::string_view::npos ? cmp.Op2
                                                                                   : std::string_view();
    int jump = i + 1;
    // Ends: at most kLongestRun moves.
    while (jump <= n && jump - i <= kLongestRun && incoming[static_cast<size_t>(jump)] == 0 &&
           MovesBefore(code.At(jump), code, jump, compared, memory)) {
      ++jump;
    }
    if (jump == i + 1 || jump > n || incoming[static_cast<size_t>(jump)] != 0) continue;
    // The flags' reader: a conditional jump, move or set.
    const std::string_view m = code.At(jump).OpCode;
    const bool reads_flags = (IsJump(m) && m != "jmp") || (m.starts_with("cmov") && m.size() > 4) ||
                             (m.starts_with("set") && m.size() > 3) || m == "sbb" || m == "adc";
    if (!reads_flags) continue;
    // The comparison moves down past the run; the addresses stay.
    auto put = [&](int k, TOpCode e) {
      e.Address = code.At(k).Address;
      code.Mutable(k) = e;
    };
    const TOpCode compare = cmp;
    // Ends: one step per move.
    for (int k = i; k + 1 < jump; ++k) put(k, code.At(k + 1));
    put(jump - 1, compare);
    i = jump;
  }
}

}  // namespace asm2pas
