// The translation loop offers an instruction only to the recognisers whose
// mnemonic mask holds its mnemonic. That skips nothing only if every
// recogniser declines, by itself, an instruction with any other mnemonic:
// here each one gets a sequence it claims, then the same sequence with the
// first mnemonic replaced.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "driver/run_error.h"
#include "driver/run_state.h"
#include "listing/reader.h"
#include "output/sink.h"
#include "recognizers/table.h"

namespace asm2pas {
namespace {

// "%s" in the first instruction stands for its mnemonic; addresses 1, 2, ...
const std::map<std::string, std::vector<std::string>> kClaimed = {
    {"DoTry", {"%s eax, eax", "push ebp", "push $10", "push dword ptr fs:[eax]",
               "mov fs:[eax], esp", "nop"}},
    {"DoFinally", {"%s eax, eax", "pop edx", "pop ecx", "pop ecx", "mov fs:[eax], edx",
                   "push $00000007", "nop"}},
    {"RecognizeFor", {"%s ecx, $10", "sub ecx, $01", "jl 00000007", "nop", "dec ecx",
                      "jnz 00000004", "nop"}},
    {"RecognizeWhile", {"%s 00000004", "nop", "nop", "cmp eax, $01", "jl 00000002", "nop"}},
    {"RecognizeIf", {"%s eax, $01", "jz 00000004", "nop", "nop"}},
    {"DoCall", {"%s X", "mov [ebp-$04], eax", "nop"}},
    {"DoRet", {"%s", "jmp 00000001", "jmp 00000001", "nop"}},
    {"DoMov", {"%s eax, ebx", "nop"}},
    {"DoXor", {"%s eax, ebx", "nop"}},
    {"DoImul", {"%s eax, ebx", "nop"}},
    {"DoIdiv", {"%s eax, ebx", "nop"}},
    {"DoSub", {"%s eax, ebx", "nop"}},
    {"DoAdd", {"%s eax, ebx", "nop"}},
    {"DoInc", {"%s eax", "nop"}},
    {"DoDec", {"%s eax", "nop"}},
    {"DoOr", {"%s eax, ebx", "nop"}},
    {"DoAnd", {"%s eax, ebx", "nop"}},
    {"DoNot", {"%s eax", "nop"}},
    {"DoLea", {"%s eax, [edx+$04]", "nop"}},
};

const char* const kMnemonics[] = {"mov", "xor", "jmp", "cmp", "or", "test", "call",
                                  "ret", "imul", "idiv", "sub", "add", "inc", "dec",
                                  "and", "not", "lea", "movzx", "MOV", "nop", "push",
                                  "jz", "xchg"};

// Offers the first instruction of the sequence to the recogniser; true if
// it claims it.
bool Claims(const RecognizerEntry& r, const std::vector<std::string>& sequence,
            const std::string& mnemonic) {
  std::string text;
  for (size_t k = 0; k < sequence.size(); ++k) {
    char line[128];
    std::snprintf(line, sizeof line, "%08X", static_cast<unsigned>(k + 1));
    std::string ins = sequence[k];
    if (k == 0) ins.replace(ins.find("%s"), 2, mnemonic);
    text += std::string(line) + std::string(26, ' ') + ins + "\r\n";
  }
  RunState run;
  StringSink out;
  run.Output.Out = &out;
  LoadListing(run, text);
  TLoopState state;
  state.Index = 1;
  state.LastIndex = run.Code.CodeCount();
  state.CurAddr = 1;
  state.ToAddr = run.Code.At(state.LastIndex).Address;
  r.Run(run, state);
  // A recogniser that declines writes nothing (the dropped ret tail writes
  // nothing either way).
  if (r.Name != std::string("DoRet")) {
    EXPECT_EQ(state.Handled, !out.Text().empty()) << r.Name << " with " << mnemonic;
  }
  return state.Handled;
}

TEST(RecognizerTable, OthersMnemonicsAreDeclinedByTheRecognisersThemselves) {
  for (const RecognizerEntry& r : Recognizers()) {
    auto sequence = kClaimed.find(r.Name);
    ASSERT_NE(sequence, kClaimed.end()) << r.Name;
    bool claimed_own = false;
    for (const char* m : kMnemonics) {
      bool claims = false;
      try {
        claims = Claims(r, sequence->second, m);
      } catch (const RunError&) {
        continue;  // a jump mnemonic with operands that are no address
      }
      if ((r.Mnemonics & MnemonicBitOf(m)) == 0) {
        EXPECT_FALSE(claims) << r.Name << " claims at " << m << " outside its mask";
      } else {
        claimed_own = claimed_own || claims;
      }
    }
    EXPECT_TRUE(claimed_own) << r.Name << " claims its own sequence";
  }
}

TEST(RecognizerTable, MnemonicBitsAreExact) {
  EXPECT_EQ(MnemonicBitOf("mov"), mbMov);
  EXPECT_EQ(MnemonicBitOf("or"), mbOr);
  EXPECT_EQ(MnemonicBitOf("idiv"), mbIdiv);
  EXPECT_EQ(MnemonicBitOf("MOV"), mbOther);
  EXPECT_EQ(MnemonicBitOf("movzx"), mbOther);
  EXPECT_EQ(MnemonicBitOf("mo"), mbOther);
  EXPECT_EQ(MnemonicBitOf(""), mbOther);
  EXPECT_EQ(MnemonicBitOf("orpd"), mbOther);
}

// The list offered per mnemonic holds exactly the recognisers whose mask
// has its bit, in table order; the operands are named from DoRet on.
TEST(RecognizerTable, ListsPerMnemonicKeepTheTableOrder) {
  std::span<const RecognizerEntry> all = Recognizers();
  for (int bit = 0; bit < 32; ++bit) {
    std::vector<const RecognizerEntry*> expected;
    for (const RecognizerEntry& r : all) {
      if (r.Mnemonics & (1u << bit)) expected.push_back(&r);
    }
    std::span<const RecognizerEntry* const> got = RecognizersFor(1u << bit);
    EXPECT_EQ(std::vector<const RecognizerEntry*>(got.begin(), got.end()), expected) << bit;
  }
  EXPECT_EQ(RecognizersFor(mbMov).size(), 3u);  // for, if, the assignment
  bool named = false;
  for (const RecognizerEntry& r : all) {
    named = named || r.Name == std::string("DoRet");
    EXPECT_EQ(SeesSubstituted(&r), named) << r.Name;
  }
}

}  // namespace
}  // namespace asm2pas
