#include "operands.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>

#include "instruction_text.h"
#include "relocations.h"
#include "text.h"

namespace asm2pas::objdump {
namespace {

// The parts of an absolute operand, "dword ptr ds:0x804a01c": size keyword
// (with its trailing blank), segment, address. The texts are views into the
// lower-case text parsed.
struct AbsoluteOperand {
  std::string_view Size;
  std::string_view Segment;
  uint64_t Address = 0;
};

std::optional<AbsoluteOperand> ParseAbsolute(std::string_view lowered) {
  AbsoluteOperand out;
  if (size_t ptr = lowered.find(" ptr "); ptr != std::string_view::npos) {
    out.Size = lowered.substr(0, ptr + 5);
    lowered.remove_prefix(ptr + 5);
  }
  if (lowered.size() < 6 || lowered[2] != ':' || lowered[1] != 's' ||
      std::string_view("cdefgs").find(lowered[0]) == std::string_view::npos ||
      lowered.substr(3, 2) != "0x")
    return std::nullopt;
  std::optional<uint64_t> address = ParseHex(lowered.substr(5));
  if (!address) return std::nullopt;
  out.Segment = lowered.substr(0, 2);
  out.Address = *address;
  return out;
}

// Size, segment other than ds, and "[$" before the address or symbol.
void OpenAbsolute(std::string& out, const AbsoluteOperand& a) {
  out.append(a.Size);
  if (a.Segment != "ds") out.append(a.Segment).append(":");
  out.append("[$");
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
  std::optional<uint64_t> value = ParseHex(trimmed.substr(2));
  if (!value) return std::nullopt;
  if (ins.Bytes.empty()) {
    if (trimmed.size() == 10 && *value >= 0xFFFFFF80u && *value <= 0xFFFFFFFFu)
      return std::string("-").append(DollarNumber(0x100000000u - *value));
    return std::nullopt;
  }
  uint8_t op = Opcode(ins.Bytes);
  if (op != 0x83 && op != 0x6B && op != 0x6A) return std::nullopt;
  uint8_t last = ins.Bytes.back();
  if (last < 0x80 || (*value & 0xFF) != last) return std::nullopt;
  return std::string("-").append(DollarNumber(0x100u - last));
}

// The operand, trimmed, without objdump's annotations such as " <g_total>";
// `room` holds the text when annotations had to be cut out.
std::string_view WithoutAnnotations(std::string_view operand, std::string& room) {
  std::string_view rest = TrimBlanks(operand);
  if (FindPair(rest, ' ', '<') == std::string_view::npos) return rest;
  // Ends: every pass moves past one annotation or copies the rest.
  for (;;) {
    size_t open = rest.find(" <");
    size_t close = open == std::string_view::npos ? open : rest.find('>', open);
    if (close == std::string_view::npos) {
      room += rest;
      break;
    }
    room += rest.substr(0, open);
    rest = rest.substr(close + 1);
  }
  return TrimBlanks(room);
}

char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The text in lower case, numbers "0x..." as "$" numbers and scales of one
// dropped, appended to `out`: written through a pointer into room enough
// for the longest result (a number of three characters or more becomes at
// most two longer), which is then cut to what was written.
void AppendDollarNumbers(std::string& out, std::string_view text) {
  size_t at = out.size();
  out.resize(at + 2 * text.size() + 2);
  char* p = out.data() + at;
  const char* s = text.data();
  size_t n = text.size();
  size_t i = 0;
  // Ends: every pass consumes at least one character.
  while (i < n) {
    char c = s[i];
    if (c == '0' && (i == 0 || !IsWordChar(s[i - 1])) && i + 2 < n && LowerChar(s[i + 1]) == 'x' &&
        IsHexDigit(s[i + 2])) {
      size_t end = i + 2;
      while (end < n && IsHexDigit(s[end])) ++end;  // Ends: at the end of the digits
      if (std::optional<uint64_t> v = ParseHex(text.substr(i + 2, end - i - 2))) {
        p = PutDollarNumber(p, *v);
        i = end;
        continue;
      }
    }
    // "[eax+edx*1]": a scale of one says nothing.
    if (c == '*' && i + 1 < n && s[i + 1] == '1' &&
        (i + 2 == n || !std::isdigit(static_cast<unsigned char>(s[i + 2])))) {
      i += 2;
      continue;
    }
    *p++ = LowerChar(c);
    ++i;
  }
  out.resize(static_cast<size_t>(p - out.data()));
}

}  // namespace

void AppendOperand(std::string& out, std::string_view operand) {
  std::string room;
  std::string_view text = WithoutAnnotations(operand, room);
  // Only an operand with a segment can be absolute ("ds:0x...").
  if (FindChar(text, ':') != std::string_view::npos) {
    std::string lowered = Lower(text);
    if (std::optional<AbsoluteOperand> a = ParseAbsolute(lowered)) {
      OpenAbsolute(out, *a);
      out.append(Hex8(a->Address)).append("]");
      return;
    }
  }
  // objdump writes the count of a shift by one in decimal ("sar eax,1").
  if (!text.empty() && text.size() <= 9 &&
      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    AppendDollarNumber(out, std::stoull(std::string(text)));
    return;
  }
  AppendDollarNumbers(out, text);
}

std::string RewriteOperand(std::string_view operand) {
  std::string out;
  AppendOperand(out, operand);
  return out;
}

void AppendOperands(std::string& out, std::string_view operands, const SourceInstruction& ins) {
  size_t last = std::string::npos;  // where the last operand begins in `out`
  std::string_view last_operand;
  // Ends: one pass per operand.
  ForEachOperand(operands, [&](std::string_view op) {
    if (last != std::string::npos) out += ", ";
    last = out.size();
    last_operand = op;
    // An absolute operand has a segment: "ds:0x...".
    if (!ins.Relocs.empty() && FindChar(op, ':') != std::string_view::npos) {
      std::string lowered = Lower(op);
      std::optional<AbsoluteOperand> a = ParseAbsolute(lowered);
      if (const Relocation* reloc = a ? AbsoluteReloc(ins, a->Address) : nullptr) {
        OpenAbsolute(out, *a);
        out.append(SymbolPlus(reloc->Symbol, static_cast<int64_t>(a->Address))).append("]");
        return;
      }
    }
    AppendOperand(out, op);
  });
  if (last != std::string::npos)
    if (std::optional<std::string> negative = NegativeImmediate(last_operand, ins))
      out.replace(last, std::string::npos, *negative);
}

std::string RewriteOperands(std::string_view operands, const SourceInstruction& ins) {
  std::string out;
  AppendOperands(out, operands, ins);
  return out;
}

}  // namespace asm2pas::objdump
