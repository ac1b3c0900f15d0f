#include "objdump_line.h"

#include <cstring>

#include "text.h"

namespace asm2pas::objdump {
namespace {

// Splits "HEX" off the front of `s` up to `stop`; nothing when the part
// before `stop` is not hexadecimal digits (one to sixteen), or there is no
// `stop`, which must be no hexadecimal digit.
std::optional<uint64_t> LeadingHex(std::string_view s, char stop, size_t* after) {
  uint64_t value = 0;
  size_t i = 0;
  // Ends: at the first character that is no hexadecimal digit.
  for (; i < s.size(); ++i) {
    int digit = HexValue(s[i]);
    if (digit < 0) break;
    value = value * 16 + static_cast<uint64_t>(digit);
  }
  if (i == 0 || i > 16 || i == s.size() || s[i] != stop) return std::nullopt;
  *after = i + 1;
  return value;
}

// "c7 45 fc 00 " -> its bytes, appended to `bytes`; false when the text,
// blanks around it aside, is not pairs of hex digits separated by single
// blanks.
bool ParseBytes(std::string_view s, InstructionBytes& bytes) {
  size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;  // Ends: at the first other character
  if (i == s.size()) return false;
  // Ends: every pass takes a pair and the blank after it, or returns.
  for (;;) {
    int high = HexValue(s[i]);
    int low = i + 1 < s.size() ? HexValue(s[i + 1]) : -1;
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    i += 2;
    if (i == s.size()) return true;
    if (s[i] == ' ' && i + 1 < s.size() && !IsSpace(s[i + 1])) {
      ++i;  // another pair follows
      continue;
    }
    // Blanks, or nothing, up to the end: objdump pads the bytes to a
    // column, eight blanks at a time are looked at first.
    while (s.size() - i >= 8 && std::memcmp(s.data() + i, "        ", 8) == 0) i += 8;  // Ends: `i` grows
    for (; i < s.size(); ++i)  // Ends: at the end of the text
      if (!IsSpace(s[i])) return false;
    return true;
  }
}

// The lines that name what follows: blank lines, left-out zero bytes,
// section, archive member, file format. False when the line is none.
bool ClassifyMarker(std::string_view line, std::string_view trimmed, ObjdumpLine& out) {
  if (trimmed.empty()) {
    out.Kind = LineKind::Blank;
  } else if (trimmed == "...") {
    out.Kind = LineKind::ZeroBlock;
  } else if (trimmed[0] == 'D' && StartsWith(trimmed, "Disassembly of section ") && trimmed.back() == ':') {
    out.Kind = LineKind::Section;
    std::string_view name = trimmed.substr(23);
    name.remove_suffix(1);
    out.Name = name;
  } else if (trimmed[0] == 'I' && StartsWith(trimmed, "In archive ") && trimmed.back() == ':') {
    out.Kind = LineKind::Archive;
  } else if (size_t at = IsSpace(line.front()) ? std::string_view::npos : trimmed.find(":     file format ");
             at != std::string_view::npos) {
    out.Kind = LineKind::FileFormat;
    out.Name = TrimSpace(trimmed.substr(at + 18));
  } else {
    return false;
  }
  return true;
}

void ClassifyInstruction(uint64_t address, std::string_view rest, ObjdumpLine& out);

// "00000000 <sum_to>:" -- at the start of the line, unlike instructions,
// except those whose address takes all eight columns ("70e41000:\t...").
void ClassifyHeader(std::string_view trimmed, ObjdumpLine& out) {
  size_t after = 0;
  if (std::optional<uint64_t> address = LeadingHex(trimmed, ':', &after)) {
    ClassifyInstruction(*address, trimmed.substr(after), out);
    return;
  }
  std::optional<uint64_t> address = LeadingHex(trimmed, ' ', &after);
  std::string_view rest = address ? trimmed.substr(after) : std::string_view();
  if (address && rest.size() >= 4 && rest.front() == '<' && StartsWith(rest.substr(rest.size() - 2), ">:")) {
    out.Kind = LineKind::RoutineHeader;
    out.Address = *address;
    out.Name = rest.substr(1, rest.size() - 3);
  }
}

// "\tBYTES \tTEXT", "\tBYTES " or, without raw bytes, "\tTEXT": `rest` is
// what follows the address and its colon.
void ClassifyInstruction(uint64_t address, std::string_view rest, ObjdumpLine& out) {
  if (rest.empty() || rest.front() != '\t') return;
  rest.remove_prefix(1);
  out.Address = address;
  size_t tab = FindChar(rest, '\t');
  if (tab != std::string_view::npos) {
    if (!ParseBytes(rest.substr(0, tab), out.Bytes)) {
      out.Bytes = InstructionBytes();
      return;
    }
    out.Text = TrimSpace(rest.substr(tab + 1));
    out.Kind = out.Text.empty() ? LineKind::MoreBytes : LineKind::Instruction;
    return;
  }
  std::string_view text = TrimSpace(rest);
  if (ParseBytes(text, out.Bytes)) {
    out.Kind = LineKind::MoreBytes;
    return;
  }
  out.Bytes = InstructionBytes();
  out.Text = text;
  out.Kind = LineKind::Instruction;
}

}  // namespace

ObjdumpLine ClassifyLine(std::string_view line) {
  ObjdumpLine out;
  std::string_view trimmed = TrimSpace(line);
  if (ClassifyMarker(line, trimmed, out)) return out;
  if (!IsSpace(line.front())) {
    ClassifyHeader(trimmed, out);
    return out;
  }

  // The remaining shapes all start with blanks or tabs, then "HEX:".
  size_t after = 0;
  std::optional<uint64_t> address = LeadingHex(trimmed, ':', &after);
  if (!address) return out;
  std::string_view rest = trimmed.substr(after);

  // "6b: R_386_PC32\thelper", "65: DISP32\t_next_value" (a PE object): a
  // blank after the colon, where instruction lines have a tab.
  std::string_view reloc = TrimSpace(rest);
  if (StartsWith(reloc, "R_") || (rest.size() > 1 && rest[0] == ' ' && !IsSpace(rest[1]))) {
    size_t gap = FindBlank(reloc);
    out.Kind = LineKind::Relocation;
    out.Address = *address;
    out.RelocType = reloc.substr(0, gap);
    if (gap != std::string_view::npos) out.RelocSymbol = TrimSpace(reloc.substr(gap));
    return out;
  }
  ClassifyInstruction(*address, rest, out);
  return out;
}

}  // namespace asm2pas::objdump
