#include "translate/filler.h"

#include <string_view>

namespace asm2pas {

namespace {

// "[r]", "[r+$00]", "[r+eiz+$00]", "[r+eiz*1+$00]", with or without a size
// or segment prefix: the register itself.
bool IsRegisterPlusNothing(std::string_view op, std::string_view reg) {
  const size_t open = op.find('[');
  if (open == std::string_view::npos || op.back() != ']') return false;
  std::string_view inside = op.substr(open + 1, op.size() - open - 2);
  if (!inside.starts_with(reg)) return false;
  inside.remove_prefix(reg.size());
  for (std::string_view tail : {"", "+$00", "+eiz+$00", "+eiz*1+$00", "+$00000000",
                                "+eiz*1+$00000000", "+eiz+$00000000"}) {
    if (inside == tail) return true;
  }
  return false;
}

}  // namespace

bool IsFillerForm(const TOpCode& e) {
  if (e.OpCode == "nop") return true;
  if ((e.OpCode == "mov" || e.OpCode == "xchg") && !e.Op1.empty() && e.Op1 == e.Op2 &&
      e.Op1.find('[') == std::string_view::npos) {
    return true;
  }
  return e.OpCode == "lea" && !e.Op1.empty() && IsRegisterPlusNothing(e.Op2, e.Op1);
}

}  // namespace asm2pas
