#include "operands.h"

#include <cctype>
#include <cstdint>
#include <optional>

#include "instruction_text.h"
#include "relocations.h"
#include "text.h"

namespace asm2pas::objdump {
namespace {

// The parts of an absolute operand, "DWORD PTR ds:0x804a01c": size keyword
// (with its trailing blank), segment, address.
struct AbsoluteOperand {
  std::string Size;
  std::string Segment;
  uint64_t Address = 0;
};

std::optional<AbsoluteOperand> ParseAbsolute(std::string_view lowered) {
  AbsoluteOperand out;
  if (size_t ptr = lowered.find(" ptr "); ptr != std::string_view::npos) {
    out.Size = std::string(lowered.substr(0, ptr + 5));
    lowered.remove_prefix(ptr + 5);
  }
  if (lowered.size() < 6 || lowered[2] != ':' || lowered[1] != 's' ||
      std::string_view("cdefgs").find(lowered[0]) == std::string_view::npos ||
      lowered.substr(3, 2) != "0x")
    return std::nullopt;
  std::optional<uint64_t> address = ParseHex(lowered.substr(5));
  if (!address) return std::nullopt;
  out.Segment = std::string(lowered.substr(0, 2));
  out.Address = *address;
  return out;
}

std::string AbsoluteText(const AbsoluteOperand& a, const std::string& inside) {
  std::string out = a.Size;
  if (a.Segment != "ds") out += a.Segment + ":";
  return out + "[" + inside + "]";
}

// The opcode byte after the prefixes; 0 when the bytes are not known.
uint8_t Opcode(const InstructionBytes& bytes) {
  for (uint8_t b : bytes) {
    switch (b) {
      case 0x66: case 0x67: case 0xF0: case 0xF2: case 0xF3:
      case 0x26: case 0x2E: case 0x36: case 0x3E: case 0x64: case 0x65:
        continue;
      default:
        return b;
    }
  }
  return 0;
}

// An immediate that the processor sign-extends from one byte (opcodes 83,
// 6B and 6A) and that is negative: objdump shows 0xfffffff8, the listing
// -$08. Without the raw bytes, eight-digit values from ffffff80 up are
// taken for such immediates.
std::optional<std::string> NegativeImmediate(std::string_view operand, const SourceInstruction& ins) {
  std::string_view trimmed = TrimBlanks(operand);
  if (trimmed.size() < 3 || trimmed[0] != '0' || (trimmed[1] != 'x' && trimmed[1] != 'X')) return std::nullopt;
  std::string lowered = Lower(trimmed);
  std::optional<uint64_t> value = ParseHex(std::string_view(lowered).substr(2));
  if (!value) return std::nullopt;
  if (ins.Bytes.empty()) {
    if (lowered.size() == 10 && *value >= 0xFFFFFF80u && *value <= 0xFFFFFFFFu)
      return std::string("-").append(DollarNumber(0x100000000u - *value));
    return std::nullopt;
  }
  uint8_t op = Opcode(ins.Bytes);
  if (op != 0x83 && op != 0x6B && op != 0x6A) return std::nullopt;
  uint8_t last = ins.Bytes.back();
  if (last < 0x80 || (*value & 0xFF) != last) return std::nullopt;
  return std::string("-").append(DollarNumber(0x100u - last));
}

// The operand without objdump's annotations such as " <g_total>".
std::string WithoutAnnotations(std::string_view operand) {
  std::string text;
  std::string_view rest = TrimBlanks(operand);
  if (rest.find(" <") == std::string_view::npos) return std::string(rest);
  // Ends: every pass moves past one annotation or copies the rest.
  for (;;) {
    size_t open = rest.find(" <");
    size_t close = open == std::string_view::npos ? open : rest.find('>', open);
    if (close == std::string_view::npos) {
      text += rest;
      break;
    }
    text += rest.substr(0, open);
    rest = rest.substr(close + 1);
  }
  return text;
}

// Numbers "0x..." as "$" numbers and scales of one dropped, the rest as it
// is (the text is lower case already).
std::string DollarNumbers(const std::string& lowered) {
  std::string out;
  size_t i = 0;
  // Ends: every pass consumes at least one character.
  while (i < lowered.size()) {
    char c = lowered[i];
    bool word_start = i == 0 || !IsWordChar(lowered[i - 1]);
    if (c == '0' && word_start && i + 2 < lowered.size() && lowered[i + 1] == 'x' &&
        IsHexDigit(lowered[i + 2])) {
      size_t end = i + 2;
      while (end < lowered.size() && IsHexDigit(lowered[end])) ++end;
      if (std::optional<uint64_t> v = ParseHex(std::string_view(lowered).substr(i + 2, end - i - 2))) {
        out += DollarNumber(*v);
        i = end;
        continue;
      }
    }
    // "[eax+edx*1]": a scale of one says nothing.
    if (c == '*' && i + 1 < lowered.size() && lowered[i + 1] == '1' &&
        (i + 2 == lowered.size() || !std::isdigit(static_cast<unsigned char>(lowered[i + 2])))) {
      i += 2;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace

std::string RewriteOperand(std::string_view operand) {
  std::string lowered = WithoutAnnotations(operand);
  // Trimmed and lowered in place.
  size_t first = 0;
  while (first < lowered.size() && IsBlank(lowered[first])) ++first;
  size_t last = lowered.size();
  while (last > first && IsBlank(lowered[last - 1])) --last;
  lowered.erase(last).erase(0, first);
  for (char& c : lowered)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (std::optional<AbsoluteOperand> a = ParseAbsolute(lowered))
    return AbsoluteText(*a, std::string("$").append(Hex8(a->Address)));
  // objdump writes the count of a shift by one in decimal ("sar eax,1").
  if (!lowered.empty() && lowered.size() <= 9 &&
      lowered.find_first_not_of("0123456789") == std::string::npos)
    return DollarNumber(std::stoull(lowered));
  return DollarNumbers(lowered);
}

std::string RewriteOperands(std::string_view operands, const SourceInstruction& ins) {
  std::vector<std::string_view> raw = SplitOperands(operands);
  std::string out;
  size_t last = 0;  // where the last operand begins in `out`
  // Ends: one pass per operand.
  for (size_t i = 0; i < raw.size(); ++i) {
    if (i) out += ", ";
    last = out.size();
    std::string_view op = raw[i];
    // An absolute operand has a segment: "ds:0x...".
    std::optional<AbsoluteOperand> a =
        op.find(':') == std::string_view::npos ? std::nullopt : ParseAbsolute(Lower(op));
    const Relocation* reloc = a ? AbsoluteReloc(ins, a->Address) : nullptr;
    if (reloc)
      out += AbsoluteText(*a, std::string("$").append(SymbolPlus(reloc->Symbol, static_cast<int64_t>(a->Address))));
    else
      out += RewriteOperand(op);
  }
  if (!raw.empty())
    if (std::optional<std::string> negative = NegativeImmediate(raw.back(), ins))
      out.replace(last, std::string::npos, *negative);
  return out;
}

}  // namespace asm2pas::objdump
