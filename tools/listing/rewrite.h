// Turns one objdump instruction into the mnemonic and operand texts of a
// listing line: names of the conditional jumps, jump targets as bare
// addresses, call targets by name, and the jumps that cannot be written
// with a bare address (they get a mnemonic that is not a jump, and a
// warning). Operands go through operands.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "objdump_input.h"
#include "relocations.h"

namespace asm2pas::objdump {

struct ListingInstruction {
  uint64_t Address = 0;
  std::string Bytes;     // upper-case hexadecimal digits, no blanks
  std::string Mnemonic;  // lower case; may hold a kept prefix ("rep stos")
  std::string Operands;  // separated by ", "; empty when there are none
  std::string Warning;   // empty, or what the user must be told about it
  bool Padding = false;  // alignment filler, written as a comment line
  // objdump decoded it from bytes before a routine and the routine's first
  // bytes together; written as a comment line.
  bool OutOfStep = false;
};

ListingInstruction RewriteInstruction(const SourceInstruction& ins, const std::string& section,
                                      const SymbolTable& symbols);
// The same into `out`, whose texts keep their room.
void RewriteInstruction(const SourceInstruction& ins, const std::string& section, const SymbolTable& symbols,
                        ListingInstruction& out);

// The conditional-jump names asm2pas keys on: je -> jz, jne -> jnz,
// jg -> jnle, jge -> jnl, ja -> jnbe, jae -> jnb; every other name as given.
std::string JumpName(std::string_view mnemonic);

}  // namespace asm2pas::objdump
