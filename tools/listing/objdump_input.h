// Gathers the routines of a whole `objdump -d -M intel` text: every routine
// header with the instruction lines under it, wrapped byte lines joined to
// their instruction, relocation lines (objdump -r) attached to the
// instruction they patch. Rejects text that is not such output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace asm2pas::objdump {

struct Relocation {
  uint64_t Offset = 0;  // address of the patched bytes
  std::string Type;     // R_386_32, R_386_PC32, ...
  std::string Symbol;   // as objdump shows it
};

struct SourceInstruction {
  uint64_t Address = 0;
  std::vector<uint8_t> Bytes;  // empty when objdump did not show them
  std::string Text;            // mnemonic and operands as objdump wrote them
  std::vector<Relocation> Relocs;
  size_t Line = 0;             // line number in the input, from 1
};

struct Routine {
  std::string Name;
  uint64_t Address = 0;
  std::string Section;
  std::vector<SourceInstruction> Instructions;
  std::vector<std::string> Notes;  // things the user must hear about
};

struct ObjdumpInput {
  std::vector<Routine> Routines;
  bool HasRelocations = false;  // the text came from objdump -r
};

struct InputError {
  size_t Line = 0;  // 0 when the fault is not one line's
  std::string Message;
};

// Reads the whole text. On bad input returns false and fills `error`.
bool ReadObjdump(std::string_view text, ObjdumpInput& out, InputError& error);

}  // namespace asm2pas::objdump
