// Gathers the routines of a whole `objdump -d -M intel` text: every routine
// header with the instruction lines under it, wrapped byte lines joined to
// their instruction, relocation lines (objdump -r) attached to the
// instruction they patch; from the headers of -f and -p, the entry point
// and a PE file's exported routines. Rejects text that is not such output.
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
  // objdump decoded it from zero bytes before a routine and the routine's
  // first bytes together: a routine starts inside it.
  bool OutOfStep = false;
};

struct Note {
  uint64_t Address = 0;  // the instruction it follows, or the routine's start
  std::string Text;
};

struct Routine {
  std::string Name;
  uint64_t Address = 0;
  std::string Section;
  std::vector<SourceInstruction> Instructions;
  std::vector<Note> Notes;  // things the user must hear about
  // objdump's header names the section, not a routine: the input has no
  // symbol for this code (a stripped program).
  bool Unnamed = false;
};

struct Export {
  std::string Name;
  uint64_t Address = 0;
};

struct ObjdumpInput {
  std::vector<Routine> Routines;
  bool HasRelocations = false;  // the text came from objdump -r
  bool Coff = false;            // a PE or COFF file
  std::vector<uint64_t> Entries;  // entry points (objdump -f), one per file
  std::vector<Export> Exports;    // a PE file's export table (objdump -p)
};

struct InputError {
  size_t Line = 0;  // 0 when the fault is not one line's
  std::string Message;
};

// Reads the whole text, taking its lines apart on `threads` threads. On bad
// input returns false and fills `error`.
bool ReadObjdump(std::string_view text, ObjdumpInput& out, InputError& error, unsigned threads = 1);

}  // namespace asm2pas::objdump
