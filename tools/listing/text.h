// The text helpers every part of asm2pas-listing shares: blanks and
// trimming, hexadecimal digits and numbers, lower case. Two trims with two
// meanings: TrimBlanks takes blanks and tabs only, TrimSpace line ends too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace asm2pas::objdump {

bool IsBlank(char c);  // blank or tab
bool IsSpace(char c);  // blank, tab, CR or LF
bool IsHexDigit(char c);
bool IsWordChar(char c);  // letter, digit or "_"

std::string_view TrimBlanks(std::string_view s);
std::string_view TrimSpace(std::string_view s);
bool StartsWith(std::string_view s, std::string_view prefix);
std::string Lower(std::string_view s);

// A run of hexadecimal digits (either case, no prefix) as a number; nothing
// when the text is empty, holds anything else or exceeds 64 bits.
std::optional<uint64_t> ParseHex(std::string_view digits);

// Eight upper-case hexadecimal digits (more when the value needs them).
std::string Hex8(uint64_t value);

// Bytes as upper-case hexadecimal digit pairs, no blanks, in place of what
// `out` held.
template <class Bytes>
void AssignHexBytes(std::string& out, const Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  out.resize(bytes.size() * 2);
  size_t k = 0;
  // Ends: one pass per byte.
  for (uint8_t b : bytes) {
    out[k++] = kDigits[b >> 4];
    out[k++] = kDigits[b & 15];
  }
}

template <class Bytes>
std::string HexBytes(const Bytes& bytes) {
  std::string out;
  AssignHexBytes(out, bytes);
  return out;
}

// "$" and upper-case digits, padded to 2, 4 or 8 digits: $0A, $012C,
// $0804A01C.
std::string DollarNumber(uint64_t value);
void AppendDollarNumber(std::string& out, uint64_t value);

}  // namespace asm2pas::objdump
