// The fixed, ordered table of recognisers the translation loop offers every
// instruction to. The entries from the first one marked Substituted on see
// the current instruction's operands replaced by their variable names.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "driver/run_state.h"
#include "driver/translate.h"

namespace asm2pas {

using Recognizer = void (*)(RunState& run, TLoopState& state);

// The mnemonics a recogniser can claim at, one bit each. Every recogniser
// declines at once when the current instruction has another mnemonic, so
// the loop does not offer it such instructions at all.
enum MnemonicBit : uint32_t {
  mbOther = 1u << 0,
  mbMov = 1u << 1,
  mbXor = 1u << 2,
  mbJmp = 1u << 3,
  mbCmp = 1u << 4,
  mbOr = 1u << 5,
  mbTest = 1u << 6,
  mbCall = 1u << 7,
  mbRet = 1u << 8,
  mbImul = 1u << 9,
  mbIdiv = 1u << 10,
  mbSub = 1u << 11,
  mbAdd = 1u << 12,
  mbInc = 1u << 13,
  mbDec = 1u << 14,
  mbAnd = 1u << 15,
  mbNot = 1u << 16,
  mbLea = 1u << 17,
};

// The bit of a mnemonic (exact, case-sensitive), mbOther for any other.
uint32_t MnemonicBitOf(std::string_view opcode);

struct RecognizerEntry {
  const char* Name;
  Recognizer Run;
  bool Substituted;    // needs the operands passed through VarName first
  uint32_t Mnemonics;  // the MnemonicBits it can claim at
};

std::span<const RecognizerEntry> Recognizers();

// The recognisers, in table order, whose Mnemonics hold this one bit: the
// only ones that can claim at an instruction with that mnemonic.
std::span<const RecognizerEntry* const> RecognizersFor(uint32_t mnemonic_bit);
// Whether r stands at or after the first entry marked Substituted, so that
// it sees the current instruction's operands replaced.
bool SeesSubstituted(const RecognizerEntry* r);

}  // namespace asm2pas
