#include "listing/number.h"

#include <array>
#include <cstdint>

namespace asm2pas {

namespace {
// The value of every byte as a hexadecimal digit, -1 for no digit.
constexpr auto kHexDigits = [] {
  std::array<int8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    t[static_cast<size_t>(c)] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                                : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                                : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                                                       : int8_t{-1};
  }
  return t;
}();

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

std::optional<uint32_t> BareHex(std::string_view operand) {
  // Only hex digits may follow the "$" we put in front, so a "$" or a sign
  // inside the operand fails just as the conversion of "$" + operand would.
  if (operand.empty()) return std::nullopt;
  if (operand.size() <= 8) {
    // Eight digits or fewer cannot overflow 32 bits: the common case (every
    // address field, every jump target) needs no test for it.
    uint32_t value = 0;
    // Ends: one pass over at most eight digits.
    for (char c : operand) {
      int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      value = value << 4 | static_cast<uint32_t>(d);
    }
    return value;
  }
  uint64_t value = 0;
  // Ends: one pass over the operand.
  for (char c : operand) {
    int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace asm2pas
