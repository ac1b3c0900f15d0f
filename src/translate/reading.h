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
#include "naming/vars.h"
#include "output/writer.h"
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
// Declared as a mnemonic: the recogniser is offered every instruction.
constexpr std::string_view kAnyMnemonic = "*";

struct RecognizerEntry {
  const char* Name;
  Recognizer Run;
  Sees Operands;
  // The mnemonics it can claim at (exact, case-sensitive); empty after the
  // last one.
  std::array<std::string_view, kMaxKeys> Mnemonics;
};

// A pass over the whole table before translation; it may rewrite entries,
// drop them (jumps to a dropped entry then go to the entry after it) and
// register further variables.
struct PassContext {
  CodeTable& Code;
  VarTable& Vars;
  // Every jump's target entry by position (-1: none), once a pass has
  // looked them up; each pass that changes the table then keeps them up to
  // date, so that the passes after it and the flow analysis look up none.
  // Empty until then.
  std::vector<int> Targets;
  // How many jumps come to each entry, by position, where the pass that
  // last changed the jumps left the count for the next one to take (and
  // empty it); empty otherwise.
  std::vector<int> Incoming;
};
using Pass = void (*)(PassContext& ctx);

// Chooses the body's range after the passes; like them it may take out of
// the table what it leaves out (a frame, say).
using RangeChooser = BodyRange (*)(PassContext& ctx);

// How a reading reads beyond its tables.
struct ReadingTraits {
  Layout OutputLayout = Layout::kByWords;
  // Its recognisers read the routine's flow facts.
  bool WantsFacts = false;
  // Its conditions take the extended forms (see ConditionRules).
  bool ExtendedConditions = false;
  // It prints goto for jumps no structure takes (a label line before each
  // target).
  bool Gotos = false;
};

class Reading {
 public:
  // `table` and `passes` must outlive the reading.
  Reading(const char* name, std::span<const RecognizerEntry> table, std::span<const Pass> passes,
          RangeChooser choose_range, ReadingTraits traits);

  const char* Name() const { return name_; }
  std::span<const RecognizerEntry> Table() const { return table_; }
  // Runs the passes in their order.
  void Prepare(PassContext& ctx) const;
  BodyRange ChooseRange(PassContext& ctx) const { return choose_range_(ctx); }
  const ReadingTraits& Traits() const { return traits_; }

  // The recognisers, in table order, that declared this mnemonic or any.
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
  std::span<const Pass> passes_;
  RangeChooser choose_range_;
  ReadingTraits traits_;
  std::vector<Slot> slots_;  // open addressing, never more than half full
  std::vector<const RecognizerEntry*> lists_;
  uint32_t any_first_ = 0;  // those that declared any mnemonic, in lists_
  uint32_t any_count_ = 0;
};

// The reading of the listing layouts the tool was first made for, with the
// mends that keep it from printing a program the code does not compute.
const Reading& DefaultReading();
// Beyond it, the layouts of today's compilers (Free Pascal, gcc).
const Reading& ExtendedReading();
// The reading of that name ("default", "extended"), or null.
const Reading* ReadingNamed(std::string_view name);

}  // namespace asm2pas
