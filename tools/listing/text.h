// The text helpers every part of asm2pas-listing shares: blanks and
// trimming, hexadecimal digits and numbers, lower case. Two trims with two
// meanings: TrimBlanks takes blanks and tabs only, TrimSpace line ends too.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace asm2pas::objdump {

// The small ones are here, inline: every line of a program's text goes
// through them.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }                    // blank or tab
inline bool IsSpace(char c) { return IsBlank(c) || c == '\r' || c == '\n'; }  // blank, tab, CR or LF

// The value of a hexadecimal digit (either case), or -1.
inline int HexValue(char c) {
  static constexpr auto kValues = [] {
    std::array<int8_t, 256> t{};
    t.fill(-1);
    for (int d = 0; d < 10; ++d) t['0' + d] = static_cast<int8_t>(d);
    for (int d = 0; d < 6; ++d) t['a' + d] = t['A' + d] = static_cast<int8_t>(10 + d);
    return t;
  }();
  return kValues[static_cast<unsigned char>(c)];
}
inline bool IsHexDigit(char c) { return HexValue(c) >= 0; }
// Letter, digit or "_" (ASCII, as in the C locale).
inline bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Eight characters at a time: a word whose bytes are all `c`, and which
// bytes of `w` are zero (the lowest marked byte is the first zero one).
constexpr uint64_t kOnes = 0x0101010101010101u;
constexpr uint64_t kHighs = 0x8080808080808080u;
inline uint64_t ZeroBytes(uint64_t w) { return (w - kOnes) & ~w & kHighs; }
inline uint64_t LoadWord(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// The first `c` in `s` from `from` on, or npos; and the first `a`
// followed by `b`. No call of the library's search: on the short texts of
// one instruction it costs more than it saves.
inline size_t FindChar(std::string_view s, char c, size_t from = 0) {
  size_t i = from;
  if constexpr (std::endian::native == std::endian::little) {
    uint64_t pattern = kOnes * static_cast<uint8_t>(c);
    // Ends: every pass looks at the next eight characters.
    for (; i + 8 <= s.size(); i += 8)
      if (uint64_t hit = ZeroBytes(LoadWord(s.data() + i) ^ pattern)) return i + (std::countr_zero(hit) >> 3);
  }
  // Ends: one pass per character left.
  for (; i < s.size(); ++i)
    if (s[i] == c) return i;
  return std::string_view::npos;
}
inline size_t FindPair(std::string_view s, char a, char b, size_t from = 0) {
  // Ends: every pass looks past the next `a`.
  for (size_t i = FindChar(s, a, from); i != std::string_view::npos; i = FindChar(s, a, i + 1))
    if (i + 1 < s.size() && s[i + 1] == b) return i;
  return std::string_view::npos;
}

// How many times `c` occurs in `s`.
inline size_t CountChar(std::string_view s, char c) {
  size_t count = 0;
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    uint64_t pattern = kOnes * static_cast<uint8_t>(c);
    constexpr uint64_t kLows = ~kHighs;
    // Ends: every pass counts eight characters. The high bit of a byte of
    // `zero` is set exactly where the byte of `w` is zero.
    for (; i + 8 <= s.size(); i += 8) {
      uint64_t w = LoadWord(s.data() + i) ^ pattern;
      uint64_t zero = ~(((w & kLows) + kLows) | w | kLows);
      count += static_cast<size_t>(std::popcount(zero));
    }
  }
  // Ends: one pass per character left.
  for (; i < s.size(); ++i) count += s[i] == c;
  return count;
}

// The first blank or tab of `s`, or npos.
inline size_t FindBlank(std::string_view s) {
  // Ends: one pass per character.
  for (size_t i = 0; i < s.size(); ++i)
    if (IsBlank(s[i])) return i;
  return std::string_view::npos;
}

inline std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);  // Ends: `s` shrinks
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);   // Ends: `s` shrinks
  return s;
}
inline std::string_view TrimSpace(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);  // Ends: `s` shrinks
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);   // Ends: `s` shrinks
  return s;
}
inline bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}
std::string Lower(std::string_view s);

// A run of hexadecimal digits (either case, no prefix) as a number; nothing
// when the text is empty, holds anything else or exceeds 64 bits.
inline std::optional<uint64_t> ParseHex(std::string_view digits) {
  if (digits.empty() || digits.size() > 16) return std::nullopt;
  uint64_t value = 0;
  // Ends: at most sixteen digits.
  for (char c : digits) {
    int v = HexValue(c);
    if (v < 0) return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(v);
  }
  return value;
}

// Eight upper-case hexadecimal digits (more when the value needs them).
std::string Hex8(uint64_t value);

// Bytes as upper-case hexadecimal digit pairs, no blanks, in place of what
// `out` held.
template <class Bytes>
void AssignHexBytes(std::string& out, const Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  out.resize(bytes.size() * 2);
  char* p = out.data();
  // Ends: one pass per byte.
  for (uint8_t b : bytes) {
    *p++ = kDigits[b >> 4];
    *p++ = kDigits[b & 15];
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
// The same written at `p`, which has room for 18 characters; the end.
inline char* PutDollarNumber(char* p, uint64_t value) {
  size_t n = std::max<size_t>(1, (static_cast<size_t>(std::bit_width(value)) + 3) / 4);  // digits
  size_t width = n <= 2 ? 2 : n <= 4 ? 4 : n <= 8 ? 8 : n;
  *p++ = '$';
  char* end = p + width;
  // Ends: one pass per digit place, `width` of them.
  for (char* d = end; d > p; value >>= 4) *--d = "0123456789ABCDEF"[value & 15];
  return end;
}

}  // namespace asm2pas::objdump
