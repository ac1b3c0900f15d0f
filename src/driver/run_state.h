// Everything one conversion run owns: the instruction table, the variable
// table, the output state and the deferred texts, the chosen range and the
// warnings. Passed to every operation, so many runs can share a process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "listing/code_table.h"
#include "naming/vars.h"
#include "output/labels.h"
#include "output/writer.h"

namespace asm2pas {

struct RunState {
  std::string FileName;
  CodeTable Code;
  VarTable Vars;
  OutputState Output;
  LabelTable Labels;
  // The body to translate, as the frame trimming chose it.
  uint32_t StartAddr = 0;
  uint32_t EndAddr = 0;
  int StartIndex = 1;
  int EndIndex = 0;
  std::vector<std::string> Warnings;  // complete stderr lines
};

}  // namespace asm2pas
