// A reading: the ordered table of recognisers the translation loop offers
// every instruction to, and how the body's range is chosen. Each recogniser
// declares, once, the mnemonics it can claim at; the loop offers it no other
// instruction. A reading is a value chosen per conversion.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "listing/code_table.h"
#include "translate/context.h"
#include "translate/trim_frame.h"

namespace asm2pas {

using Recognizer = void (*)(Context& ctx, TLoopState& state);

// Which operand texts of the current instruction a recogniser sees: as the
// listing has them, or replaced by their variable names. In a table every
// recogniser that reads them as listed comes before the first that sees
// names: the loop replaces them once, before that first one.
enum class Sees : uint8_t { kListed, kNamed };

constexpr size_t kMaxKeys = 4;

struct RecognizerEntry {
  const char* Name;
  Recognizer Run;
  Sees Operands;
  // The mnemonics it can claim at (exact, case-sensitive); empty after the
  // last one.
  std::array<std::string_view, kMaxKeys> Mnemonics;
};

using RangeChooser = BodyRange (*)(const CodeTable& code);

class Reading {
 public:
  // `table` must outlive the reading.
  Reading(const char* name, std::span<const RecognizerEntry> table, RangeChooser choose_range);

  const char* Name() const { return name_; }
  std::span<const RecognizerEntry> Table() const { return table_; }
  BodyRange ChooseRange(const CodeTable& code) const { return choose_range_(code); }

  // The recognisers, in table order, that declared this mnemonic.
  std::span<const RecognizerEntry* const> For(std::string_view mnemonic) const;

 private:
  struct Slot {
    std::string_view Mnemonic;  // empty: a free slot
    uint32_t First = 0;         // its recognisers in lists_
    uint32_t Count = 0;
  };
  static size_t Hash(std::string_view mnemonic);

  const char* name_;
  std::span<const RecognizerEntry> table_;
  RangeChooser choose_range_;
  std::vector<Slot> slots_;  // open addressing, never more than half full
  std::vector<const RecognizerEntry*> lists_;
};

// The reading the specification's rules and the issues' mends describe.
const Reading& DefaultReading();

}  // namespace asm2pas
