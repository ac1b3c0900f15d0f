#include "translate/flow.h"

#include <algorithm>
#include <array>
#include <utility>

#include "base/text.h"
#include "listing/number.h"

namespace asm2pas {

namespace {

// Register names by family, in the bit order of RegSet.
constexpr std::string_view kNames[8][4] = {
    {"eax", "ax", "al", "ah"}, {"ecx", "cx", "cl", "ch"}, {"edx", "dx", "dl", "dh"},
    {"ebx", "bx", "bl", "bh"}, {"esp", "sp", {}, {}},     {"ebp", "bp", {}, {}},
    {"esi", "si", {}, {}},     {"edi", "di", {}, {}},
};

// Letters, digits and "_", by byte: the characters of a word.
constexpr auto kWordChars = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 256; ++c) {
    t[static_cast<size_t>(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '_';
  }
  return t;
}();

bool IsWordChar(char c) { return kWordChars[static_cast<unsigned char>(c)]; }

[[gnu::always_inline]] inline RegSet FamilyOfName(std::string_view word);

// The family bit of a whole 32-bit register operand, or 0 (a part of a
// register, written, leaves the rest of it as it was): a name of three
// letters, "e" and a family's (FamilyOfName reads no part's name so).
RegSet FullRegisterOf(std::string_view operand) {
  operand = TrimBoth(operand);
  return operand.size() == 3 && operand[0] == 'e' ? FamilyOfName(operand) : RegSet{0};
}

bool IsJump(std::string_view m) { return !m.empty() && m[0] == 'j'; }

struct Effect {
  RegSet Use = 0;
  RegSet Def = 0;
  bool Terminal = false;  // no successor the table shows: all live after
};

// mov, movzx, movsx, lea, pop and the setcc: the first operand is written
// only. By length and letters, as asked of every entry.
bool IsLoad(std::string_view m) {
  switch (m.size()) {
    case 3: return m == "mov" || m == "lea" || m == "pop";
    case 5: return m == "movzx" || m == "movsx" || m.starts_with("set");
    default: return m.size() > 3 && m.starts_with("set");
  }
}

// add, sub, and, or, xor, shl, shr, sar, rol, ror, adc, sbb, inc, dec,
// neg, not: the first operand is read and written.
bool IsStep(std::string_view m) {
  if (m.size() == 2) return m == "or";
  if (m.size() != 3) return false;
  switch (m[0]) {
    case 'a': return m == "add" || m == "and" || m == "adc";
    case 's': return m == "sub" || m == "shl" || m == "shr" || m == "sar" || m == "sbb";
    case 'x': return m == "xor";
    case 'r': return m == "rol" || m == "ror";
    case 'i': return m == "inc";
    case 'd': return m == "dec";
    case 'n': return m == "neg" || m == "not";
    default: return false;
  }
}

// What an instruction reads and writes of the registers, erring towards
// reading: a register it might read counts as read, one it might not
// write as not written. The operands are read only as far as the
// mnemonic needs them.
Effect EffectOf(const CodeTable& code, int i) {
  const TOpCode& e = code.At(i);
  const std::string_view m = e.OpCode;
  const std::string_view a = e.Op1, b = e.Op2;
  Effect fx;
  if (m == "nop" || IsJump(m)) return fx;
  const RegSet def_a = FullRegisterOf(a);
  // A destination that is not a whole register is read as well (its
  // address, or the rest of the register).
  auto keep_a = [&] { return def_a ? RegSet{0} : RegistersIn(a); };
  if (IsLoad(m)) {
    fx.Use = static_cast<RegSet>(keep_a() | (m == "pop" ? 0 : RegistersIn(b)));
    fx.Def = def_a;
    return fx;
  }
  if ((m == "xor" || m == "sub") && !a.empty() && a == b) {
    fx.Use = keep_a();
    fx.Def = def_a;
    return fx;
  }
  const std::string_view c = code.Op3(i);
  if (IsStep(m) || (m == "imul" && !b.empty() && c.empty())) {
    fx.Use = static_cast<RegSet>(RegistersIn(a) | RegistersIn(b));
    fx.Def = def_a;
    return fx;
  }
  if (m == "imul" && !c.empty()) {
    fx.Use = static_cast<RegSet>(keep_a() | RegistersIn(b) | RegistersIn(c));
    fx.Def = def_a;
    return fx;
  }
  if (m == "cmp" || m == "test" || m == "push") {
    fx.Use = static_cast<RegSet>(RegistersIn(a) | RegistersIn(b));
    return fx;
  }
  constexpr RegSet kEax = 1, kEdx = 4;
  if (m == "cdq") {
    fx.Use = kEax;
    fx.Def = kEdx;
    return fx;
  }
  if (m == "idiv" || m == "div" || m == "imul" || m == "mul") {
    fx.Use = static_cast<RegSet>(kEax | kEdx | RegistersIn(a));
    fx.Def = kEax | kEdx;
    return fx;
  }
  // A ret hands the caller eax (the result) and the registers the callee
  // keeps (ebx, esi, edi, ebp, esp); ecx and edx are the caller's to lose
  // under the conventions of Free Pascal and gcc (a 64-bit result sets edx
  // right before it returns). Nothing follows it in the table.
  if (m == "ret") {
    fx.Use = static_cast<RegSet>(kAllRegs & ~RegSet{2} & ~RegSet{4});
    return fx;
  }
  // A call and anything else: it may read every register.
  fx.Use = kAllRegs;
  fx.Terminal = m == "ijmp";
  return fx;
}

}  // namespace

namespace {

// The family bit of a register name (eax, ax, al, ah, ... as in kNames),
// or 0 for any other word. Inline: asked of every short word of every
// operand the passes read.
[[gnu::always_inline]] inline RegSet FamilyOfName(std::string_view word) {
  // Every name is a family's two-letter name with or without a leading
  // "e", or a byte register: decoded by its letters, not searched for.
  const bool wide = word.size() == 3;
  if (wide) {
    if (word[0] != 'e') return 0;
    word.remove_prefix(1);
  } else if (word.size() != 2) {
    return 0;
  }
  const char a = word[0], b = word[1];
  const bool x = b == 'x', low_high = !wide && (b == 'l' || b == 'h');
  switch (a) {
    case 'a': return (x || low_high) ? RegSet{1} : RegSet{0};
    case 'c': return (x || low_high) ? RegSet{2} : RegSet{0};
    case 'd': return (x || low_high) ? RegSet{4} : b == 'i' ? RegSet{128} : RegSet{0};
    case 'b': return (x || low_high) ? RegSet{8} : b == 'p' ? RegSet{32} : RegSet{0};
    case 's': return b == 'p' ? RegSet{16} : b == 'i' ? RegSet{64} : RegSet{0};
    default: return 0;
  }
}

}  // namespace

RegSet RegisterOf(std::string_view operand) { return FamilyOfName(TrimBoth(operand)); }

namespace {

// The registers the words of the operand from `i` on name: RegistersIn's
// general case, apart so that its common cases take no frame of it.
[[gnu::noinline]] RegSet RegistersInWords(std::string_view operand, size_t i);

}  // namespace

RegSet RegistersIn(std::string_view operand) {
  const size_t n = operand.size();
  // Most operands that name a register are its name alone: one word of
  // two or three letters, read as the loop below would read it.
  if ((n == 2 || n == 3) && IsWordChar(operand[0]) && IsWordChar(operand[1]) &&
      (n == 2 || IsWordChar(operand[2]))) {
    return FamilyOfName(operand);
  }
  // A size keyword names no register: memory operands are read from after
  // it (a blank ends its last word, so the words after it stay as they
  // are).
  size_t i = 0;
  if (n > 9 && operand[n - 1] == ']') {
    for (std::string_view size : {"dword ptr ", "byte ptr ", "word ptr "}) {
      if (operand.starts_with(size)) {
        i = size.size();
        break;
      }
    }
  }
  // The commonest memory operands, a frame slot "[ebp-$1C]" and an
  // absolute address "[$00640020]", read at once: no word of hexadecimal
  // digits alone is a register's name, so the loop below would find the
  // base register's name, or none.
  if (n >= i + 4 && operand[i] == '[' && operand[n - 1] == ']') {
    auto hex_to_end = [&](size_t from) {
      if (from >= n - 1) return false;
      // Ends: one pass over the digits.
      for (size_t k = from; k < n - 1; ++k) {
        if (kHexDigits[static_cast<unsigned char>(operand[k])] < 0) return false;
      }
      return true;
    };
    if (operand[i + 1] == '$' && hex_to_end(i + 2)) return 0;
    if (n >= i + 7 && IsWordChar(operand[i + 1]) && IsWordChar(operand[i + 2]) &&
        IsWordChar(operand[i + 3]) && (operand[i + 4] == '+' || operand[i + 4] == '-') &&
        operand[i + 5] == '$' && hex_to_end(i + 6)) {
      return FamilyOfName(operand.substr(i + 1, 3));
    }
  }
  return RegistersInWords(operand, i);
}

namespace {

RegSet RegistersInWords(std::string_view operand, size_t i) {
  const size_t n = operand.size();
  RegSet regs = 0;
  // Ends: every pass moves i past one word or one other character.
  while (i < n) {
    if (!IsWordChar(operand[i])) {
      ++i;
      continue;
    }
    size_t j = i + 1;
    // Ends: j only grows, up to the operand's length.
    while (j < n && IsWordChar(operand[j])) ++j;
    if (j - i <= 3) regs |= FamilyOfName(operand.substr(i, j - i));  // names have two or three
    i = j;
  }
  return regs;
}

}  // namespace

bool IsConditionStep(std::string_view m) {
  // By length first: asked of every entry.
  switch (m.size()) {
    case 2: return m == "or";
    case 3: return m == "mov" || m == "cmp" || m == "and" || m == "add" || m == "sub";
    case 4: return m == "test";
    case 5: return m == "movzx" || m == "movsx";
    default: return false;
  }
}

RoutineFacts AnalyseFlow(const CodeTable& code, BodyRange body, std::vector<int> targets) {
  const int n = code.CodeCount();
  const size_t size = static_cast<size_t>(n) + 2;
  RoutineFacts f;
  f.Body = body;
  // The targets as the passes kept them become the facts' own: each entry's
  // is read before the walk below writes it.
  const bool kept = targets.size() == size;
  if (kept) {
    f.Target = std::move(targets);
    f.Target.front() = f.Target.back() = 0;
  } else {
    f.Target.assign(size, 0);
  }
  f.IsJmp.assign(size, 0);
  f.Incoming.assign(size, 0);
  f.FirstSource.assign(size, 0);
  f.LastSource.assign(size, 0);
  f.ToJump.assign(size, RoutineFacts::kFar);
  f.ToNoStep.assign(size, 0);  // past the table: no step
  std::vector<RegSet>& live = f.LiveIn;
  live.assign(size, 0);
  live[size - 1] = kAllRegs;  // past the table: anything
  std::vector<Effect> fx(size);
  // Entries whose successor is not the next one: a jmp (IsJmp marks it, it
  // has a target) and a ret, which goes nowhere the table shows and hands
  // on what its use says.
  std::vector<char> no_fall(size, 0);
  bool jumps_back = false;  // some jump goes to itself or an entry before it
  // Backward liveness to a fixed point: sets only grow from the first
  // guess (nothing live) and are bounded, so the passes end. Each pass
  // walks the table from the end: where no jump goes back, every entry's
  // successors are settled before it, and the first pass is the last.
  // A pass after the first reads again only the entries whose successors
  // changed since they were read: the next entry or a later target in this
  // pass, an earlier target (or the entry itself) in the pass before. The
  // others would find what they found, so every pass ends as a pass over
  // all would. The pass each entry last changed in, counted modulo 256 (a
  // count that comes round again only reads an entry once more).
  std::vector<uint8_t> changed_in(size, 0);
  bool changed = false;
  // Reads entry i's live registers from its successors' in this pass.
  auto read_live = [&](int i, int t, uint8_t now) {
    const Effect& e = fx[static_cast<size_t>(i)];
    RegSet out = 0;
    if (e.Terminal) {
      out = kAllRegs;
    } else {
      if (!no_fall[static_cast<size_t>(i)]) out |= live[static_cast<size_t>(i) + 1];
      if (t != 0) out |= live[static_cast<size_t>(t)];
    }
    const RegSet in = static_cast<RegSet>(e.Use | (out & ~e.Def));
    if (in != live[static_cast<size_t>(i)]) {
      live[static_cast<size_t>(i)] = static_cast<RegSet>(live[static_cast<size_t>(i)] | in);
      changed = true;
      changed_in[static_cast<size_t>(i)] = now;
    }
  };
  // The facts of every entry and the first pass of the liveness, in one
  // walk from the end: an entry's effect, jump and distances need only the
  // entries after it, and the first pass reads every entry anyway. Where
  // several jumps come to an entry, the one met last here (the first in
  // the table) is its first source.
  // Ends: i only falls.
  for (int i = n; i >= 1; --i) {
    const size_t k = static_cast<size_t>(i);
    const TOpCode& e = code.At(i);
    const std::string_view m = e.OpCode;
    Effect& effect = fx[k];
    effect = EffectOf(code, i);
    if (effect.Terminal && m == "ijmp") f.JumpsIndirectly = true;
    auto on = [](uint8_t after) { return after == RoutineFacts::kFar ? after : uint8_t(after + 1); };
    f.ToNoStep[k] = IsConditionStep(m) ? on(f.ToNoStep[k + 1]) : 0;
    int t = 0;
    const int listed = kept ? f.Target[k] : -1;
    f.Target[k] = 0;
    if (!IsJump(m)) {
      f.ToJump[k] = on(f.ToJump[k + 1]);
      no_fall[k] = m == "ret";
    } else {
      f.ToJump[k] = 0;
      t = -1;
      if (kept) {
        t = listed;
      } else if (std::optional<uint32_t> target = BareHex(e.Op1)) {
        t = code.FindAddr(*target);
      }
      if (t < 1) {
        effect.Terminal = true;  // where it goes, nothing shows
        t = 0;
      } else {
        f.Target[k] = t;
        f.IsJmp[k] = no_fall[k] = m == "jmp";
        if (f.Incoming[static_cast<size_t>(t)]++ == 0) f.LastSource[static_cast<size_t>(t)] = i;
        f.FirstSource[static_cast<size_t>(t)] = i;
        jumps_back = jumps_back || t <= i;
      }
    }
    read_live(i, t, 1);
  }
  if (body.Exit >= 1 && body.Exit <= n) {
    const int exit = f.Resolve(body.Exit);
    std::vector<char> near_exit(size, 0);  // where such a tail may start
    // Ends: one pass over the entries; each marks at most four.
    for (int i = 1; i <= n; ++i) {
      if (f.Resolve(i) != exit) continue;
      for (int k = std::max(1, i - 3); k <= i; ++k) near_exit[static_cast<size_t>(k)] = 1;
    }
    f.MayExit.assign(size, 0);
    // Ends: one pass over the entries.
    for (size_t k = 1; k <= static_cast<size_t>(n); ++k) {
      const uint8_t to_jump = f.ToJump[k];
      if (to_jump != 0 && no_fall[k]) {  // no jump, and does not fall through: a return
        f.MayExit[k] = 1;
        continue;
      }
      if (to_jump > RoutineFacts::kExitReach) continue;
      const int t = f.Target[k + to_jump];
      f.MayExit[k] = t >= 1 && near_exit[static_cast<size_t>(t)];
    }
  }
  // Ends: every pass that changes something adds a bit to some entry's
  // set, and there are at most 8 bits per entry.
  for (int pass = 2; changed && jumps_back; ++pass) {
    changed = false;
    const uint8_t now = static_cast<uint8_t>(pass), before = static_cast<uint8_t>(pass - 1);
    // Ends: i only falls.
    for (int i = n; i >= 1; --i) {
      const int t = f.Target[static_cast<size_t>(i)];
      if (changed_in[static_cast<size_t>(i) + 1] != now &&
          !(t > i ? changed_in[static_cast<size_t>(t)] == now
                  : t != 0 && changed_in[static_cast<size_t>(t)] == before)) {
        continue;
      }
      read_live(i, t, now);
    }
  }
  return f;
}

RegSet RoutineFacts::LiveAfter(int i) const {
  if (i < 1 || i + 1 >= static_cast<int>(LiveIn.size())) return kAllRegs;
  RegSet out = LiveIn[static_cast<size_t>(i) + 1];
  if (int t = Target[static_cast<size_t>(i)]) out |= LiveIn[static_cast<size_t>(t)];
  return out;
}

bool RoutineFacts::EnteredOnlyAtStart(int from, int to) const {
  if (from + 1 > to) return true;
  if (from + 1 < 0 || to >= static_cast<int>(Incoming.size())) return false;  // beyond the table
  // An entry a jump comes to has its first source (a jump's entry, at
  // least 1). No early way out: the loop runs over the range in one go,
  // as the ranges asked are short and mostly pass.
  int outside = 0;
  // Ends: one pass over the entries.
  for (int i = from + 1; i <= to; ++i) {
    const size_t k = static_cast<size_t>(i);
    const int first = FirstSource[k];
    outside |= (first != 0) & ((first < from) | (LastSource[k] > to));
  }
  return outside == 0;
}

bool RoutineFacts::LeavesOnlyTo(int from, int to, int exit) const {
  // Ends: one pass over the entries.
  for (int i = from; i <= to; ++i) {
    const size_t k = static_cast<size_t>(i);
    if (k >= Target.size()) return false;
    const int t = Target[k];
    if (t != 0 && (t < from || t > to) && t != exit && (Body.Exit == 0 || t != Body.Exit)) {
      return false;
    }
  }
  return true;
}

}  // namespace asm2pas
