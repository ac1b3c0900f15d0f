#include "translate/trim_frame.h"

namespace asm2pas {

namespace {
bool Is(const TOpCode& e, const char* opcode, const char* op1) {
  return e.OpCode == opcode && e.Op1 == op1;
}
}  // namespace

BodyRange TrimFrame(const CodeTable& code) {
  int l = 1;
  int h = code.CodeCount();
  if (code.At(h).OpCode == "ret") --h;
  if (Is(code.At(l), "push", "ebp") && Is(code.At(l + 1), "mov", "ebp") &&
      code.At(l + 1).Op2 == "esp" && Is(code.At(h), "pop", "ebp") &&
      Is(code.At(h - 1), "mov", "esp") && code.At(h - 1).Op2 == "ebp") {
    l += 2;
    h -= 2;
  }
  if (Is(code.At(l), "add", "esp")) ++l;
  // Ends: l moves only over pushes and h only over pops; entries outside
  // the table read as empty, which neither is.
  while (code.At(l).OpCode == "push" && code.At(h).OpCode == "pop" &&
         code.At(l).Op1 == code.At(h).Op1) {
    ++l;
    --h;
  }
  return BodyRange{l, h};
}

}  // namespace asm2pas
