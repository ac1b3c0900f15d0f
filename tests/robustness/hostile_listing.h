// Builds hostile listings for the robustness tests: fixed-column lines from
// instructions, random bytes, and random instruction streams whose
// addresses repeat or fall and whose jumps go anywhere.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace asm2pas::hostile {

class Rng {
 public:
  explicit Rng(uint32_t seed) : engine_(seed) {}
  // A number from 0 to n - 1 (n > 0).
  uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(engine_); }
  bool Chance(int percent) { return Below(100) < static_cast<uint32_t>(percent); }
  template <typename T>
  const T& Pick(const std::vector<T>& items) { return items[Below(static_cast<uint32_t>(items.size()))]; }

 private:
  std::mt19937 engine_;
};

// Eight uppercase hexadecimal digits.
std::string Hex8(uint32_t value);

// One instruction line: the address, blanks up to column 34, the
// instruction text from column 35, CR LF.
std::string Line(uint32_t address, std::string_view instruction);

// A listing assembled line by line, counting its instruction lines.
struct Listing {
  std::string Text;
  long Instructions = 0;

  void Add(uint32_t address, std::string_view instruction) {
    Text += Line(address, instruction);
    ++Instructions;
  }
};

// Bytes drawn mostly from what listings are made of (digits, letters,
// blanks, commas, line ends, code 26, other control characters).
std::string RandomBytes(Rng& rng, size_t length);

// A listing of `count` instructions built from the patterns the
// recognisers look for (conditions, loop and exception-frame sequences,
// statements, frame pieces), often cut short or with the wrong operand,
// with jumps to instructions, to nowhere, backwards and to themselves. With
// `wild_addresses` the addresses repeat and fall instead of rising.
Listing RandomProgram(Rng& rng, int count, bool wild_addresses);

}  // namespace asm2pas::hostile
