#include "translate/extended/expressions.h"

#include "base/text.h"
#include "listing/number.h"

namespace asm2pas {

namespace {

constexpr RegSet kEsp = 1u << 4, kEbp = 1u << 5;

// Registers by width; those a statement cannot name as the values they hold
// are left out (see Classify).
constexpr std::string_view kRegisters32[] = {"eax", "ecx", "edx", "ebx", "esi", "edi", "ebp"};
constexpr std::string_view kRegisters16[] = {"ax", "cx", "dx", "bx"};
constexpr std::string_view kRegisters8[] = {"al", "ah", "cl", "ch", "dl", "dh", "bl", "bh"};

template <size_t N>
bool OneOf(std::string_view text, const std::string_view (&names)[N]) {
  for (std::string_view name : names) {
    if (text == name) return true;
  }
  return false;
}

bool IsHexDigit(char c) { return kHexDigits[static_cast<unsigned char>(c)] >= 0; }

// "$" and one to eight hexadecimal digits.
bool IsHexNumber(std::string_view text) {
  if (text.size() < 2 || text.size() > 9 || text[0] != '$') return false;
  for (char c : text.substr(1)) {
    if (!IsHexDigit(c)) return false;
  }
  return true;
}

// The width a size keyword states, 0 for none, -1 for any other.
int KeywordBits(std::string_view text, std::string_view& rest) {
  const size_t ptr = text.find(" ptr ");
  rest = text;
  if (ptr == std::string_view::npos) return 0;
  rest = TrimBoth(text.substr(ptr + 5));
  const std::string_view word = text.substr(0, ptr);
  if (word == "byte") return 8;
  if (word == "word") return 16;
  if (word == "dword") return 32;
  return -1;
}

// A variable's plain slot: a frame register with a displacement, an
// absolute address, or a slot's key, with no register to index it.
bool IsPlainSlot(std::string_view inner) {
  const RegSet regs = RegistersIn(inner);
  if (inner.find('*') != std::string_view::npos) return false;
  return regs == 0 || (regs == kEbp && inner.starts_with("ebp")) ||
         (regs == kEsp && inner.starts_with("esp"));
}

}  // namespace

OperandInfo Classify(std::string_view listed) {
  const std::string_view t = TrimBoth(listed);
  OperandInfo info;
  if (OneOf(t, kRegisters32)) {
    info = {OperandForm::kRegister, 32, RegisterOf(t)};
  } else if (OneOf(t, kRegisters16)) {
    info = {OperandForm::kRegister, 16, RegisterOf(t)};
  } else if (OneOf(t, kRegisters8)) {
    info = {OperandForm::kRegister, 8, RegisterOf(t)};
  } else if (IsHexNumber(t) || (t.size() > 1 && t[0] == '-' && IsHexNumber(t.substr(1)))) {
    info = {OperandForm::kImmediate, 0, 0};
  } else {
    std::string_view rest;
    const int bits = KeywordBits(t, rest);
    if (rest.size() >= 2 && rest.front() == '[' && rest.back() == ']') {
      info = {OperandForm::kMemory, bits, RegistersIn(rest)};
    }
  }
  return info;
}

std::optional<uint32_t> Immediate(std::string_view listed) {
  const std::string_view t = TrimBoth(listed);
  if (Classify(t).Form != OperandForm::kImmediate) return std::nullopt;
  if (t[0] == '-') {
    std::optional<uint32_t> v = StrictToInt(t.substr(1));
    if (v) return 0u - *v;
    return v;
  }
  return StrictToInt(t);
}

namespace {

// A memory operand as the bytes it names: its size, the registers that
// address it (the text between the bracket and the number added) and
// the number; nothing for one of another form.
struct MemoryPlace {
  int Size = 0;
  std::string_view Base;
  int64_t Offset = 0;
};

std::optional<MemoryPlace> PlaceOf(std::string_view operand) {
  static constexpr std::pair<std::string_view, int> kSizes[] = {
      {"byte ptr ", 1}, {"word ptr ", 2}, {"dword ptr ", 4}, {"qword ptr ", 8}};
  MemoryPlace place;
  for (const auto& [keyword, size] : kSizes) {
    if (operand.starts_with(keyword)) {
      place.Size = size;
      operand.remove_prefix(keyword.size());
    }
  }
  if (place.Size == 0 || !operand.starts_with('[') || !operand.ends_with(']')) return std::nullopt;
  const std::string_view inner = operand.substr(1, operand.size() - 2);
  const size_t sign = inner.find_last_of("+-");
  place.Base = inner;
  if (sign != std::string_view::npos && sign + 1 < inner.size() && inner[sign + 1] == '$') {
    const std::optional<uint32_t> n = BareHex(inner.substr(sign + 2));
    if (!n) return std::nullopt;
    place.Base = inner.substr(0, sign);
    place.Offset = inner[sign] == '-' ? -int64_t{*n} : int64_t{*n};
  }
  if (place.Base.empty() || place.Base.find('$') != std::string_view::npos) return std::nullopt;
  return place;
}

}  // namespace

bool SurelyApart(std::string_view a, std::string_view b) {
  const std::optional<MemoryPlace> x = PlaceOf(a), y = PlaceOf(b);
  return x && y && x->Base == y->Base &&
         (x->Offset + x->Size <= y->Offset || y->Offset + y->Size <= x->Offset);
}

bool IsDword(std::string_view listed, RegSet not_read) {
  const OperandInfo op = Classify(listed);
  if (op.Form != OperandForm::kRegister && op.Form != OperandForm::kMemory) return false;
  return op.Bits == 32 && (op.Reads & not_read) == 0;
}

std::string Widened(const VarTable& vars, std::string_view listed, int bits, bool sign) {
  const std::string_view value = Value(vars, listed);
  // A register or a memory text states its width; a variable's name does
  // not, so its value is cut to the width read.
  if (!sign && FindVar(vars, listed) < 1) return std::string(value);
  std::string out = sign ? (bits == 8 ? "ShortInt(" : "SmallInt(") : (bits == 8 ? "Byte(" : "Word(");
  out += value;
  out += ")";
  return out;
}

bool AddressExpression(const VarTable& vars, std::string_view listed, std::string& out) {
  std::string_view t;
  if (KeywordBits(TrimBoth(listed), t) < 0) return false;
  if (t.size() < 3 || t.front() != '[' || t.back() != ']') return false;
  const std::string_view inner = t.substr(1, t.size() - 2);
  out.clear();
  if (IsPlainSlot(inner) && FindVar(vars, listed) >= 1) {
    out.push_back('@');
    out.append(VarName(vars, listed));
    return true;
  }
  // Terms joined by + and -: a register, a register times a scale, or a
  // number; registers that are variables by their names. An indexed
  // variable ([ebp+eax*4-$20]) has no name for its address alone.
  size_t at = 0;
  // Ends: every pass moves past one term.
  while (at < inner.size()) {
    char sign = '+';
    if (inner[at] == '+' || inner[at] == '-') sign = inner[at++];
    size_t end = at;
    // Ends: end only grows, up to the text's length.
    while (end < inner.size() && inner[end] != '+' && inner[end] != '-') ++end;
    // (Blanks stand around the signs where the passes took a variable's
    // mark off an operand: "[ebp + $01]".)
    const std::string_view term = TrimBoth(inner.substr(at, end - at));
    const size_t star = term.find('*');
    const std::string_view reg = term.substr(0, star);
    if (sign == '-' || !out.empty()) out += sign;
    if (star == std::string_view::npos && IsHexNumber(term)) {
      out += term;
    } else if (OneOf(reg, kRegisters32) || reg == "esp") {
      out += VarName(vars, reg);
      if (star != std::string_view::npos) {
        const std::string_view scale = term.substr(star + 1);
        if (scale != "1" && scale != "2" && scale != "4" && scale != "8") return false;
        out += '*';
        out += scale;
      }
    } else {
      return false;  // a symbol, eiz
    }
    at = end;
  }
  return !out.empty();
}

}  // namespace asm2pas
