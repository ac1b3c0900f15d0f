#include "listing/number.h"

#include <array>
#include <cstdint>

namespace asm2pas {

namespace {
int HexDigit(char c) { return kHexDigits[static_cast<unsigned char>(c)]; }
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

std::optional<uint32_t> LongBareHex(std::string_view operand) {
  // Only hex digits may follow the "$" we put in front, so a "$" or a sign
  // inside the operand fails just as the conversion of "$" + operand would.
  uint64_t value = 0;
  // Ends: one pass over the operand.
  for (char c : operand) {
    int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) return std::nullopt;  // leading zeros may run on
  }
  return static_cast<uint32_t>(value);
}

}  // namespace asm2pas
