#include "recognizers/table.h"

#include "recognizers/if_else.h"
#include "recognizers/loops.h"
#include "recognizers/statements.h"
#include "recognizers/try_finally.h"

namespace asm2pas {

namespace {

// The order decides which recogniser claims an instruction several could
// match: exception frames first, then blocks and the call, then (on the
// substituted operands) the single statements.
constexpr RecognizerEntry kRecognizers[] = {
    {"DoTry", DoTry, false},
    {"DoFinally", DoFinally, false},
    {"RecognizeFor", RecognizeFor, false},
    {"RecognizeWhile", RecognizeWhile, false},
    {"RecognizeIf", RecognizeIf, false},
    {"DoCall", DoCall, false},
    {"DoRet", DoRet, true},
    {"DoMov", DoMov, true},
    {"DoXor", DoXor, true},
    {"DoImul", DoImul, true},
    {"DoIdiv", DoIdiv, true},
    {"DoSub", DoSub, true},
    {"DoAdd", DoAdd, true},
    {"DoInc", DoInc, true},
    {"DoDec", DoDec, true},
    {"DoOr", DoOr, true},
    {"DoAnd", DoAnd, true},
    {"DoNot", DoNot, true},
    {"DoLea", DoLea, true},
};

}  // namespace

std::span<const RecognizerEntry> Recognizers() { return kRecognizers; }

}  // namespace asm2pas
