// The one strict text-to-number conversion used for addresses, jump targets
// and the address a finally sequence pushes: "$" and hexadecimal digits, or
// plain decimal digits, whose value fits in 32 bits; anything else fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace asm2pas {

// "$" followed by one or more hex digits (either case), value at most
// FFFFFFFF; or one or more decimal digits, value at most 2147483647. The
// result is the 32-bit pattern (hex 80000000 and above are the negative
// numbers of the signed reading).
std::optional<uint32_t> StrictToInt(std::string_view text);

// Bare hexadecimal digits, converted as if "$" stood in front: how jump
// targets and the address field of a line are read.
std::optional<uint32_t> BareHex(std::string_view operand);

}  // namespace asm2pas
