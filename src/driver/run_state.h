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
#include "recognizers/conditions.h"

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
  // Room for the conditions one if or while collects. Collecting and
  // printing them ends before the branches are translated, so one array
  // serves every level of the nesting and its texts keep their storage.
  std::vector<TIF> Conds = std::vector<TIF>(kMaxConds);
};

}  // namespace asm2pas
