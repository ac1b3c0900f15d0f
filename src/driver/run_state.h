// Everything one conversion run owns: the instruction table, the variable
// table, the output state and the deferred texts, the reading it uses and
// the diagnostics it gave. Each run has its own, so many runs can share a
// process, one per thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostic.h"
#include "listing/code_table.h"
#include "listing/reader.h"
#include "naming/vars.h"
#include "output/labels.h"
#include "output/writer.h"
#include "translate/reading.h"

namespace asm2pas {

// Registers the operands the reader stores as variables.
class VarRegistry : public OperandRegistry {
 public:
  explicit VarRegistry(VarTable& vars) : vars_(vars) {}
  int16_t Register(std::string_view operand) override { return AddVar(vars_, operand); }

 private:
  VarTable& vars_;
};

struct RunState {
  explicit RunState(const Reading& reading) : Read(reading) {}

  const Reading& Read;
  CodeTable Code;
  VarTable Vars;
  OutputState Output;
  LabelTable Labels;
  std::vector<Diagnostic> Diagnostics;  // in the order they arose
  VarRegistry Registry{Vars};
  ListingReader Reader{Code, Registry, Diagnostics};
};

}  // namespace asm2pas
