// Text helpers every layer shares: trimming of characters of code 0 to 32
// (taken as unsigned bytes) from the start, the end or both ends of a text.
// Inline: they run several times for every operand of the listing.
#pragma once

#include <string_view>

namespace asm2pas {

inline bool IsBlankish(char c) { return static_cast<unsigned char>(c) <= 32; }

inline std::string_view TrimLeading(std::string_view text) {
  size_t n = 0;
  // Ends: n only grows and stops at the text's length.
  while (n < text.size() && IsBlankish(text[n])) ++n;
  return text.substr(n);
}

inline std::string_view TrimTrailing(std::string_view text) {
  size_t n = text.size();
  // Ends: n only shrinks and stops at 0.
  while (n > 0 && IsBlankish(text[n - 1])) --n;
  return text.substr(0, n);
}

inline std::string_view TrimBoth(std::string_view text) {
  return TrimLeading(TrimTrailing(text));
}

}  // namespace asm2pas
