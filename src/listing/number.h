// The one strict text-to-number conversion used for addresses, jump targets
// and the address a finally sequence pushes: "$" and hexadecimal digits, or
// plain decimal digits, whose value fits in 32 bits; anything else fails.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace asm2pas {

// "$" followed by one or more hex digits (either case), value at most
// FFFFFFFF; or one or more decimal digits, value at most 2147483647. The
// result is the 32-bit pattern (hex 80000000 and above are the negative
// numbers of the signed reading).
std::optional<uint32_t> StrictToInt(std::string_view text);

// The value of every byte as a hexadecimal digit, -1 for no digit.
inline constexpr auto kHexDigits = [] {
  std::array<int8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    t[static_cast<size_t>(c)] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                                : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                                : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                                                       : int8_t{-1};
  }
  return t;
}();

// BareHex for more than eight digits, where the value may overflow.
std::optional<uint32_t> LongBareHex(std::string_view operand);

// Bare hexadecimal digits, converted as if "$" stood in front: how jump
// targets and the address field of a line are read. Inline, as every line
// has an address: eight digits or fewer cannot overflow 32 bits, so the
// common case needs no test for it.
inline std::optional<uint32_t> BareHex(std::string_view operand) {
  if (operand.empty()) return std::nullopt;
  if (operand.size() > 8) return LongBareHex(operand);
  uint32_t value = 0;
  // Ends: one pass over at most eight digits.
  for (char c : operand) {
    int d = kHexDigits[static_cast<unsigned char>(c)];
    if (d < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(d);
  }
  return value;
}

}  // namespace asm2pas
