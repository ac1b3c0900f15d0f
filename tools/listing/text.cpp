#include "text.h"

#include <cctype>
#include <cstdio>

#include "listing/format.h"

namespace asm2pas::objdump {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

}  // namespace

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSpace(char c) { return IsBlank(c) || c == '\r' || c == '\n'; }
bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view TrimSpace(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::optional<uint64_t> ParseHex(std::string_view digits) {
  if (digits.empty() || digits.size() > 16) return std::nullopt;
  uint64_t value = 0;
  for (char c : digits) {
    if (!IsHexDigit(c)) return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(HexValue(c));
  }
  return value;
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
