// Rewrites the operands of one objdump instruction into listing form:
// lower case, numbers as "$" and upper-case digits, absolute operands in
// brackets (with the relocation's symbol in an object file), immediates the
// processor sign-extends from one byte as negative numbers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "objdump_input.h"

namespace asm2pas::objdump {

// One operand other than a jump or call target: lower case, "$" numbers,
// "*1" scales dropped, ds:0x... and other segment:number operands in
// brackets with eight digits; objdump's <symbol> annotations dropped.
std::string RewriteOperand(std::string_view operand);
// The same, appended to `out`.
void AppendOperand(std::string& out, std::string_view operand);

// Every operand of `ins`, whose operand text is `operands`, when none is a
// jump or call target, separated by ", ". An absolute operand that a relocation fills in gets
// the relocation's symbol: in an object file its address is not known yet,
// and the symbol keeps different globals apart.
std::string RewriteOperands(std::string_view operands, const SourceInstruction& ins);
// The same, appended to `out`.
void AppendOperands(std::string& out, std::string_view operands, const SourceInstruction& ins);

}  // namespace asm2pas::objdump
