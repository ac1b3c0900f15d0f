// The listing reader: splits the listing's bytes into lines (carriage
// return ends a line, code 26 ends the input), cuts each instruction line
// into address, mnemonic and operands by its fixed columns, registers the
// operands as variables and checks every jump's target.
#pragma once

#include <string>
#include <string_view>

#include "driver/run_state.h"

namespace asm2pas {

// Reads a listing fed in pieces of any size; Finish() after the last piece.
// Throws RunError on a line it cannot read.
class ListingReader {
 public:
  explicit ListingReader(RunState& run) : run_(run) {}
  void Feed(std::string_view bytes);
  void Finish();

 private:
  void EndLine(std::string_view line);
  void ReadInstruction(std::string_view line);

  RunState& run_;
  std::string line_;
  int line_number_ = 1;     // of the line being collected
  bool after_cr_ = false;   // a line feed now belongs to the last line end
  bool stopped_ = false;    // code 26 was met
  int lone_lf_line_ = 0;    // first line holding a line feed without CR
};

// Reads a whole listing held in memory.
void LoadListing(RunState& run, std::string_view bytes);

}  // namespace asm2pas
