// The listing's line layout, stated once: the address in columns 1-8, the
// instruction bytes (not read) up to column 34, the mnemonic from column 35,
// CR LF line ends. The reader cuts lines by it; every writer of listings
// (asm2pas-listing, the tests' builders, the fuzzer, the benchmarks) lays
// lines out with ListingLine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace asm2pas::format {

constexpr size_t kAddressDigits = 8;    // columns 1-8
constexpr size_t kMnemonicColumn = 35;  // 1-based; columns 9-34 are not read
constexpr size_t kBytesColumn = 11;     // where writers put the bytes
constexpr std::string_view kLineEnd = "\r\n";
constexpr char kEndOfInput = 26;       // nothing after it is read
// A line whose first character (after blanks) is one of these is skipped.
constexpr char kCommentMarks[] = {'*', '|'};

// Eight upper-case hexadecimal digits.
inline std::string Hex8(uint32_t value) {
  std::string text(kAddressDigits, '0');
  // Ends: one pass per digit.
  for (size_t k = kAddressDigits; k-- > 0; value >>= 4) text[k] = "0123456789ABCDEF"[value & 15];
  return text;
}

// One instruction line, line end included: address, two blanks, the bytes
// (cut and marked ".." when they would reach the mnemonic column), blanks
// up to the mnemonic column, the mnemonic, and the operands after a blank.
inline std::string ListingLine(uint32_t address, std::string_view bytes, std::string_view mnemonic,
                               std::string_view operands = {}) {
  constexpr size_t kBytesWidth = kMnemonicColumn - kBytesColumn;
  std::string line = Hex8(address);
  line.append(kBytesColumn - 1 - kAddressDigits, ' ');
  if (bytes.size() > kBytesWidth) {
    line.append(bytes.substr(0, kBytesWidth - 2)).append("..");
  } else {
    line.append(bytes);
  }
  line.append(kMnemonicColumn - 1 - line.size(), ' ');
  line.append(mnemonic);
  if (!operands.empty()) line.append(" ").append(operands);
  return line.append(kLineEnd);
}

}  // namespace asm2pas::format
