#include "recognizers/table.h"

#include <bit>
#include <iterator>

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
    {"DoTry", DoTry, false, mbXor},
    {"DoFinally", DoFinally, false, mbXor},
    {"RecognizeFor", RecognizeFor, false, mbMov},
    {"RecognizeWhile", RecognizeWhile, false, mbJmp},
    // A condition starts with a cmp, an or/test against zero, or a load.
    {"RecognizeIf", RecognizeIf, false, mbCmp | mbOr | mbTest | mbMov},
    {"DoCall", DoCall, false, mbCall},
    {"DoRet", DoRet, true, mbRet},
    {"DoMov", DoMov, true, mbMov},
    {"DoXor", DoXor, true, mbXor},
    {"DoImul", DoImul, true, mbImul},
    {"DoIdiv", DoIdiv, true, mbIdiv},
    {"DoSub", DoSub, true, mbSub},
    {"DoAdd", DoAdd, true, mbAdd},
    {"DoInc", DoInc, true, mbInc},
    {"DoDec", DoDec, true, mbDec},
    {"DoOr", DoOr, true, mbOr},
    {"DoAnd", DoAnd, true, mbAnd},
    {"DoNot", DoNot, true, mbNot},
    {"DoLea", DoLea, true, mbLea},
};

}  // namespace

std::span<const RecognizerEntry> Recognizers() { return kRecognizers; }

namespace {
constexpr size_t kRecognizerCount = std::size(kRecognizers);
constexpr int kMnemonicBits = 18;  // mbOther .. mbLea

// For every mnemonic bit, the recognisers that can claim at it, in table
// order: the translation offers an instruction to these only.
struct ByMnemonic {
  const RecognizerEntry* Entries[kMnemonicBits][kRecognizerCount] = {};
  size_t Count[kMnemonicBits] = {};
};

constexpr ByMnemonic kByMnemonic = [] {
  ByMnemonic t;
  for (int bit = 0; bit < kMnemonicBits; ++bit) {
    for (const RecognizerEntry& r : kRecognizers) {
      if (r.Mnemonics & (1u << bit)) t.Entries[bit][t.Count[bit]++] = &r;
    }
  }
  return t;
}();

constexpr const RecognizerEntry* kFirstSubstituted = [] {
  for (const RecognizerEntry& r : kRecognizers) {
    if (r.Substituted) return &r;
  }
  return std::end(kRecognizers);
}();
// The translation replaces the operands of every instruction none claims.
static_assert(kFirstSubstituted != std::end(kRecognizers), "some recogniser sees names");
static_assert(mbLea == 1u << (kMnemonicBits - 1), "one list per mnemonic bit");
}  // namespace

std::span<const RecognizerEntry* const> RecognizersFor(uint32_t mnemonic_bit) {
  const int bit = std::countr_zero(mnemonic_bit);
  if (bit >= kMnemonicBits) return {};
  return {kByMnemonic.Entries[bit], kByMnemonic.Count[bit]};
}

bool SeesSubstituted(const RecognizerEntry* r) { return r >= kFirstSubstituted; }

uint32_t MnemonicBitOf(std::string_view m) {
  switch (m.size()) {
    case 2:
      if (m == "or") return mbOr;
      break;
    case 3:
      if (m == "mov") return mbMov;
      if (m == "xor") return mbXor;
      if (m == "jmp") return mbJmp;
      if (m == "cmp") return mbCmp;
      if (m == "ret") return mbRet;
      if (m == "sub") return mbSub;
      if (m == "add") return mbAdd;
      if (m == "inc") return mbInc;
      if (m == "dec") return mbDec;
      if (m == "and") return mbAnd;
      if (m == "not") return mbNot;
      if (m == "lea") return mbLea;
      break;
    case 4:
      if (m == "test") return mbTest;
      if (m == "call") return mbCall;
      if (m == "imul") return mbImul;
      if (m == "idiv") return mbIdiv;
      break;
  }
  return mbOther;
}

}  // namespace asm2pas
