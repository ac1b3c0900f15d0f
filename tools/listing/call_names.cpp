#include "call_names.h"

#include <string>
#include <string_view>
#include <unordered_map>

#include "instruction_text.h"
#include "text.h"

namespace asm2pas::objdump {
namespace {

// The register a thunk loads with its return address, or empty: its
// instructions, alignment filler after the ret aside, are exactly
// "mov REG,DWORD PTR [esp]" and "ret".
std::string_view ThunkRegister(const Routine& routine) {
  const std::span<SourceInstruction> code = routine.Instructions;
  if (code.size() < 2) return {};
  const SplitText load = Split(code[0].Text);
  const SplitText ret = Split(code[1].Text);
  if (load.Mnemonic != "mov" || ret.Mnemonic != "ret" || !ret.Operands.empty() ||
      !load.Prefixes.empty() || !ret.Prefixes.empty()) {
    return {};
  }
  static constexpr std::string_view kRegisters[] = {"eax", "ebx", "ecx", "edx", "esi", "edi", "ebp"};
  for (std::string_view reg : kRegisters) {
    std::string expected(reg);
    expected += ",DWORD PTR [esp]";
    if (load.Operands == expected) return reg.substr(1);
  }
  return {};
}

// Whether objdump's name for a call target is the routine's own: a symbol
// without an offset, which is no section name.
bool NamedExactly(std::string_view symbol) {
  return !symbol.empty() && symbol.front() != '.' && FindChar(symbol, '+') == std::string_view::npos &&
         FindChar(symbol, '-') == std::string_view::npos;
}

}  // namespace

void NameCallTargets(ObjdumpInput& input) {
  if (input.HasRelocations) return;
  std::unordered_map<uint64_t, size_t> starts;
  // Ends: one pass per routine.
  for (size_t r = 0; r < input.Routines.size(); ++r) {
    Routine& routine = input.Routines[r];
    if (!starts.emplace(routine.Address, r).second) return;  // an address names two
    const bool found = routine.Name == "sub_" + Hex8(routine.Address);
    std::string_view reg = found ? ThunkRegister(routine) : std::string_view();
    if (!reg.empty()) routine.Name = "__x86.get_pc_thunk." + std::string(reg);
  }
  // Ends: one pass over every routine's instructions.
  for (Routine& routine : input.Routines) {
    for (SourceInstruction& ins : routine.Instructions) {
      const std::string_view text = ins.Text;
      // Most instructions call nothing: a cheap test before the split.
      if (text.size() < 4 || text.find("call") == std::string_view::npos) continue;
      const SplitText split = Split(text);
      if (split.Mnemonic != "call") continue;
      const std::optional<DirectTarget> target = ParseDirectTarget(split.Operands);
      if (!target || NamedExactly(target->Symbol)) continue;
      const auto at = starts.find(target->Address);
      if (at == starts.end()) continue;
      std::string& named = input.OwnedTexts.emplace_back(text.substr(0, static_cast<size_t>(
                                                                            split.Operands.data() - text.data())));
      named += Lower(Hex8(target->Address));
      named += " <";
      named += input.Routines[at->second].Name;
      named += ">";
      ins.Text = named;
    }
  }
}

}  // namespace asm2pas::objdump
