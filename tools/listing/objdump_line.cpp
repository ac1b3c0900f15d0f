#include "objdump_line.h"

#include "text.h"

namespace asm2pas::objdump {
namespace {

// Splits "HEX" off the front of `s` up to `stop`; nothing when the part
// before `stop` is not hexadecimal digits.
std::optional<uint64_t> LeadingHex(std::string_view s, char stop, size_t* after) {
  size_t end = s.find(stop);
  if (end == std::string_view::npos) return std::nullopt;
  std::optional<uint64_t> value = ParseHex(s.substr(0, end));
  if (value) *after = end + 1;
  return value;
}

// "c7 45 fc 00 " -> its bytes; nothing when the text is not pairs of hex
// digits separated by single blanks (a trailing blank allowed).
std::optional<InstructionBytes> ParseBytes(std::string_view s) {
  InstructionBytes bytes;
  size_t i = 0;
  // Ends: every pass consumes a pair and its blank, or returns.
  while (i < s.size()) {
    int high = HexValue(s[i]);
    int low = i + 1 < s.size() ? HexValue(s[i + 1]) : -1;
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    i += 2;
    if (i < s.size()) {
      if (s[i] != ' ') return std::nullopt;
      ++i;
    }
  }
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

// The lines that name what follows: blank lines, left-out zero bytes,
// section, archive member, file format. False when the line is none.
bool ClassifyMarker(std::string_view line, std::string_view trimmed, ObjdumpLine& out) {
  if (trimmed.empty()) {
    out.Kind = LineKind::Blank;
  } else if (trimmed == "...") {
    out.Kind = LineKind::ZeroBlock;
  } else if (StartsWith(trimmed, "Disassembly of section ") && trimmed.back() == ':') {
    out.Kind = LineKind::Section;
    std::string_view name = trimmed.substr(23);
    name.remove_suffix(1);
    out.Name = name;
  } else if (StartsWith(trimmed, "In archive ") && trimmed.back() == ':') {
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
  size_t tab = rest.find('\t');
  if (tab != std::string_view::npos) {
    std::optional<InstructionBytes> bytes = ParseBytes(TrimSpace(rest.substr(0, tab)));
    std::string_view text = TrimSpace(rest.substr(tab + 1));
    if (!bytes) return;
    out.Bytes = std::move(*bytes);
    out.Text = text;
    out.Kind = text.empty() ? LineKind::MoreBytes : LineKind::Instruction;
    return;
  }
  std::string_view text = TrimSpace(rest);
  if (std::optional<InstructionBytes> bytes = ParseBytes(text)) {
    out.Bytes = std::move(*bytes);
    out.Kind = LineKind::MoreBytes;
    return;
  }
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
    size_t gap = reloc.find_first_of(" \t");
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
