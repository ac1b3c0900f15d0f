#include "relocations.h"

#include "text.h"

namespace asm2pas::objdump {
namespace {

// ELF's names, and PE/COFF's (DISP32). A type objdump has no name for and
// shows as a number is taken for a relative one: on a call or jump that is
// what it can be.
bool IsPcRelative(const Relocation& r) {
  return r.Type == "R_386_PC32" || r.Type == "R_386_PLT32" || r.Type == "R_386_PC16" ||
         r.Type == "R_386_PC8" || r.Type == "DISP32" || r.Type == "DISP16" || r.Type == "DISP8" ||
         (!r.Type.empty() && r.Type.find_first_not_of("0123456789") == std::string::npos);
}

bool IsAbsolute(const Relocation& r) { return r.Type == "R_386_32" || r.Type == "dir32"; }

}  // namespace

SymbolTable CollectSymbols(const ObjdumpInput& input) {
  SymbolTable table;
  // Only a relocation sends a jump to a routine by name: without them (a
  // linked program) the table would never be asked.
  if (!input.HasRelocations) return table;
  for (const Routine& r : input.Routines) table.emplace(std::make_pair(r.Section, r.Name), r.Address);
  return table;
}

std::string SymbolText(std::string_view symbol) {
  std::string out;
  size_t i = 0;
  // Ends: every pass consumes at least one character.
  while (i < symbol.size()) {
    if ((symbol[i] == '+' || symbol[i] == '-') && symbol.substr(i + 1, 2) == "0x") {
      size_t end = i + 3;
      while (end < symbol.size() && IsHexDigit(symbol[end])) ++end;
      if (std::optional<uint64_t> v = ParseHex(symbol.substr(i + 3, end - i - 3))) {
        out += symbol[i];
        out += DollarNumber(*v);
        i = end;
        continue;
      }
    }
    out += symbol[i++];
  }
  return out;
}

std::string SymbolPlus(std::string_view symbol, int64_t offset) {
  std::string out = SymbolText(symbol);
  if (offset > 0) out.append("+").append(DollarNumber(static_cast<uint64_t>(offset)));
  if (offset < 0) out.append("-").append(DollarNumber(static_cast<uint64_t>(-offset)));
  return out;
}

int64_t RelocOffset(uint64_t displayed, const Relocation& r) {
  // ELF's in-place addend counts from the patched field, COFF's from its
  // end (the next instruction).
  int64_t place = static_cast<int64_t>(r.Offset) + (StartsWith(r.Type, "R_") ? 0 : 4);
  return static_cast<int64_t>(displayed) - place;
}

const Relocation* FirstPcReloc(const SourceInstruction& ins) {
  for (const Relocation& r : ins.Relocs)
    if (IsPcRelative(r)) return &r;
  return nullptr;
}

const Relocation* AbsoluteReloc(const SourceInstruction& ins, uint64_t shown) {
  for (const Relocation& r : ins.Relocs) {
    if (!IsAbsolute(r)) continue;
    if (ins.Bytes.empty()) return &r;
    if (r.Offset < ins.Address || r.Offset - ins.Address + 4 > ins.Bytes.size()) continue;
    size_t at = static_cast<size_t>(r.Offset - ins.Address);
    uint64_t value = static_cast<uint64_t>(ins.Bytes[at]) | static_cast<uint64_t>(ins.Bytes[at + 1]) << 8 |
                     static_cast<uint64_t>(ins.Bytes[at + 2]) << 16 |
                     static_cast<uint64_t>(ins.Bytes[at + 3]) << 24;
    if (value == shown) return &r;
  }
  return nullptr;
}

}  // namespace asm2pas::objdump
