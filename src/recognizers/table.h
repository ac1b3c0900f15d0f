// The fixed, ordered table of recognisers the translation loop offers every
// instruction to. The entries from the first one marked Substituted on see
// the current instruction's operands replaced by their variable names.
#pragma once

#include <span>

#include "driver/run_state.h"
#include "driver/translate.h"

namespace asm2pas {

using Recognizer = void (*)(RunState& run, TLoopState& state);

struct RecognizerEntry {
  const char* Name;
  Recognizer Run;
  bool Substituted;  // needs the operands passed through VarName first
};

std::span<const RecognizerEntry> Recognizers();

}  // namespace asm2pas
