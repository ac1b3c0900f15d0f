// What the symbols and relocations of the input say about an instruction:
// the routine table by section and name, the relocation that patches a
// call, jump or absolute operand, and a symbol with its offset as the
// listing writes it ("foo+$10").
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "objdump_input.h"

namespace asm2pas::objdump {

// Routine start addresses by (section, name): where a jump that a
// relocation points at a routine of the input really goes. In an object
// file addresses are offsets within their section, so only a routine of the
// jump's own section can answer.
using SymbolTable = std::map<std::pair<std::string, std::string>, uint64_t>;

// Empty for input without relocations, which never asks it.
SymbolTable CollectSymbols(const ObjdumpInput& input);

// "helper", "foo+0x10" -> "foo+$10": a symbol with its offset in "$" form.
std::string SymbolText(std::string_view symbol);

// A symbol plus a signed byte offset, as "name", "name+$10" or "name-$04".
std::string SymbolPlus(std::string_view symbol, int64_t offset);

// The offset that the displayed placeholder adds to a relocation's symbol:
// the linker puts symbol + addend - place where objdump shows next + addend
// (ELF; COFF's place is the end of the patched field).
int64_t RelocOffset(uint64_t displayed, const Relocation& r);

// The first pc-relative relocation of the instruction (its call or jump
// target), or null.
const Relocation* FirstPcReloc(const SourceInstruction& ins);

// The relocation that patches the four address bytes of an absolute
// operand: its in-place bytes hold the address objdump shows. Without the
// raw bytes the first absolute relocation is taken.
const Relocation* AbsoluteReloc(const SourceInstruction& ins, uint64_t shown);

}  // namespace asm2pas::objdump
