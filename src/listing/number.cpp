#include "listing/number.h"

namespace asm2pas {

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

std::optional<uint32_t> StrictToInt(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  if (text[0] == '$') {
    if (text.size() == 1) return std::nullopt;
    for (size_t k = 1; k < text.size(); ++k) {
      int d = HexDigit(text[k]);
      if (d < 0) return std::nullopt;
      value = value * 16 + static_cast<uint64_t>(d);
      if (value > 0xFFFFFFFFull) return std::nullopt;  // leading zeros may run on
    }
    return static_cast<uint32_t>(value);
  }
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > 0x7FFFFFFFull) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::optional<uint32_t> BareHex(std::string_view operand) {
  // Only hex digits may follow the "$" we put in front, so a "$" or a sign
  // inside the operand fails just as the conversion of "$" + operand would.
  if (operand.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : operand) {
    int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace asm2pas
