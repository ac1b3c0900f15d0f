// The extended reading: the default reading's recognisers and, beyond
// them, the layouts of today's compilers, laid out by shape.
#include "translate/reading.h"

#include "translate/extended/calls.h"
#include "translate/extended/case.h"
#include "translate/extended/exits.h"
#include "translate/extended/frame.h"
#include "translate/extended/gotos.h"
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
    // A jump out of the innermost loop, or on to its next round.
    {"RecognizeLoopJump", RecognizeLoopJump, Sees::kListed, {"jmp", "cmp", "test", "or"}},
    {"RecognizeLoopJump", RecognizeLoopJump, Sees::kListed, {"mov", "jz", "jnz", "je"}},
    {"RecognizeLoopJump", RecognizeLoopJump, Sees::kListed, {"jne", "js", "jns", "jl"}},
    {"RecognizeLoopJump", RecognizeLoopJump, Sees::kListed, {"jle", "jg", "jge", "jnl"}},
    {"RecognizeLoopJump", RecognizeLoopJump, Sees::kListed, {"jnle", "jng", "jnge", "ja"}},
    {"RecognizeLoopJump", RecognizeLoopJump, Sees::kListed, {"jbe", "bt", {}, {}}},
    {"DoTry", DoTry, Sees::kListed, {"xor"}},
    {"DoFinally", DoFinally, Sees::kListed, {"xor"}},
    {"RecognizeWhile", RecognizeWhile, Sees::kListed, {"jmp"}},
    // Comparisons of one value with constants that lead to several arms.
    {"RecognizeCase", RecognizeCase, Sees::kListed, {"cmp", "mov"}},
    {"RecognizeIf", RecognizeIf, Sees::kListed, {"cmp", "or", "test", "mov"}},
    // A conditional jump on the flags of the statement before it.
    {"RecognizeIf", RecognizeIf, Sees::kListed, {"jz", "jnz", "je", "jne"}},
    {"RecognizeIf", RecognizeIf, Sees::kListed, {"js", "jns", "jl", "jle"}},
    {"RecognizeIf", RecognizeIf, Sees::kListed, {"jg", "jge", "jnl", "jnle"}},
    {"RecognizeIf", RecognizeIf, Sees::kListed, {"jng", "jnge", "ja", "jbe"}},
    // A bit test, whose jump reads the bit.
    {"RecognizeIf", RecognizeIf, Sees::kListed, {"bt", {}, {}, {}}},
    // Frames and exits: a return, a jump or a condition that leaves the
    // routine where no structure holds it (the exit TakeOutFrame leaves).
    {"RecognizeExit", RecognizeExit, Sees::kListed, {kAnyMnemonic}},
    // A jump no structure took: goto.
    {"RecognizeGoto", RecognizeGoto, Sees::kListed, {"jmp", "cmp", "test", "or"}},
    {"RecognizeGoto", RecognizeGoto, Sees::kListed, {"mov", "jz", "jnz", "je"}},
    {"RecognizeGoto", RecognizeGoto, Sees::kListed, {"jne", "js", "jns", "jl"}},
    {"RecognizeGoto", RecognizeGoto, Sees::kListed, {"jle", "jg", "jge", "jnl"}},
    {"RecognizeGoto", RecognizeGoto, Sees::kListed, {"jnle", "jng", "jnge", "ja"}},
    {"RecognizeGoto", RecognizeGoto, Sees::kListed, {"jbe", "jb", "jnb", "jae"}},
    {"RecognizeGoto", RecognizeGoto, Sees::kListed, {"jnbe", "jna", "jnae", "bt"}},
    // Statements of today's compilers (extended/statements.h, calls.h),
    // before the default reading's statements, which some of them take
    // further and some would print inexactly.
    {"RecognizeSet", RecognizeSet, Sees::kListed, {"cmp", "test"}},
    {"RecognizeConditionalMove", RecognizeConditionalMove, Sees::kListed, {"cmp", "test"}},
    {"RecognizeSetAfter", RecognizeSetAfter, Sees::kListed, {"sete", "setne", "sets", "setns"}},
    {"RecognizeSetAfter", RecognizeSetAfter, Sees::kListed, {"setl", "setle", "setg", "setge"}},
    {"RecognizeSetAfter", RecognizeSetAfter, Sees::kListed, {"seta", "setbe", "setz", "setnz"}},
    {"RecognizeSetAfter", RecognizeSetAfter, Sees::kListed, {"cmove", "cmovne", "cmovz", "cmovnz"}},
    {"RecognizeSetAfter", RecognizeSetAfter, Sees::kListed, {"cmovl", "cmovle", "cmovg", "cmovge"}},
    {"RecognizeSetAfter", RecognizeSetAfter, Sees::kListed, {"cmova", "cmovae", "cmovb", "cmovbe"}},
    {"RecognizeSetAfter", RecognizeSetAfter, Sees::kListed, {"cmovs", "cmovns", "setb", "setae"}},
    {"RecognizeCarry", RecognizeCarry, Sees::kListed, {"add", "sub"}},
    {"RecognizeBorrowMask", RecognizeBorrowMask, Sees::kListed, {"cmp"}},
    {"RecognizePcThunk", RecognizePcThunk, Sees::kListed, {"call"}},
    {"RecognizeCallStatement", RecognizeCallStatement, Sees::kListed, {"call", "push", "sub"}},
    {"RecognizeCallStatement", RecognizeCallStatement, Sees::kListed, {"mov", "lea"}},
    {"RecognizeDeadPop", RecognizeDeadPop, Sees::kListed, {"pop"}},
    {"RecognizeDivide", RecognizeDivide, Sees::kListed, {"cdq", "xor", "mov"}},
    {"RecognizeWide", RecognizeWide, Sees::kListed, {"imul", "mul", "idiv", "div"}},
    {"RecognizeLea", RecognizeLea, Sees::kListed, {"lea"}},
    {"RecognizeShift", RecognizeShift, Sees::kListed, {"shl", "sal", "shr", "sar"}},
    {"RecognizeRotate", RecognizeRotate, Sees::kListed, {"rol", "ror"}},
    {"RecognizeNeg", RecognizeNeg, Sees::kListed, {"neg"}},
    {"RecognizeExtend", RecognizeExtend, Sees::kListed, {"movzx", "movsx"}},
    // End of the statements of today's compilers.
    {"DoCall", DoCall, Sees::kListed, {"call"}},
    {"DoRet", DoRetEndingFinally, Sees::kNamed, {"ret"}},
    {"DoMov", DoMov, Sees::kNamed, {"mov"}},
    {"DoXor", DoXor, Sees::kNamed, {"xor"}},
    {"DoImul", DoImul, Sees::kNamed, {"imul"}},
    {"DoSub", DoSub, Sees::kNamed, {"sub"}},
    {"DoAdd", DoAdd, Sees::kNamed, {"add"}},
    {"DoInc", DoInc, Sees::kNamed, {"inc"}},
    {"DoDec", DoDec, Sees::kNamed, {"dec"}},
    {"DoOr", DoOr, Sees::kNamed, {"or"}},
    {"DoAnd", DoAnd, Sees::kNamed, {"and"}},
    {"DoNot", DoNot, Sees::kNamed, {"not"}},
    {"DoLea", DoLea, Sees::kNamed, {"lea"}},
};

constexpr Pass kExtendedPasses[] = {TidyJumps, LoadsBeforeCompares, NameRegistersInside,
                                    KeepRegistersWhole};

}  // namespace

const Reading& ExtendedReading() {
  static const Reading reading("extended", kExtendedTable, kExtendedPasses, TakeOutFrame,
                               ReadingTraits{Layout::kByShape, true, true, true});
  return reading;
}

}  // namespace asm2pas
