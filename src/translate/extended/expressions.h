// Operands as the values they hold, for the extended reading's statements:
// which operands a statement can name exactly (whole registers, the byte
// and word registers that overlay eax, ecx, edx and ebx, immediates, variables,
// memory), their widths, and the address an lea computes as an expression.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "naming/vars.h"
#include "translate/flow.h"

namespace asm2pas {

enum class OperandForm : uint8_t { kNone, kRegister, kImmediate, kMemory };

struct OperandInfo {
  OperandForm Form = OperandForm::kNone;
  // 8, 16 or 32; 0 when a memory operand states no size (the other
  // operand's size holds), -1 for any other size.
  int Bits = -1;
  RegSet Reads = 0;  // the registers its value or address reads
};

// What the listed operand is. Registers a statement cannot name as the
// values they hold (esp, which pushes move; the parts of ebp and of the
// register variables ebx, esi and edi, which have names of their own) are
// kNone, and so is a memory operand with a segment or without brackets.
OperandInfo Classify(std::string_view listed);

// The value of an immediate, or nothing for any other text.
std::optional<uint32_t> Immediate(std::string_view listed);

// A whole 32-bit operand a statement reads: a register or a dword of
// memory, reading none of the registers in `not_read`.
bool IsDword(std::string_view listed, RegSet not_read);

// Whether two memory operands surely name bytes apart: both state their
// size, the same registers address them, and the numbers added keep them
// apart.
bool SurelyApart(std::string_view a, std::string_view b);

// The operand as a statement prints it: its variable's name, or its text
// with the registers in it that are variables named.
inline std::string_view Value(const VarTable& vars, std::string_view listed) {
  return VarName(vars, listed);
}

// The operand read at `bits` and widened to 32 bits, zero- or
// sign-extended: al, ShortInt(al), Byte(Local_0000), word ptr [eax].
std::string Widened(const VarTable& vars, std::string_view listed, int bits, bool sign);

// The address an lea computes from its listed memory operand, as an
// expression: the address of a variable (@Local_0000), or base, index and
// displacement with the registers named (Local_0000+Local_0000*8). False
// when it cannot be said exactly: the frame registers, symbols, segments.
bool AddressExpression(const VarTable& vars, std::string_view listed, std::string& out);

}  // namespace asm2pas
