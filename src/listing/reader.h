// The listing reader: splits the listing's bytes into lines (carriage
// return ends a line, code 26 ends the input), cuts each instruction line
// into address, mnemonic and operands by its fixed columns, hands the
// operands to a registry as it stores them and checks every jump's target.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostic.h"
#include "listing/code_table.h"

namespace asm2pas {

// Told of every instruction's operands, first to third, as the reader
// stores the instruction (before its jump is checked). Its answer is kept
// with the operand (TOpCode::VarHint).
class OperandRegistry {
 public:
  virtual ~OperandRegistry() = default;
  virtual int16_t Register(std::string_view operand) = 0;
};

// Reads a listing fed in pieces of any size into a code table; Finish()
// after the last piece. A line it cannot read stops the reading with an
// error record.
class ListingReader {
 public:
  ListingReader(CodeTable& code, OperandRegistry& operands, std::vector<Diagnostic>& diagnostics)
      : code_(code), operands_(operands), diagnostics_(diagnostics) {}
  // False once the reading has stopped with an error.
  bool Feed(std::string_view bytes);
  void Finish();
  bool Failed() const { return failed_; }

 private:
  void EndLine(std::string_view line);
  void ReadInstruction(std::string_view line);
  void Fail(Diagnostic d);

  CodeTable& code_;
  OperandRegistry& operands_;
  std::vector<Diagnostic>& diagnostics_;
  std::string line_;
  int line_number_ = 1;     // of the line being collected
  bool after_cr_ = false;   // a line feed now belongs to the last line end
  bool stopped_ = false;    // code 26 was met, or an error
  bool failed_ = false;
  int lone_lf_line_ = 0;    // first line holding a line feed without CR
};

}  // namespace asm2pas
