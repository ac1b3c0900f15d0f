#include "rewrite.h"

#include <optional>
#include <utility>

#include "instruction_text.h"
#include "operands.h"
#include "text.h"

namespace asm2pas::objdump {
namespace {

// A jump or call target as an address of the input: a direct target, or
// (in an object file) the routine of the same section that the relocation
// names, plus the offset. Null when neither gives one within 32 bits;
// `shown` and `why` then say what the target is and why it cannot be used.
std::optional<uint64_t> JumpTarget(const SourceInstruction& ins, const SplitText& split,
                                   const std::string& section, const SymbolTable& symbols,
                                   std::string& shown, std::string& why) {
  std::optional<DirectTarget> target = ParseDirectTarget(split.Operands);
  const Relocation* reloc = FirstPcReloc(ins);
  if (target && !reloc) {
    if (target->Address <= 0xFFFFFFFFu) return target->Address;
    shown = DollarNumber(target->Address);
    why = "its target does not fit in 32 bits";
  } else if (target && reloc) {
    // An object file: the displayed target is a placeholder the linker
    // fills in; a routine of the same section gives the real address.
    int64_t offset = RelocOffset(target->Address, *reloc);
    auto known = symbols.find(std::make_pair(section, reloc->Symbol));
    if (known != symbols.end()) {
      int64_t address = static_cast<int64_t>(known->second) + offset;
      if (address >= 0 && address <= 0xFFFFFFFF) return static_cast<uint64_t>(address);
    }
    shown = SymbolPlus(reloc->Symbol, offset);
    why = "it jumps to " + shown + ", whose address the input does not give";
  } else {
    shown = RewriteOperands(split.Operands, ins);
    why = "its target is not a fixed address";
  }
  return std::nullopt;
}

void RewriteJump(const SourceInstruction& ins, const SplitText& split, const std::string& section,
                 const SymbolTable& symbols, ListingInstruction& out) {
  std::string name = JumpName(split.Mnemonic);
  std::string shown;  // what the unfollowable jump's operand becomes
  std::string why;
  if (std::optional<uint64_t> target = JumpTarget(ins, split, section, symbols, shown, why)) {
    AssignJoined(out.Mnemonic, split.Prefixes, name);
    out.Operands = Hex8(*target);
    return;
  }
  out.Mnemonic = JoinPrefixes(split.Prefixes, "i" + name);
  out.Operands = shown;
  std::string original = Lower(JoinPrefixes(split.Prefixes, split.Mnemonic)) +
                         (split.Operands.empty() ? "" : " " + std::string(split.Operands));
  out.Warning = "'" + original + "' written as '" + out.Mnemonic + (shown.empty() ? "" : " " + shown) +
                "': " + why + "; asm2pas takes only jumps to a bare address, so it shows this one "
                "as a comment line and does not follow it";
}

void RewriteCall(const SourceInstruction& ins, const SplitText& split, ListingInstruction& out) {
  std::optional<DirectTarget> target = ParseDirectTarget(split.Operands);
  if (!target) {
    AppendOperands(out.Operands, split.Operands, ins);
    return;
  }
  if (const Relocation* reloc = FirstPcReloc(ins)) {
    out.Operands = SymbolPlus(reloc->Symbol, RelocOffset(target->Address, *reloc));
    return;
  }
  if (!ins.Bytes.empty() && target->Address > ins.Address &&
      target->Address < ins.Address + ins.Bytes.size()) {
    out.Operands = "$" + Hex8(target->Address);
    out.Warning = "the call's target is not resolved (an object file disassembled without "
                  "relocations); written as call " + out.Operands +
                  "; disassemble with objdump -dr -M intel to get the name of the routine it calls";
    return;
  }
  // A symbol objdump shows names the target; a section name with an
  // offset (".text+0x40") is no name.
  if (!target->Symbol.empty() && target->Symbol.front() != '.')
    out.Operands = SymbolText(target->Symbol);
  else
    out.Operands = "$" + Hex8(target->Address);
}

}  // namespace

std::string JumpName(std::string_view mnemonic) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"je", "jz"}, {"jne", "jnz"}, {"jg", "jnle"}, {"jge", "jnl"}, {"ja", "jnbe"}, {"jae", "jnb"}};
  for (const auto& [from, to] : kNames)
    if (mnemonic == from) return to;
  return std::string(mnemonic);
}

void RewriteInstruction(const SourceInstruction& ins, const std::string& section, const SymbolTable& symbols,
                        ListingInstruction& out) {
  out.Address = ins.Address;
  AssignHexBytes(out.Bytes, ins.Bytes);
  out.Operands.clear();
  out.Warning.clear();
  out.Padding = false;
  out.OutOfStep = ins.OutOfStep;
  SplitText split = Split(ins.Text);
  if (IsJump(split.Mnemonic)) {
    RewriteJump(ins, split, section, symbols, out);
    return;
  }
  AssignJoined(out.Mnemonic, split.Prefixes, split.Mnemonic);
  if (split.Mnemonic == "call")
    RewriteCall(ins, split, out);
  else
    AppendOperands(out.Operands, split.Operands, ins);
}

ListingInstruction RewriteInstruction(const SourceInstruction& ins, const std::string& section,
                                      const SymbolTable& symbols) {
  ListingInstruction out;
  RewriteInstruction(ins, section, symbols, out);
  return out;
}

}  // namespace asm2pas::objdump
