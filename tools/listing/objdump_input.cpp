#include "objdump_input.h"

#include <cstdio>

#include "objdump_line.h"

namespace asm2pas::objdump {
namespace {

// A file format that is not 32-bit x86 code; empty when the format is fine.
std::string RejectFormat(const std::string& format) {
  if (format.find("x86-64") != std::string::npos || format.find("elf64") != std::string::npos)
    return "the input holds x86-64 code (file format " + format +
           "); only 32-bit x86 code can be converted";
  if (format.find("i386") == std::string::npos)
    return "the input is not 32-bit x86 code (file format " + format + ")";
  return "";
}

bool LooksLikeAtt(const std::string& text) { return text.find('%') != std::string::npos; }

}  // namespace

bool ReadObjdump(std::string_view text, ObjdumpInput& out, InputError& error) {
  out = ObjdumpInput();
  std::string section;
  Routine* current = nullptr;
  size_t line_number = 0;
  size_t pos = 0;
  // Ends: every pass moves `pos` past one line end, or to the end of the text.
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? text.size() - pos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    ObjdumpLine parsed = ClassifyLine(line);
    auto fail = [&](std::string message) {
      error.Line = line_number;
      error.Message = std::move(message);
      return false;
    };
    switch (parsed.Kind) {
      case LineKind::Blank:
        break;
      case LineKind::FileFormat:
        if (std::string why = RejectFormat(parsed.Name); !why.empty()) return fail(why);
        current = nullptr;
        break;
      case LineKind::Archive:
        current = nullptr;
        break;
      case LineKind::Section:
        section = parsed.Name;
        current = nullptr;
        break;
      case LineKind::RoutineHeader:
        if (parsed.Address > 0xFFFFFFFFu)
          return fail("the address " + Hex8(parsed.Address) + " does not fit in 32 bits");
        out.Routines.push_back(Routine{parsed.Name, parsed.Address, section, {}, {}});
        current = &out.Routines.back();
        break;
      case LineKind::Instruction: {
        if (!current) return fail("an instruction line before any routine header (\"00000000 <name>:\")");
        if (parsed.Address > 0xFFFFFFFFu)
          return fail("the address " + Hex8(parsed.Address) + " does not fit in 32 bits");
        if (LooksLikeAtt(parsed.Text))
          return fail("the input is in AT&T syntax; disassemble with objdump -d -M intel");
        SourceInstruction ins;
        ins.Address = parsed.Address;
        ins.Bytes = std::move(parsed.Bytes);
        ins.Text = std::move(parsed.Text);
        ins.Line = line_number;
        current->Instructions.push_back(std::move(ins));
        break;
      }
      case LineKind::MoreBytes:
        if (!current || current->Instructions.empty())
          return fail("a line of instruction bytes without an instruction before it");
        {
          std::vector<uint8_t>& bytes = current->Instructions.back().Bytes;
          bytes.insert(bytes.end(), parsed.Bytes.begin(), parsed.Bytes.end());
        }
        break;
      case LineKind::Relocation:
        out.HasRelocations = true;
        // objdump prints a relocation under the instruction whose bytes it
        // patches; one outside every routine concerns no instruction here.
        if (current && !current->Instructions.empty())
          current->Instructions.back().Relocs.push_back(
              Relocation{parsed.Address, parsed.RelocType, parsed.RelocSymbol});
        break;
      case LineKind::ZeroBlock:
        if (current) {
          std::string where = current->Instructions.empty()
                                  ? "at its start"
                                  : "after " + Hex8(current->Instructions.back().Address);
          current->Notes.push_back("objdump left out a block of zero bytes " + where +
                                   " (disassemble with objdump -z to see them)");
        }
        break;
      case LineKind::Other:
        if (current)
          return fail("not a line of objdump -d -M intel output (source or line-number lines from -S or -l cannot be read): \"" +
                      std::string(line) + "\"");
        // Outside a routine objdump prints little else, but a stray line
        // there does not concern any instruction.
        if (line.find('%') != std::string_view::npos)
          return fail("the input is in AT&T syntax; disassemble with objdump -d -M intel");
        break;
    }
  }
  if (out.Routines.empty()) {
    error.Line = 0;
    error.Message = "no routine found; the input should be the output of objdump -d -M intel";
    return false;
  }
  return true;
}

}  // namespace asm2pas::objdump
