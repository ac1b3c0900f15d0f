// Builds listings for tests, the fuzzer and the benchmarks in the tool's
// fixed columns (laid out by listing/format.h), and reads them into a code
// table and variable table the way a run does.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostic.h"
#include "listing/code_table.h"
#include "listing/format.h"
#include "naming/vars.h"

namespace asm2pas::testing {

using format::Hex8;

// One instruction line at `address`, the instruction text from the
// mnemonic column, CR LF.
std::string Line(uint32_t address, std::string_view instruction);
// The same with any text in the address columns (bad addresses, bytes).
std::string RawLine(std::string_view head, std::string_view instruction);

// A listing assembled line by line, counting its instruction lines.
struct Listing {
  std::string Text;
  long Instructions = 0;

  void Add(uint32_t address, std::string_view instruction) {
    Text += Line(address, instruction);
    ++Instructions;
  }
};

// The instructions at addresses first, first + 1, ...
std::string ListingOf(std::initializer_list<std::string_view> instructions, uint32_t first = 1);

// A listing read as a run reads it: the table, the variables, and what the
// reader reported.
struct ReadListing {
  CodeTable Code;
  VarTable Vars;
  std::vector<Diagnostic> Diagnostics;
  bool Failed = false;
};
std::unique_ptr<ReadListing> Read(std::string_view text);

}  // namespace asm2pas::testing
