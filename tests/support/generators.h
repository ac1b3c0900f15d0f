// Generators of listings for the robustness tests, the fuzzer and the
// benchmarks: a seeded random source, random bytes, and random instruction
// streams whose addresses repeat or fall and whose jumps go anywhere.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "listing_builder.h"

namespace asm2pas::testing {

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

// Bytes drawn mostly from what listings are made of (digits, letters,
// blanks, commas, line ends, code 26, other control characters).
std::string RandomBytes(Rng& rng, size_t length);

// A listing of `count` instructions built from the patterns the
// recognisers look for (conditions, loop and exception-frame sequences,
// statements, frame pieces), often cut short or with the wrong operand,
// with jumps to instructions, to nowhere, backwards and to themselves. With
// `wild_addresses` the addresses repeat and fall instead of rising.
Listing RandomProgram(Rng& rng, int count, bool wild_addresses);

}  // namespace asm2pas::testing
