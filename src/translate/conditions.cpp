#include "translate/conditions.h"

#include <optional>

#include "base/text.h"
#include "listing/number.h"
#include "translate/flow.h"

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

// The general registers, each with the names of its parts.
constexpr std::string_view kRegisterFamilies[][4] = {
    {"eax", "ax", "al", "ah"}, {"ebx", "bx", "bl", "bh"}, {"ecx", "cx", "cl", "ch"},
    {"edx", "dx", "dl", "dh"}, {"esi", "si", {}, {}},     {"edi", "di", {}, {}},
    {"ebp", "bp", {}, {}},     {"esp", "sp", {}, {}},
};

// The family of a register named as a whole operand, or null.
const std::string_view* FamilyOf(std::string_view operand) {
  if (operand.size() < 2 || operand.size() > 3) return nullptr;  // no register's name
  for (const auto& family : kRegisterFamilies) {
    for (std::string_view name : family) {
      if (!name.empty() && operand == name) return family;
    }
  }
  return nullptr;
}

// Whether the operand reads any part of the register family: one of its
// names stands in it as a word. RegistersIn reads every word that names a
// register, each as its family's bit, which the family's first name has.
bool Mentions(std::string_view operand, const std::string_view* family) {
  return (RegistersIn(operand) & RegisterOf(family[0])) != 0;
}


// The relation of a jump on the flags a test of a value with itself
// leaves (no carry, no overflow): a comparison of the value with zero.
TRelation RelationAfterTest(std::string_view m) {
  if (m == "jz" || m == "je" || m == "jbe" || m == "jna") return relEqual;
  if (m == "jnz" || m == "jne" || m == "ja" || m == "jnbe") return relNotEqual;
  if (m == "jl" || m == "jnge" || m == "js") return relLess;
  if (m == "jle" || m == "jng") return relLessEqual;
  if (m == "jg" || m == "jnle") return relGreater;
  if (m == "jge" || m == "jnl" || m == "jns") return relGreaterEqual;
  return relNone;
}

bool IsUnsignedJump(std::string_view m) {
  return m == "jb" || m == "jnae" || m == "jc" || m == "ja" || m == "jnbe" || m == "jbe" ||
         m == "jna" || m == "jae" || m == "jnb" || m == "jnc";
}

TRelation UnsignedRelation(std::string_view m) {
  if (m == "jb" || m == "jnae" || m == "jc") return relLess;
  if (m == "jae" || m == "jnb" || m == "jnc") return relGreaterEqual;
  return RelationOf(m);
}

std::string AsCardinal(std::string_view text) {
  std::string out = "Cardinal(";
  out += text;
  out += ")";
  return out;
}

// The extended reading's forms of a condition that starts with a cmp or a
// test; false when none holds (the caller goes on with the others).
bool ParseExtendedCompare(const CodeTable& code, const VarTable& vars, int a, TIF& cond,
                          bool& decided) {
  const TOpCode& first = code.At(a);
  const TOpCode& jump = code.At(a + 1);
  decided = first.OpCode == "cmp" || first.OpCode == "test" ||
            (first.OpCode == "or" && first.Op1 == first.Op2);
  if (!decided) return false;
  if (jump.OpCode.empty() || jump.OpCode[0] != 'j' || jump.OpCode == "jmp") return false;
  std::optional<uint32_t> target = BareHex(jump.Op1);
  if (!target) return false;
  cond.Target = *target;
  cond.Count = 2;
  return ReadComparison(vars, first, jump.OpCode, cond);
}

// F: a conditional jump on the flags the instruction before it left, when
// nothing else jumps to it: logic leaves no carry and no overflow, so any
// jump that compares with zero compares its result; arithmetic only on
// zero and sign. Moves that leave the flags and the register alone may
// stand between (gcc stores a result before it jumps on it).
bool ParseFlagsOfPrevious(const CodeTable& code, const VarTable& vars, int a, TIF& cond,
                          const RoutineFacts& facts) {
  const TOpCode& jump = code.At(a);
  if (jump.OpCode.empty() || jump.OpCode[0] != 'j' || jump.OpCode == "jmp") return false;
  auto reached_only_so = [&](int k) { return k >= 2 && facts.NoJumpTo(k); };
  if (!reached_only_so(a)) return false;
  constexpr int kMovesBetween = 4;
  int setter = a - 1;
  // Ends: at most kMovesBetween entries back.
  while (setter > a - 1 - kMovesBetween && reached_only_so(setter)) {
    const std::string_view m = code.At(setter).OpCode;
    if (m != "mov" && m != "movzx" && m != "movsx" && m != "lea") break;
    --setter;
  }
  const TOpCode& prev = code.At(setter);
  if (setter < a - 1) {
    // The register the jump's flags tell of must hold that result still.
    const std::string_view* family = FamilyOf(TrimBoth(prev.Op1));
    if (!family || setter < 1) return false;
    // Ends: the moves between, at most kMovesBetween.
    for (int k = setter + 1; k < a; ++k) {
      if (FamilyOf(TrimBoth(code.At(k).Op1)) == family) return false;
    }
  }
  const std::string_view m = prev.OpCode;
  const bool logic = m == "and" || m == "or" || m == "xor";
  bool arith = m == "add" || m == "sub" || m == "inc" || m == "dec" || m == "neg";
  // A shift by a count that is not 0 (the processor takes it mod 32) sets
  // zero and sign by its result; by 0 it leaves the flags as they were.
  if (m == "shl" || m == "sal" || m == "shr" || m == "sar") {
    std::string_view count = TrimBoth(prev.Op2);
    std::optional<uint32_t> n =
        count.empty() ? std::optional<uint32_t>(1) : StrictToInt(count);
    arith = n && count.find('-') == std::string_view::npos && (*n & 31) != 0;
  }
  if ((!logic && !arith) || prev.Op1.empty()) return false;
  const std::string_view j = jump.OpCode;
  if (arith && !(j == "jz" || j == "je" || j == "jnz" || j == "jne" || j == "js" || j == "jns")) {
    return false;
  }
  const TRelation relation = RelationAfterTest(j);
  std::optional<uint32_t> target = BareHex(jump.Op1);
  if (relation == relNone || !target) return false;
  cond.Left = VarName(vars, prev.Op1);
  cond.Right = "0";
  cond.Relation = relation;
  cond.Target = *target;
  cond.Count = 1;
  SignNarrowOrder(prev.Op1, cond);
  return true;
}

// An unsigned jump compares its operands as unsigned numbers: the relation
// is printed on their Cardinal values, which is what the code computes.
void CompareUnsigned(std::string_view jump, TIF& cond) {
  if (!IsUnsignedJump(jump)) return;
  cond.Relation = UnsignedRelation(jump);
  cond.Left = AsCardinal(cond.Left);
  cond.Right = AsCardinal(cond.Right);
}

// Whether nothing reads the register after the jump at entry `jump`.
bool DeadAfter(const ConditionRules& rules, int jump, std::string_view reg) {
  if (!rules.Facts) return true;
  return (rules.Facts->LiveAfter(jump) & RegisterOf(reg)) == 0;
}

int WidthOf(std::string_view operand);

// A bit test of a register: bt r, n (a register, whose count the
// processor takes mod 32, or a number below 32); then a jump on the carry,
// which holds the bit: whether it is set.
bool ParseBitTest(const CodeTable& code, const VarTable& vars, int a, TIF& cond,
                  const ConditionRules& rules) {
  const TOpCode& bt = code.At(a);
  const TOpCode& jump = code.At(a + 1);
  if (bt.OpCode != "bt" || !rules.Facts || !code.Op3(a).empty()) return false;
  const std::string_view j = jump.OpCode;
  const bool set = j == "jb" || j == "jc" || j == "jnae";
  if (!set && j != "jnb" && j != "jnc" && j != "jae") return false;
  const std::string_view value = TrimBoth(bt.Op1), count = TrimBoth(bt.Op2);
  const std::string_view* family = FamilyOf(value);
  if (!family || value != family[0] || value == "esp") return false;
  std::string bit;
  if (const std::string_view* by = FamilyOf(count); by && count == by[0]) {
    bit = "(";
    bit += VarName(vars, count);
    bit += " and 31)";
  } else if (std::optional<uint32_t> n = StrictToInt(count); n && *n < 32) {
    bit = count;
  } else {
    return false;
  }
  std::optional<uint32_t> target = BareHex(jump.Op1);
  if (!target || !rules.Facts->NoJumpTo(a + 1)) return false;
  cond.Left = "(";
  cond.Left += VarName(vars, value);
  cond.Left += " shr ";
  cond.Left += bit;
  cond.Left += ") and $01";
  cond.Right = "0";
  cond.Relation = set ? relNotEqual : relEqual;
  cond.Target = *target;
  cond.Count = 2;
  return true;
}

// A 64-bit comparison: cmp a, b (the low halves); sbb r, y (r holds the
// high half of the first value, y of the second); a jump on the sign and
// overflow, or on the carry: the order of the two 64-bit values, signed or
// unsigned, which the zero flag does not tell. r is left with no value any
// later instruction reads.
bool ParseWideCompare(const CodeTable& code, const VarTable& vars, int a, TIF& cond,
                      const ConditionRules& rules) {
  const TOpCode& cmp = code.At(a);
  if (cmp.OpCode != "cmp") return false;  // most entries: at once
  // gcc may load r with the high half between the cmp and the sbb, where
  // the cmp read r's old value: the high half is then what it loads.
  const bool loads_high = code.At(a + 1).OpCode == "mov";
  const int at = a + (loads_high ? 2 : 1);
  const TOpCode& sbb = code.At(at);
  const TOpCode& jump = code.At(at + 1);
  if (sbb.OpCode != "sbb" || !rules.Facts) return false;
  if (loads_high && (code.At(a + 1).Op1 != sbb.Op1 || !code.Op3(a + 1).empty())) return false;
  // Ends: the entries after the cmp, at most three.
  for (int k = a + 1; k <= at + 1; ++k) {
    if (!rules.Facts->NoJumpTo(k)) return false;
  }
  const std::string_view j = jump.OpCode;
  const bool is_signed = j == "jl" || j == "jnge" || j == "jge" || j == "jnl";
  const bool is_unsigned = j == "jb" || j == "jnae" || j == "jc" || j == "jae" || j == "jnb" ||
                           j == "jnc";
  if (!is_signed && !is_unsigned) return false;
  const std::string_view r = TrimBoth(sbb.Op1);
  const RegSet reg = RegisterOf(r);
  if (reg == 0 || r.size() != 3 || r == "esp" || TrimBoth(sbb.Op2) == r) return false;
  // Each of 32 bits: a variable's name by its variable's size.
  auto dword = [&](std::string_view op) {
    op = TrimBoth(op);
    if (op.empty() || WidthOf(op) != 4) return false;
    if (!op.starts_with("Local_") && !op.starts_with("Global_")) return true;
    // Ends: one pass over the variables (asked rarely).
    for (const TVar& v : vars.Vars) {
      if (v.NewName == op) return v.Size == 4;
    }
    return false;
  };
  if (!dword(cmp.Op1) || !dword(cmp.Op2) || !dword(sbb.Op2)) return false;
  const std::string_view high = loads_high ? TrimBoth(code.At(a + 1).Op2) : r;
  if (loads_high && !dword(high)) return false;
  // The high half of the second value, read by the sbb after r is loaded:
  // not r itself, nor read through it.
  const std::string_view* family = FamilyOf(r);
  if (FamilyOf(TrimBoth(sbb.Op2)) == family || Mentions(sbb.Op2, family)) return false;
  std::optional<uint32_t> target = BareHex(jump.Op1);
  if (!target || !DeadAfter(rules, at + 1, r)) return false;
  auto wide = [&](std::string_view high, std::string_view low) {
    std::string text(is_signed ? "Int64(" : "QWord(Cardinal(");
    text += VarName(vars, high);
    text += is_signed ? ") shl 32 + Cardinal(" : ")) shl 32 + Cardinal(";
    text += VarName(vars, low);
    text += ")";
    return text;
  };
  cond.Left = wide(high, cmp.Op1);
  cond.Right = wide(sbb.Op2, cmp.Op2);
  cond.Relation = is_signed ? RelationOf(j) : UnsignedRelation(j);
  cond.Target = *target;
  cond.Count = at + 2 - a;
  return cond.Relation != relNone;
}

}  // namespace

namespace {

// The width in bytes of what an operand names: 1 for byte registers and
// "byte ptr" memory, 2 for word ones, else 4.
int WidthOf(std::string_view operand) {
  operand = TrimBoth(operand);
  // A register of two letters by its letters: al, ah, ... dh are bytes;
  // ax, ... dx, si, di, bp, sp words.
  if (operand.size() == 2) {
    const char a = operand[0], b = operand[1];
    const bool abcd = a == 'a' || a == 'b' || a == 'c' || a == 'd';
    if (abcd && (b == 'l' || b == 'h')) return 1;
    if ((abcd && b == 'x') || ((a == 's' || a == 'd') && b == 'i') ||
        ((a == 'b' || a == 's') && b == 'p')) {
      return 2;
    }
    return 4;
  }
  if (operand.starts_with("byte ptr")) return 1;
  if (operand.starts_with("word ptr")) return 2;
  return 4;
}

bool IsOrder(TRelation r) {
  return r == relLess || r == relLessEqual || r == relGreater || r == relGreaterEqual;
}

// A byte or word compared by a signed jump: the value is signed at that
// width, which the cast says; a constant is written as the signed number.
std::string SignedAt(int width, std::string_view text) {
  std::string_view body = text;
  const bool minus = body.starts_with("-");
  if (minus) body.remove_prefix(1);
  if (std::optional<uint32_t> v = StrictToInt(body); v && body.starts_with("$")) {
    const uint32_t mask = width == 1 ? 0xFFu : 0xFFFFu;
    const uint32_t bits = (minus ? 0u - *v : *v) & mask;
    const int32_t value = width == 1 ? static_cast<int8_t>(bits) : static_cast<int16_t>(bits);
    static const char kHex[] = "0123456789ABCDEF";
    uint32_t u = static_cast<uint32_t>(value < 0 ? -value : value);
    std::string digits;
    // Ends: one pass per digit.
    do {
      digits.insert(digits.begin(), kHex[u & 15]);
      u >>= 4;
    } while (u != 0);
    if (digits.size() % 2 == 1) digits.insert(digits.begin(), '0');
    return (value < 0 ? "-$" : "$") + digits;
  }
  return std::string(width == 1 ? "ShortInt(" : "SmallInt(") + std::string(text) + ")";
}

bool ReadWideComparison(const VarTable& vars, const TOpCode& first, std::string_view jump,
                        TIF& cond);


// The extended reading's load, steps and comparison: mov r, x; steps that
// change r by what does not read it (add, sub, and, or, xor, imul, shl,
// shr, sar, inc, dec, neg, not, lea r, [r+n] or [r-n]); then a cmp with r
// on one side, or a test of r with itself; then the jump, after which
// nothing reads r. The condition compares the expression the steps make
// of x, so a comparison of a computed value is a condition of its own
// (Free Pascal computes the second operand of an "or" between the jumps).
class LoadExpression {
 public:
  explicit LoadExpression(std::string text) : text_(std::move(text)) {}
  // Applies an operator of precedence `level` (1: adding, 2: multiplying)
  // with the right operand `right`; the expression so far is grouped where
  // it binds looser than the operator.
  void Apply(int level, std::string_view op, std::string_view right) {
    if (level_ != 0 && level_ < level) text_ = "(" + text_ + ")";
    text_ += op;
    text_ += right;
    level_ = level;
  }
  void Wrap(std::string_view before, std::string_view after) {
    text_ = std::string(before) + text_ + std::string(after);
    level_ = 0;
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  int level_ = 0;  // 0: an atom or a call
};

// Registers a load-and-compute sequence may use: the 32-bit ones but esp
// and ebp, by their family index in kRegisterFamilies.
[[gnu::always_inline]] inline int ScratchIndex(std::string_view operand) {
  // Most operands need no trimming: one that starts with a letter starts
  // with no blank.
  if (operand.size() != 3 || operand[0] != 'e') operand = TrimBoth(operand);
  if (operand.size() != 3 || operand[0] != 'e') return -1;
  // By its letters, in the order of kRegisterFamilies.
  const char a = operand[1], b = operand[2];
  if (b == 'x') return a == 'a' ? 0 : a == 'b' ? 1 : a == 'c' ? 2 : a == 'd' ? 3 : -1;
  if (b == 'i') return a == 's' ? 4 : a == 'd' ? 5 : -1;
  return -1;
}

// The mnemonics the loop of ParseLoadExpression goes on over.
bool IsLoadStep(std::string_view m) {
  // mov, inc, dec, neg, not, add, sub, or, xor, and, imul, shl, shr and
  // sar, told apart by length and first letter: asked of every load.
  switch (m.size()) {
    case 2: return m == "or";
    case 4: return m == "imul";
    case 3: break;
    default: return false;
  }
  switch (m[0]) {
    case 'm': return m == "mov";
    case 'i': return m == "inc";
    case 'd': return m == "dec";
    case 'n': return m == "neg" || m == "not";
    case 'a': return m == "add" || m == "and";
    case 's': return m == "sub" || m == "shl" || m == "shr" || m == "sar";
    case 'x': return m == "xor";
    default: return false;
  }
}

// Whether a load-and-compute condition can start at entry `a`, read
// before any text is built: the loop of ParseLoadExpression goes on only
// over steps whose first operand is a scratch register, so it can end
// only where the first other entry stands (or after kLongestLoad), and
// only a cmp or test there, with a jump after it, gives a condition.
constexpr int kLongestLoad = 10;
[[gnu::noinline]] bool MayEndInComparison(const CodeTable& code, int a) {
  int end = a;
  // Ends: at most kLongestLoad entries.
  while (end < a + kLongestLoad && IsLoadStep(code.At(end).OpCode) &&
         ScratchIndex(code.At(end).Op1) >= 0) {
    ++end;
  }
  const std::string_view m = code.At(end).OpCode;
  return end != a && (m == "cmp" || m == "test") && code.At(end + 1).OpCode.starts_with("j");
}

// Reads the sequence in two walks: the first decides, from the operands
// as listed, where it ends and whether it gives a condition; only then does
// the second write the texts (most sequences a load starts give none, as
// a register they load is read after the jump).
bool ParseLoadExpression(const CodeTable& code, const VarTable& vars, int a, TIF& cond,
                         const ConditionRules& rules) {
  if (!MayEndInComparison(code, a)) return false;
  // The registers the sequence loaded so far, by their family index.
  unsigned held = 0;
  auto is_held = [&](int r) { return r >= 0 && (held >> r & 1) != 0; };
  // Whether an operand reads a register the sequence loaded.
  auto reads_held = [&](std::string_view operand) {
    for (int r = 0; r < 6; ++r) {
      if (is_held(r) && Mentions(operand, kRegisterFamilies[r])) return true;
    }
    return false;
  };
  // Whether an operand has a value: a loaded register's expression, or a
  // name (of what reads no loaded register).
  auto has_value = [&](std::string_view operand) {
    return is_held(ScratchIndex(operand)) || !reads_held(operand);
  };
  bool loads[kLongestLoad] = {};  // per step: a load, which starts an expression anew
  int i = a;
  // Ends: at most kLongestLoad instructions, each one entry further.
  for (; i < a + kLongestLoad; ++i) {
    const TOpCode& e = code.At(i);
    const std::string_view m = e.OpCode;
    const int r = ScratchIndex(e.Op1);
    if (m == "mov" && r >= 0 && !reads_held(e.Op2)) {
      held |= 1u << r;
      loads[i - a] = true;
      continue;
    }
    if (!is_held(r) || !code.Op3(i).empty()) break;
    if (m == "inc" || m == "dec" || m == "neg" || m == "not") continue;
    if (e.Op2.empty() || !has_value(e.Op2)) break;
    if (ScratchIndex(e.Op2) == r) break;  // the register with itself
    const bool by_constant = TrimBoth(e.Op2).starts_with("$");
    if (m != "add" && m != "sub" && m != "or" && m != "xor" && m != "and" && m != "imul" &&
        !((m == "shl" || m == "shr" || m == "sar") && by_constant)) {
      break;
    }
  }
  if (i == a) return false;
  const TOpCode& cmp = code.At(i);
  const TOpCode& jump = code.At(i + 1);
  const int r1 = ScratchIndex(cmp.Op1), r2 = ScratchIndex(cmp.Op2);
  const bool tested = cmp.OpCode == "test" && cmp.Op1 == cmp.Op2 && is_held(r1);
  if (!tested && (cmp.OpCode != "cmp" || !has_value(cmp.Op1) || !has_value(cmp.Op2))) return false;
  // The comparison reads what the sequence computed, and nothing reads a
  // register it loaded after the jump.
  if (!is_held(r1) && !is_held(r2)) return false;
  for (int r = 0; r < 6; ++r) {
    if (is_held(r) && !DeadAfter(rules, i + 1, kRegisterFamilies[r][0])) return false;
  }
  if (!ReadJump(jump, cond)) return false;
  if (tested) cond.Relation = RelationAfterTest(jump.OpCode);
  if (cond.Relation == relNone) return false;

  // The texts: the value each register holds, as an expression of what was
  // loaded, step by step as decided above.
  std::optional<LoadExpression> expr[6];
  // An operand's value: a loaded register's expression, or its name.
  auto value = [&](std::string_view operand) {
    const int r = ScratchIndex(operand);
    if (r >= 0 && expr[r]) return expr[r]->Text();
    return std::string(VarName(vars, operand));
  };
  // Ends: the steps decided above.
  for (int k = a; k < i; ++k) {
    const TOpCode& e = code.At(k);
    const std::string_view m = e.OpCode;
    const int r = ScratchIndex(e.Op1);
    if (loads[k - a]) {
      expr[r].emplace(std::string(VarName(vars, e.Op2)));
      continue;
    }
    LoadExpression& x = *expr[r];
    if (m == "inc") x.Apply(1, "+", "$01");
    if (m == "dec") x.Apply(1, "-", "$01");
    if (m == "neg") x.Wrap("-(", ")");
    if (m == "not") x.Wrap("not (", ")");
    if (m == "inc" || m == "dec" || m == "neg" || m == "not") continue;
    const std::string y = value(e.Op2);
    if (m == "add" || m == "sub") {
      x.Apply(1, m == "add" ? "+" : "-", y);
    } else if (m == "or" || m == "xor") {
      x.Apply(1, m == "or" ? " or " : " xor ", y);
    } else if (m == "and") {
      x.Apply(2, " and ", y);
    } else if (m == "imul") {
      x.Apply(2, "*", y);
    } else if (m == "shl" || m == "shr") {
      x.Apply(2, m == "shl" ? " shl " : " shr ", y);
    } else {
      x.Wrap("SarLongint(", ", " + y + ")");
    }
  }
  if (tested) {
    cond.Left = expr[r1]->Text();
    cond.Right = "0";
  } else {
    cond.Left = value(cmp.Op1);
    cond.Right = value(cmp.Op2);
    CompareUnsigned(jump.OpCode, cond);
  }
  cond.Count = i - a + 2;
  return true;
}
}  // namespace

void SignNarrowOrder(std::string_view compared, TIF& cond) {
  const int width = WidthOf(compared);
  if (width == 4 || !IsOrder(cond.Relation) || cond.Left.starts_with("Cardinal(")) return;
  cond.Left = SignedAt(width, cond.Left);
  if (cond.Right != "0") cond.Right = SignedAt(width, cond.Right);
}

bool ReadComparison(const VarTable& vars, const TOpCode& first, std::string_view jump,
                    TIF& cond) {
  const bool read = ReadWideComparison(vars, first, jump, cond);
  if (read) SignNarrowOrder(first.Op1, cond);
  return read;
}

namespace {

bool ReadWideComparison(const VarTable& vars, const TOpCode& first, std::string_view jump,
                        TIF& cond) {
  if (first.OpCode == "cmp") {
    if (IsUnsignedJump(jump)) {
      cond.Relation = UnsignedRelation(jump);
      cond.Left = AsCardinal(VarName(vars, first.Op1));
      cond.Right = AsCardinal(VarName(vars, first.Op2));
      return true;
    }
    cond.Relation = RelationOf(jump);
    cond.Left = VarName(vars, first.Op1);
    cond.Right = VarName(vars, first.Op2);
    return cond.Relation != relNone;
  }
  if (first.OpCode == "test" || first.OpCode == "or") {
    if (first.Op1 == first.Op2) {
      cond.Relation = RelationAfterTest(jump);
      cond.Left = VarName(vars, first.Op1);
      cond.Right = "0";
      return cond.Relation != relNone;
    }
    if (first.OpCode == "test" && (jump == "jz" || jump == "je" || jump == "jnz" || jump == "jne")) {
      cond.Relation = jump == "jz" || jump == "je" ? relEqual : relNotEqual;
      cond.Left = VarName(vars, first.Op1);
      cond.Left += " and ";
      cond.Left += VarName(vars, first.Op2);
      cond.Right = "0";
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseCondition(const CodeTable& code, const VarTable& vars, int a, TIF& cond,
                    const ConditionRules& rules) {
  // Reset, keeping the texts' storage for the next condition read into it.
  cond.Left.clear();
  cond.Right.clear();
  cond.Relation = relNone;
  cond.Target = 0;
  cond.Count = 0;
  const TOpCode& first = code.At(a);
  const TOpCode& second = code.At(a + 1);
  if (rules.Extended) {
    if (ParseWideCompare(code, vars, a, cond, rules)) return true;
    if (ParseBitTest(code, vars, a, cond, rules)) return true;
    bool decided = false;
    const bool found = ParseExtendedCompare(code, vars, a, cond, decided);
    if (decided) return found;
    if (rules.Facts && ParseFlagsOfPrevious(code, vars, a, cond, *rules.Facts)) return true;
  }

  // A: cmp x, y; jcc
  if (first.OpCode == "cmp") {
    if (!ReadJump(second, cond)) return false;
    cond.Left = VarName(vars, first.Op1);
    cond.Right = VarName(vars, first.Op2);
    CompareUnsigned(second.OpCode, cond);
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
  if (rules.Extended && rules.Facts && ParseLoadExpression(code, vars, a, cond, rules)) {
    return true;
  }
  // D and E read the mov as loading a register that only the comparison
  // reads: a store to memory stays a statement of its own, and a
  // comparison or step that reads the register would read what the mov
  // loaded, which the condition does not show.
  const std::string_view* loaded =
      first.OpCode == "mov" ? FamilyOf(TrimBoth(first.Op1)) : nullptr;
  if (!loaded) return false;
  // D: mov r, x; cmp r, y; jcc
  if (second.OpCode == "cmp" && first.Op1 == second.Op1) {
    if (Mentions(second.Op2, loaded)) return false;
    if (!DeadAfter(rules, a + 2, first.Op1)) return false;
    if (!ReadJump(code.At(a + 2), cond)) return false;
    if (rules.Extended && cond.Relation == relNone) return false;
    cond.Left = VarName(vars, first.Op2);
    cond.Right = VarName(vars, second.Op2);
    CompareUnsigned(code.At(a + 2).OpCode, cond);
    if (rules.Extended) SignNarrowOrder(first.Op1, cond);
    cond.Count = 3;
    return true;
  }
  // The extended reading's D with the register on the right: mov r, x;
  // cmp y, r; jcc (gcc's layout of a comparison of two variables).
  if (rules.Extended && second.OpCode == "cmp" && TrimBoth(second.Op2) == TrimBoth(first.Op1) &&
      !Mentions(second.Op1, loaded)) {
    if (!DeadAfter(rules, a + 2, first.Op1)) return false;
    if (!ReadJump(code.At(a + 2), cond) || cond.Relation == relNone) return false;
    cond.Left = VarName(vars, second.Op1);
    cond.Right = VarName(vars, first.Op2);
    CompareUnsigned(code.At(a + 2).OpCode, cond);
    SignNarrowOrder(first.Op1, cond);
    cond.Count = 3;
    return true;
  }
  // E: mov r, x; add/sub r, y ...; cmp with r on either side; jcc. Every
  // step changes r, by an amount that does not read it.
  if (IsAddSub(second)) {
    int i = a + 1;
    // Ends: every entry past the table reads as empty, which is no add/sub.
    for (; IsAddSub(code.At(i)); ++i) {
      const TOpCode& step = code.At(i);
      if (step.Op1 != first.Op1 || Mentions(step.Op2, loaded)) return false;
    }
    const TOpCode& cmp = code.At(i);
    if (cmp.OpCode != "cmp") return false;
    const bool expr_right = cmp.Op2 == first.Op1;
    if (!expr_right && cmp.Op1 != first.Op1) return false;
    if (Mentions(expr_right ? cmp.Op1 : cmp.Op2, loaded)) return false;
    if (!DeadAfter(rules, i + 1, first.Op1)) return false;
    if (!ReadJump(code.At(i + 1), cond)) return false;
    if (rules.Extended && cond.Relation == relNone) return false;
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
    CompareUnsigned(code.At(i + 1).OpCode, cond);
    if (rules.Extended) SignNarrowOrder(first.Op1, cond);
    cond.Count = i - a + 2;
    return true;
  }
  return false;
}

bool MayStartCondition(const CodeTable& code, int a, const ConditionRules& rules) {
  const std::string_view m = code.At(a).OpCode;
  if (!rules.Extended || m != "mov") return true;
  // A load: D and E compare after add and sub steps, the load expression
  // after at most kLongestLoad steps; each with the comparison's jump, a
  // conditional one (the extended rules take no other).
  int k = a + 1;
  // Ends: every entry past the table reads as empty, which is no add/sub.
  while (IsAddSub(code.At(k))) ++k;
  if (code.At(k).OpCode == "cmp" && code.At(k + 1).OpCode.starts_with("j")) return true;
  return MayEndInComparison(code, a);
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

Join JoinAfter(const bool* enters, int i, int n) {
  if (enters[i]) return Join{"or", false};
  return Join{"and", i + 1 < n - 1 && enters[i + 1]};
}

}  // namespace asm2pas
