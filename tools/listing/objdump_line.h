// Takes one line of `objdump -d -M intel` output apart: routine headers,
// instruction lines, the byte lines objdump wraps long instructions onto,
// relocation lines (objdump -r) and the lines that carry nothing for a
// listing. Knows nothing about routines or operands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "objdump_input.h"

namespace asm2pas::objdump {

enum class LineKind {
  Blank,          // nothing but white space
  FileFormat,     // "a.o:     file format elf32-i386"; Name holds the format
  Archive,        // "In archive libx.a:"
  Section,        // "Disassembly of section .text:"; Name holds the section
  RoutineHeader,  // "00000000 <sum_to>:"; Address and Name
  Instruction,    // "  6:\tc7 45 fc ...\tmov    DWORD PTR [ebp-0x4],0x0"
  MoreBytes,      // "   7:\t78 56 34 12 ": the rest of a long instruction
  Relocation,     // "\t\t\t6b: R_386_PC32\thelper"; Address is the offset
  ZeroBlock,      // "\t...": objdump left out a run of zero bytes
  Other,          // anything else
};

struct ObjdumpLine {
  LineKind Kind = LineKind::Other;
  uint64_t Address = 0;
  // The texts are views into the line.
  std::string_view Name;       // routine name, section name or file format
  InstructionBytes Bytes;      // instruction and byte lines; empty when
                               // objdump was told not to show them
  std::string_view Text;       // instruction text: mnemonic and operands
  std::string_view RelocType;  // e.g. R_386_PC32
  std::string_view RelocSymbol;  // e.g. helper, .data, ext+0x4
};

// `line` without its line end. Addresses wider than 64 bits, and anything
// that fits none of the shapes above, are Other.
ObjdumpLine ClassifyLine(std::string_view line);

}  // namespace asm2pas::objdump
