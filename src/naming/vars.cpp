#include "naming/vars.h"

#include <cstring>

#include "base/text.h"

namespace asm2pas {

namespace {
bool Contains(std::string_view text, std::string_view word) {
  return text.find(word) != std::string_view::npos;
}
}  // namespace

namespace {
// The lookup key of an operand, as a view into it.
std::string_view KeyOf(std::string_view operand) {
  size_t p = operand.find(" ptr ");
  if (p != std::string_view::npos) return TrimBoth(operand.substr(p + 5));
  return TrimBoth(operand);
}
}  // namespace

std::string StripPtr(std::string_view operand) { return std::string(KeyOf(operand)); }

TOperandKind OperandKind(std::string_view operand) {
  // One pass: "ebp-" anywhere decides at once; otherwise the register
  // names come before "ebp+" and "[$", which the pass notes.
  bool above = false;
  // Ends: one pass over the operand.
  for (size_t i = 0; i + 1 < operand.size(); ++i) {
    if (operand[i] == '[' && operand[i + 1] == '$') {
      above = true;
    } else if (operand[i] == 'e' && i + 3 < operand.size() && operand[i + 1] == 'b' &&
               operand[i + 2] == 'p') {
      if (operand[i + 3] == '-') return okLocal;
      if (operand[i + 3] == '+') above = true;
    }
  }
  if (operand == "edi" || operand == "esi") return okLocal;
  if (operand == "ebx" || operand == "bx" || operand == "bl") return okLocal;
  if (above) return okGlobal;
  return okNone;
}

uint8_t OperandSize(std::string_view operand) {
  // Longer keywords first: "dword ptr" contains "word ptr".
  if (Contains(operand, "tbyte ptr")) return 10;
  if (Contains(operand, "qword ptr")) return 8;
  if (Contains(operand, "dword ptr")) return 4;
  if (Contains(operand, "word ptr")) return 2;
  if (Contains(operand, "byte ptr")) return 1;
  return 4;
}

namespace {
std::string NameOfKind(VarTable& vars, TOperandKind kind) {
  bool global = kind == okGlobal;
  int32_t& seq = global ? vars.GlobalSeq : vars.LocalSeq;
  // Upper-case hexadecimal, at least four digits.
  std::string name = global ? "Global_" : "Local_";
  uint32_t value = static_cast<uint32_t>(seq);
  int digits = 4;
  // Ends: at most eight hexadecimal digits.
  while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
  // Ends: one pass per digit.
  for (int d = digits - 1; d >= 0; --d) name += "0123456789ABCDEF"[(value >> (4 * d)) & 0xF];
  ++seq;
  return name;
}
}  // namespace

std::string MakeVarName(VarTable& vars, std::string_view operand) {
  return NameOfKind(vars, OperandKind(operand));
}

namespace {
constexpr size_t kNameSlots = 4096;  // a power of two
static_assert(kNameSlots >= 2 * kVarsCapacity, "the name slots must stay half empty");

// Eight bytes at a time: a name is hashed for every variable operand the
// reading meets; any hash gives the same answers, only the probing differs.
size_t NameSlot(std::string_view name) {
  uint64_t h = name.size();
  size_t i = 0;
  // Ends: i grows by eight up to the last whole word.
  for (; i + 8 <= name.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, name.data() + i, 8);
    h = (h ^ word) * 0x9E3779B97F4A7C15ull;
  }
  uint64_t tail = 0;
  // Ends: at most seven bytes.
  for (size_t k = 0; i + k < name.size(); ++k) {
    tail |= uint64_t{static_cast<unsigned char>(name[i + k])} << (8 * k);
  }
  h = (h ^ tail) * 0x9E3779B97F4A7C15ull;
  static_assert(kNameSlots == size_t{1} << 12, "a slot is the hash's top 12 bits");
  return static_cast<size_t>(h >> 52);  // the top bits are the best mixed
}
}  // namespace

int FindVar(const VarTable& vars, std::string_view operand) {
  if (vars.ByName.empty()) return -1;
  std::string_view key = KeyOf(operand);
  // Ends: the slots are never more than half full, so an empty one comes.
  for (size_t s = NameSlot(key);; s = (s + 1) & (kNameSlots - 1)) {
    int k = vars.ByName[s];
    if (k == 0) return -1;
    if (vars.Vars[static_cast<size_t>(k - 1)].Name == key) return k;
  }
}

const std::vector<int>& RegisterVariables(const VarTable& vars) {
  if (vars.RegistersFoundAt == vars.VarCount()) return vars.Registers;
  static constexpr std::string_view kWhole[] = {"eax", "ecx", "edx", "ebx",
                                                 "esp", "ebp", "esi", "edi"};
  vars.Registers.clear();
  // Ends: one pass over the variables.
  for (int k = 1; k <= vars.VarCount(); ++k) {
    const std::string& name = vars.Vars[static_cast<size_t>(k - 1)].Name;
    for (std::string_view r : kWhole) {
      if (name == r) vars.Registers.push_back(k);
    }
  }
  vars.RegistersFoundAt = vars.VarCount();
  return vars.Registers;
}

namespace {
// A name that an operand of no variable kind could have as its key: one
// with none of the marks of a frame slot or absolute memory, other than
// the register variables' own names.
bool IsOddName(std::string_view name) {
  if (name == "edi" || name == "esi" || name == "ebx" || name == "bx" || name == "bl") return false;
  return name.find("ebp-") == std::string_view::npos && name.find("ebp+") == std::string_view::npos &&
         name.find("[$") == std::string_view::npos;
}

// Registers t (trimmed, of a variable kind) unless it is there.
int16_t Register(VarTable& vars, std::string_view t, TOperandKind kind) {
  int k = FindVar(vars, t);
  if (k >= 1) return static_cast<int16_t>(k);
  if (vars.VarCount() >= kVarsCapacity) {
    // The table is full: the operand stays unnamed and prints as written,
    // and as no entry is added any more, that stays so.
    vars.Refused.insert(StripPtr(t));
    return kNotAVar;
  }
  TVar v;
  v.Name = StripPtr(t);
  v.NewName = NameOfKind(vars, kind);
  v.Size = OperandSize(t);
  v.Reserved = 0;
  v.Kind = kind;
  if (IsOddName(v.Name)) vars.OddNames = true;
  // Room for all at once: the table never copies its entries as it grows.
  if (vars.Vars.empty()) vars.Vars.reserve(kVarsCapacity);
  vars.Vars.push_back(std::move(v));
  if (vars.ByName.empty()) vars.ByName.assign(kNameSlots, 0);
  // Ends: the slots are never more than half full, so an empty one comes.
  size_t s = NameSlot(vars.Vars.back().Name);
  while (vars.ByName[s] != 0) s = (s + 1) & (kNameSlots - 1);
  vars.ByName[s] = vars.VarCount();
  return static_cast<int16_t>(vars.VarCount());
}
}  // namespace

int16_t AddVar(VarTable& vars, std::string_view operand) {
  if (operand.empty()) return kNotAVar;  // most third operands; never a variable
  std::string_view t = TrimBoth(operand);
  // Most operands are no variable at all; that test is cheaper than the
  // lookup, and either one alone leaves the table unchanged.
  TOperandKind kind = OperandKind(t);
  if (kind == okNone) {
    // Without a blank (so without " ptr ") its key is the operand itself,
    // which lacks every mark (else it had a kind) and is no register
    // variable (same reason): only an odd name can equal it.
    return t.find(' ') == std::string_view::npos ? kUnlessOddNames : kLookUp;
  }
  return Register(vars, t, kind);
}

int16_t AddVarOfKind(VarTable& vars, std::string_view operand, TOperandKind kind) {
  std::string_view t = TrimBoth(operand);
  if (t.empty() || kind == okNone) return kNotAVar;
  return Register(vars, t, kind);
}

namespace {
bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The next word of the operand from `from` on that is a register
// variable's name: its variable (0 for none) and where it stands.
int NextRegisterVariable(const VarTable& vars, std::string_view t, size_t from, size_t& at,
                         size_t& end) {
  // Ends: every pass moves past one word of the operand.
  for (at = from; at < t.size(); at = end) {
    end = at + 1;
    if (!IsWordChar(t[at])) continue;
    // Ends: end only grows, up to the operand's length.
    while (end < t.size() && IsWordChar(t[end])) ++end;
    const std::string_view word = t.substr(at, end - at);
    if (OperandKind(word) != okLocal) continue;
    if (int k = FindVar(vars, word); k >= 1) return k;
  }
  return 0;
}

// The memory operand with every register in it that is a variable named;
// the operand itself when none is.
std::string_view NamedInside(const VarTable& vars, std::string_view t) {
  size_t at = 0, end = 0;
  int k = NextRegisterVariable(vars, t, 0, at, end);
  if (k == 0) return t;  // most operands name none
  auto known = vars.Inside.find(t);
  if (known != vars.Inside.end()) return known->second;
  std::string named;
  size_t copied = 0;
  // Ends: every pass moves past one register variable's name.
  for (; k != 0; k = NextRegisterVariable(vars, t, end, at, end)) {
    named.append(t.substr(copied, at - copied));
    named += vars.Vars[static_cast<size_t>(k - 1)].NewName;
    copied = end;
  }
  named.append(t.substr(copied));
  return vars.Inside.emplace(std::string(t), std::move(named)).first->second;
}
// Out of line, so that the default reading's path stays as short as it was.
[[gnu::noinline]] void NameInside(const VarTable& vars, std::string_view& operand) {
  if (operand.find('[') != std::string_view::npos) operand = NamedInside(vars, operand);
}
}  // namespace

std::string_view VarName(const VarTable& vars, std::string_view operand) {
  std::string_view t = TrimBoth(operand);
  int k = FindVar(vars, t);
  if (k >= 1) return vars.Vars[static_cast<size_t>(k - 1)].NewName;
  if (vars.NamesInside && t.find('[') != std::string_view::npos) return NamedInside(vars, t);
  return t;
}

void SubstituteName(const VarTable& vars, std::string_view& operand) {
  if (operand.empty()) return;  // no name is empty
  operand = VarName(vars, operand);
}

void SubstituteName(const VarTable& vars, std::string_view& operand, int16_t hint) {
  if (hint >= 1) {
    operand = vars.Vars[static_cast<size_t>(hint - 1)].NewName;
  } else if (hint == kNotAVar || (hint == kUnlessOddNames && !vars.OddNames)) {
    operand = TrimBoth(operand);  // what VarName answers for no variable
    if (vars.NamesInside) [[unlikely]] NameInside(vars, operand);
  } else {
    SubstituteName(vars, operand);
  }
}

}  // namespace asm2pas

namespace asm2pas {

std::string NameRegisters(const VarTable& vars, std::string_view text) {
  std::string_view named = VarName(vars, text);
  if (named.data() != TrimBoth(text).data() || named.size() != TrimBoth(text).size()) {
    return std::string(named);
  }
  std::string out;
  size_t i = 0;
  auto word_char = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  };
  // Ends: every pass moves i past one word or one other character.
  while (i < named.size()) {
    if (!word_char(named[i])) {
      out += named[i++];
      continue;
    }
    size_t j = i;
    while (j < named.size() && word_char(named[j])) ++j;
    const std::string_view word = named.substr(i, j - i);
    const bool register_var = word == "ebx" || word == "esi" || word == "edi" || word == "bx" ||
                              word == "bl";
    const int k = register_var ? FindVar(vars, word) : -1;
    if (k >= 1) {
      out += vars.Vars[static_cast<size_t>(k - 1)].NewName;
    } else {
      out += word;
    }
    i = j;
  }
  return out;
}

}  // namespace asm2pas
