// Deferred texts: complete output lines tied to an instruction address,
// emitted each time the translation starts a step at that address. Only
// appended, at most 1000, no two with the same address and text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/limits.h"
#include "output/writer.h"

namespace asm2pas {

struct TLabel {
  uint32_t Address = 0;
  std::string Text;
  Shape LineShape = Shape::kLine;  // what the line does to the blocks
};

struct LabelTable {
  std::vector<TLabel> Labels;  // Labels[k - 1] is entry k
  // Entry indices (one-based) per address, in order of addition.
  std::unordered_map<uint32_t, std::vector<int>> ByAddress;
  int64_t Dropped = 0;  // distinct texts refused because the table was full
  // A bit per address modulo 4096, set where an entry was added: most
  // steps find theirs clear and look up nothing.
  std::array<uint64_t, 64> Addresses{};

  int LabelCount() const { return static_cast<int>(Labels.size()); }
  // False when no entry has this address.
  bool MayHave(uint32_t address) const {
    return (Addresses[(address >> 6) & 63] >> (address & 63) & 1) != 0;
  }
};

int FindLabel(const LabelTable& labels, uint32_t address, std::string_view text);
void AddLabel(LabelTable& labels, uint32_t address, std::string_view text,
              Shape shape = Shape::kLine);
void EmitLabels(const LabelTable& labels, OutputState& out, uint32_t address);

}  // namespace asm2pas
