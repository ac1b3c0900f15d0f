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
  char text[18];
  out.append(text, static_cast<size_t>(PutDollarNumber(text, value) - text));
}

std::string DollarNumber(uint64_t value) {
  std::string out;
  AppendDollarNumber(out, value);
  return out;
}

}  // namespace asm2pas::objdump
