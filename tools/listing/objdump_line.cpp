#include "objdump_line.h"

#include <cstdio>

namespace asm2pas::objdump {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

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
std::optional<std::vector<uint8_t>> ParseBytes(std::string_view s) {
  std::vector<uint8_t> bytes;
  size_t i = 0;
  // Ends: every pass consumes a pair and its blank, or returns.
  while (i < s.size()) {
    if (i + 1 >= s.size() || !IsHexDigit(s[i]) || !IsHexDigit(s[i + 1])) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(HexValue(s[i]) * 16 + HexValue(s[i + 1])));
    i += 2;
    if (i < s.size()) {
      if (s[i] != ' ') return std::nullopt;
      ++i;
    }
  }
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

}  // namespace

std::optional<uint64_t> ParseHex(std::string_view digits) {
  if (digits.empty() || digits.size() > 16) return std::nullopt;
  uint64_t value = 0;
  for (char c : digits) {
    if (!IsHexDigit(c)) return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(HexValue(c));
  }
  return value;
}

std::string Hex8(uint64_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%08llX", static_cast<unsigned long long>(value));
  return buf;
}

ObjdumpLine ClassifyLine(std::string_view line) {
  ObjdumpLine out;
  std::string_view trimmed = Trim(line);
  if (trimmed.empty()) {
    out.Kind = LineKind::Blank;
    return out;
  }
  if (trimmed == "...") {
    out.Kind = LineKind::ZeroBlock;
    return out;
  }
  if (StartsWith(trimmed, "Disassembly of section ") && trimmed.back() == ':') {
    out.Kind = LineKind::Section;
    std::string_view name = trimmed.substr(23);
    name.remove_suffix(1);
    out.Name = std::string(name);
    return out;
  }
  if (StartsWith(trimmed, "In archive ") && trimmed.back() == ':') {
    out.Kind = LineKind::Archive;
    return out;
  }
  if (size_t at = trimmed.find(":     file format "); at != std::string_view::npos &&
                                                    !IsSpace(line.front())) {
    out.Kind = LineKind::FileFormat;
    out.Name = std::string(Trim(trimmed.substr(at + 18)));
    return out;
  }

  // "00000000 <sum_to>:" -- at the start of the line, unlike instructions.
  if (!IsSpace(line.front())) {
    size_t after = 0;
    std::optional<uint64_t> address = LeadingHex(trimmed, ' ', &after);
    std::string_view rest = address ? trimmed.substr(after) : std::string_view();
    if (address && rest.size() >= 4 && rest.front() == '<' && StartsWith(rest.substr(rest.size() - 2), ">:")) {
      out.Kind = LineKind::RoutineHeader;
      out.Address = *address;
      out.Name = std::string(rest.substr(1, rest.size() - 3));
      return out;
    }
    return out;  // Other
  }

  // The remaining shapes all start with blanks or tabs, then "HEX:".
  size_t after = 0;
  std::optional<uint64_t> address = LeadingHex(trimmed, ':', &after);
  if (!address) return out;
  std::string_view rest = trimmed.substr(after);

  // "6b: R_386_PC32\thelper"
  std::string_view reloc = Trim(rest);
  if (StartsWith(reloc, "R_")) {
    size_t gap = reloc.find_first_of(" \t");
    out.Kind = LineKind::Relocation;
    out.Address = *address;
    out.RelocType = std::string(reloc.substr(0, gap));
    if (gap != std::string_view::npos) out.RelocSymbol = std::string(Trim(reloc.substr(gap)));
    return out;
  }

  // "\tBYTES \tTEXT", "\tBYTES " or, without raw bytes, "\tTEXT".
  if (rest.empty() || rest.front() != '\t') return out;
  rest.remove_prefix(1);
  out.Address = *address;
  size_t tab = rest.find('\t');
  if (tab != std::string_view::npos) {
    std::optional<std::vector<uint8_t>> bytes = ParseBytes(Trim(rest.substr(0, tab)));
    std::string_view text = Trim(rest.substr(tab + 1));
    if (!bytes) return out;
    out.Bytes = std::move(*bytes);
    out.Text = std::string(text);
    out.Kind = text.empty() ? LineKind::MoreBytes : LineKind::Instruction;
    return out;
  }
  std::string_view text = Trim(rest);
  if (std::optional<std::vector<uint8_t>> bytes = ParseBytes(text)) {
    out.Bytes = std::move(*bytes);
    out.Kind = LineKind::MoreBytes;
    return out;
  }
  out.Text = std::string(text);
  out.Kind = LineKind::Instruction;
  return out;
}

}  // namespace asm2pas::objdump
