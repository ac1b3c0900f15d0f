// The extended reading: the default reading's recognisers and, beyond
// them, the layouts of today's compilers, laid out by shape.
#include "translate/reading.h"

#include "translate/extended/calls.h"
#include "translate/extended/jumps.h"
#include "translate/extended/loops.h"
#include "translate/extended/statements.h"
#include "translate/if_else.h"
#include "translate/loops.h"
#include "translate/statements.h"
#include "translate/try_finally.h"

namespace asm2pas {

namespace {

constexpr RecognizerEntry kExtendedTable[] = {
    // A loop whose test stands at its bottom: its first instruction may be
    // any, and the loop encloses whatever starts there.
    {"RecognizeRepeat", RecognizeRepeat, Sees::kListed, {kAnyMnemonic}},
    {"DoTry", DoTry, Sees::kListed, {"xor"}},
    {"DoFinally", DoFinally, Sees::kListed, {"xor"}},
    {"RecognizeFor", RecognizeFor, Sees::kListed, {"mov"}},
    {"RecognizeWhile", RecognizeWhile, Sees::kListed, {"jmp"}},
    {"RecognizeIf", RecognizeIf, Sees::kListed, {"cmp", "or", "test", "mov"}},
    // Statements of today's compilers (extended/statements.h, calls.h),
    // before the default reading's statements, which some of them take
    // further and some would print inexactly.
    {"RecognizeSet", RecognizeSet, Sees::kListed, {"cmp", "test"}},
    {"RecognizeCallStatement", RecognizeCallStatement, Sees::kListed, {"call", "push", "sub"}},
    {"RecognizeCallStatement", RecognizeCallStatement, Sees::kListed, {"mov", "lea"}},
    {"RecognizeDivide", RecognizeDivide, Sees::kListed, {"cdq", "xor", "mov"}},
    {"RecognizeWide", RecognizeWide, Sees::kListed, {"imul", "mul", "idiv", "div"}},
    {"RecognizeLea", RecognizeLea, Sees::kListed, {"lea"}},
    {"RecognizeShift", RecognizeShift, Sees::kListed, {"shl", "sal", "shr", "sar"}},
    {"RecognizeRotate", RecognizeRotate, Sees::kListed, {"rol", "ror"}},
    {"RecognizeNeg", RecognizeNeg, Sees::kListed, {"neg"}},
    {"RecognizeExtend", RecognizeExtend, Sees::kListed, {"movzx", "movsx"}},
    // End of the statements of today's compilers.
    {"DoCall", DoCall, Sees::kListed, {"call"}},
    {"DoRet", DoRet, Sees::kNamed, {"ret"}},
    {"DoMov", DoMov, Sees::kNamed, {"mov"}},
    {"DoXor", DoXor, Sees::kNamed, {"xor"}},
    {"DoImul", DoImul, Sees::kNamed, {"imul"}},
    {"DoIdiv", DoIdiv, Sees::kNamed, {"idiv"}},
    {"DoSub", DoSub, Sees::kNamed, {"sub"}},
    {"DoAdd", DoAdd, Sees::kNamed, {"add"}},
    {"DoInc", DoInc, Sees::kNamed, {"inc"}},
    {"DoDec", DoDec, Sees::kNamed, {"dec"}},
    {"DoOr", DoOr, Sees::kNamed, {"or"}},
    {"DoAnd", DoAnd, Sees::kNamed, {"and"}},
    {"DoNot", DoNot, Sees::kNamed, {"not"}},
    {"DoLea", DoLea, Sees::kNamed, {"lea"}},
};

constexpr Pass kExtendedPasses[] = {TidyJumps, NameRegistersInside};

}  // namespace

const Reading& ExtendedReading() {
  static const Reading reading("extended", kExtendedTable, kExtendedPasses, TrimFrame,
                               ReadingTraits{Layout::kByShape, true, true});
  return reading;
}

}  // namespace asm2pas
