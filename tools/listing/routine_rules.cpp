#include "routine_rules.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "instruction_text.h"
#include "text.h"

namespace asm2pas::objdump {
namespace {

// The instructions compilers and assemblers fill alignment gaps with: zero
// bytes, nop in every form, xchg ax, ax, int3, and moves and lea that leave
// a register as it was (mov edi, edi; lea esi, [esi+eiz+$00]).
bool IsPadding(const ListingInstruction& ins) {
  // Zero bytes: objdump shows pairs as add byte ptr [eax], al.
  if (!ins.Bytes.empty() && ins.Bytes.find_first_not_of('0') == std::string::npos) return true;
  std::string_view m = LastWord(ins.Mnemonic);
  if (m == "nop" || m == "int3") return true;
  std::string_view ops = ins.Operands;
  size_t comma = ops.find(", ");
  if (comma == std::string_view::npos) return false;
  std::string_view dest = ops.substr(0, comma);
  std::string_view src = ops.substr(comma + 2);
  if ((m == "xchg" || m == "mov") && ins.Mnemonic == m) return dest == src;
  if (m != "lea" || ins.Mnemonic != m || src.size() < 2 || src.front() != '[' || src.back() != ']')
    return false;
  src = src.substr(1, src.size() - 2);
  if (src.substr(0, dest.size()) != dest) return false;
  src.remove_prefix(dest.size());
  if (src.substr(0, 4) == "+eiz") src.remove_prefix(4);
  if (src.substr(0, 2) == "+$") {
    src.remove_prefix(2);
    if (src.empty() || src.find_first_not_of('0') != std::string_view::npos) return false;
    return true;
  }
  return src.empty();
}

// The addresses jumps of the routine go to, sorted.
using Targets = std::vector<uint64_t>;

bool Reached(const Targets& targets, uint64_t address) {
  return std::binary_search(targets.begin(), targets.end(), address);
}

void MarkPadding(std::span<ListingInstruction> routine, const Targets& targets) {
  bool after_transfer = false;
  // Ends: one pass per instruction of the routine.
  for (ListingInstruction& ins : routine) {
    if (after_transfer && IsPadding(ins) && !Reached(targets, ins.Address)) {
      ins.Padding = true;
      continue;
    }
    std::string_view last = LastWord(ins.Mnemonic);
    after_transfer = last == "ret" || last == "jmp" || last == "ijmp";
  }
}

void SignJumpsAfterZeroCompare(std::span<ListingInstruction> routine, const Targets& targets) {
  // Ends: one pass per instruction of the routine.
  for (size_t i = 1; i < routine.size(); ++i) {
    ListingInstruction& ins = routine[i];
    const ListingInstruction& before = routine[i - 1];
    if (ins.Mnemonic != "js" && ins.Mnemonic != "jns") continue;
    if (before.Mnemonic != "cmp" || before.Operands.size() < 5 ||
        before.Operands.compare(before.Operands.size() - 5, 5, ", $00") != 0)
      continue;
    if (Reached(targets, ins.Address)) continue;  // flags from elsewhere may arrive
    ins.Mnemonic = ins.Mnemonic == "js" ? "jl" : "jnl";
  }
}

}  // namespace

void ApplyRoutineRules(std::span<ListingInstruction> routine) {
  Targets targets;
  // Ends: one pass per instruction of the routine. A jump's operand is the
  // eight-digit address it goes to.
  for (const ListingInstruction& ins : routine) {
    if (!IsJump(ins.Mnemonic)) continue;
    std::optional<uint64_t> target = ParseHex(ins.Operands);
    if (target && Hex8(*target) == ins.Operands) targets.push_back(*target);
  }
  std::sort(targets.begin(), targets.end());
  MarkPadding(routine, targets);
  SignJumpsAfterZeroCompare(routine, targets);
}

}  // namespace asm2pas::objdump
