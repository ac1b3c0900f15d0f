#include "listing/trim.h"

namespace asm2pas {

namespace {
bool IsBlankish(char c) { return static_cast<unsigned char>(c) <= 32; }
}  // namespace

std::string_view TrimLeading(std::string_view text) {
  size_t n = 0;
  // Ends: n only grows and stops at the text's length.
  while (n < text.size() && IsBlankish(text[n])) ++n;
  return text.substr(n);
}

std::string_view TrimTrailing(std::string_view text) {
  size_t n = text.size();
  // Ends: n only shrinks and stops at 0.
  while (n > 0 && IsBlankish(text[n - 1])) --n;
  return text.substr(0, n);
}

std::string_view TrimBoth(std::string_view text) {
  return TrimLeading(TrimTrailing(text));
}

}  // namespace asm2pas
