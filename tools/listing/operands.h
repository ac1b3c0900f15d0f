// The rewriting rules that turn one objdump instruction into the mnemonic
// and operand texts of a listing line: names of the conditional jumps,
// numbers as "$" and upper-case digits, absolute operands in brackets,
// sign-extended immediates as negative numbers, jump targets as bare
// addresses, call targets by name, and the jumps that cannot be written with
// a bare address (they get a mnemonic that is not a jump, and a warning).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "objdump_input.h"

namespace asm2pas::objdump {

// Routine start addresses by (section, name): where a jump that a
// relocation points at a routine of the input really goes. In an object
// file addresses are offsets within their section, so only a routine of the
// jump's own section can answer.
using SymbolTable = std::map<std::pair<std::string, std::string>, uint64_t>;

SymbolTable CollectSymbols(const ObjdumpInput& input);

struct ListingInstruction {
  uint64_t Address = 0;
  std::string Bytes;     // upper-case hexadecimal digits, no blanks
  std::string Mnemonic;  // lower case; may hold a kept prefix ("rep stos")
  std::string Operands;  // separated by ", "; empty when there are none
  std::string Warning;   // empty, or what the user must be told about it
  bool Padding = false;  // alignment filler, written as a comment line
};

ListingInstruction RewriteInstruction(const SourceInstruction& ins, const std::string& section,
                                      const SymbolTable& symbols);

// Rules that look at neighbouring instructions, applied to a whole routine
// after RewriteInstruction:
// - js and jns right after a compare with zero become jl and jnl (comparing
//   with zero clears the overflow flag, so the sign flag alone decides
//   "less"), unless some jump lands on them;
// - alignment filler (nop, xchg ax, ax, lea esi, [esi+eiz+$00], ...) that
//   follows a ret or jmp and that no jump reaches is marked Padding: it is
//   never executed, and left in the table it would hide the routine's
//   final ret from asm2pas.
void ApplyRoutineRules(std::vector<ListingInstruction>& routine);

// "$" and upper-case digits, padded to 2, 4 or 8 digits: $0A, $012C,
// $0804A01C.
std::string DollarNumber(uint64_t value);

// The conditional-jump names asm2pas keys on: je -> jz, jne -> jnz,
// jg -> jnle, jge -> jnl, ja -> jnbe, jae -> jnb; every other name as given.
std::string JumpName(std::string_view mnemonic);

// One operand other than a jump or call target: lower case, "$" numbers,
// "*1" scales dropped, ds:0x... and other segment:number operands in
// brackets with eight digits; objdump's <symbol> annotations dropped.
std::string RewriteOperand(std::string_view operand);

}  // namespace asm2pas::objdump
