// A reading offers an instruction only to the recognisers that declared its
// mnemonic, in table order, matching whole mnemonics exactly; and a table
// lists those that read operands as listed before those that see names.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "translate/reading.h"

namespace asm2pas {
namespace {

std::vector<std::string> NamesFor(const Reading& reading, std::string_view mnemonic) {
  std::vector<std::string> names;
  for (const RecognizerEntry* r : reading.For(mnemonic)) names.push_back(r->Name);
  return names;
}

TEST(Reading, ListsPerMnemonicFollowTheDeclarationsInTableOrder) {
  const Reading& reading = DefaultReading();
  for (const RecognizerEntry& entry : reading.Table()) {
    for (std::string_view m : entry.Mnemonics) {
      if (m.empty()) continue;
      std::vector<std::string> expected;
      for (const RecognizerEntry& r : reading.Table()) {
        if (std::find(r.Mnemonics.begin(), r.Mnemonics.end(), m) != r.Mnemonics.end()) {
          expected.push_back(r.Name);
        }
      }
      EXPECT_EQ(NamesFor(reading, m), expected) << m;
    }
  }
  EXPECT_EQ(NamesFor(reading, "mov"),
            (std::vector<std::string>{"RecognizeFor", "RecognizeIf", "DoMov"}));
  for (const char* other : {"MOV", "movzx", "mo", "", "orpd", "nop"}) {
    EXPECT_TRUE(reading.For(other).empty()) << other;
  }
  EXPECT_TRUE(reading.For(std::string_view("mov\0", 4)).empty());
}

TEST(Reading, ListedOperandsComeBeforeNames) {
  bool named = false;
  for (const RecognizerEntry& r : DefaultReading().Table()) {
    EXPECT_FALSE(named && r.Operands == Sees::kListed) << r.Name;
    named = named || r.Operands == Sees::kNamed;
  }
  EXPECT_TRUE(named);
}

}  // namespace
}  // namespace asm2pas
