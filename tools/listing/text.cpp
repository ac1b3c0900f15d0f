#include "text.h"

#include <cstdio>

#include "listing/format.h"

namespace asm2pas::objdump {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string Hex8(uint64_t value) {
  if (value <= 0xFFFFFFFFu) return format::Hex8(static_cast<uint32_t>(value));
  char buf[24];
  std::snprintf(buf, sizeof buf, "%08llX", static_cast<unsigned long long>(value));
  return buf;
}

void AppendDollarNumber(std::string& out, uint64_t value) {
  char digits[16];
  size_t n = 0;
  // Ends: one pass per digit, at most sixteen.
  do {
    digits[n++] = "0123456789ABCDEF"[value & 15];
    value >>= 4;
  } while (value != 0);
  size_t width = n <= 2 ? 2 : n <= 4 ? 4 : n <= 8 ? 8 : n;
  out += '$';
  out.append(width - n, '0');
  while (n > 0) out += digits[--n];  // Ends: `n` falls to 0
}

std::string DollarNumber(uint64_t value) {
  std::string out;
  AppendDollarNumber(out, value);
  return out;
}

}  // namespace asm2pas::objdump
