// Which operands are variables, how they are keyed and numbered.
#include <gtest/gtest.h>

#include "naming/vars.h"

#include <string>
#include <string_view>
#include <vector>

namespace asm2pas {
namespace {

TEST(Vars, KindsAndKeys) {
  EXPECT_EQ(OperandKind("dword ptr [ebp-$04]"), okLocal);
  EXPECT_EQ(OperandKind("esi"), okLocal);
  EXPECT_EQ(OperandKind("bl"), okLocal);
  EXPECT_EQ(OperandKind("[ebp+$08]"), okGlobal);
  EXPECT_EQ(OperandKind("[$0040C2DC+eax*4]"), okGlobal);
  for (const char* none : {"eax", "[eax+$04]", "$10", "[ebx]", "di", "bh", "EDI", "[edi]", ""}) {
    EXPECT_EQ(OperandKind(none), okNone) << none;
  }
  // The marks anywhere in the text, at its very end too; "ebp-" wins over
  // the others wherever it stands.
  EXPECT_EQ(OperandKind("x ebp-"), okLocal);
  EXPECT_EQ(OperandKind("[$1] ebp+ ebp-"), okLocal);
  EXPECT_EQ(OperandKind("x[$"), okGlobal);
  EXPECT_EQ(OperandKind("eebp+"), okGlobal);
  for (const char* none : {"ebp", "eb", "x[", "$[", "ebp*", "e bp-", "ebp_", "ebx "}) {
    EXPECT_EQ(OperandKind(none), okNone) << none;
  }
  EXPECT_EQ(StripPtr("dword ptr [ebp-$04]"), "[ebp-$04]");
  EXPECT_EQ(StripPtr("byte ptr fs:[eax]"), "fs:[eax]");
  EXPECT_EQ(StripPtr("  [ebp-$04] "), "[ebp-$04]");
  EXPECT_EQ(OperandSize("tbyte ptr [x]"), 10);
  EXPECT_EQ(OperandSize("qword ptr [x]"), 8);
  EXPECT_EQ(OperandSize("dword ptr [x]"), 4);
  EXPECT_EQ(OperandSize("word ptr [x]"), 2);
  EXPECT_EQ(OperandSize("byte ptr [x]"), 1);
  EXPECT_EQ(OperandSize("[x]"), 4);
}

TEST(Vars, RegistrationTable) {
  VarTable vars;
  for (const char* op : {"dword ptr [ebp-$04]", "[ebp-$04]", "[ebp+$08]", "dword ptr [$0040C2DC]",
                         "ebx", "bl", "eax", "[eax+$04]", "$10", "[ebx]", "di", "",
                         "byte ptr [ebp-$04]", " [ebp+$08] "}) {
    AddVar(vars, op);
  }
  ASSERT_EQ(vars.VarCount(), 5);
  EXPECT_EQ(VarName(vars, "byte ptr [ebp-$04]"), "Local_0000");
  EXPECT_EQ(vars.Vars[0].Size, 4);  // from the first occurrence
  EXPECT_EQ(VarName(vars, "[ebp+$08]"), "Global_0000");
  EXPECT_EQ(VarName(vars, "dword ptr [$0040C2DC]"), "Global_0001");
  EXPECT_EQ(VarName(vars, "ebx"), "Local_0001");
  EXPECT_EQ(VarName(vars, "bl"), "Local_0002");
  EXPECT_EQ(VarName(vars, " byte ptr [eax+$04] "), "byte ptr [eax+$04]");
  EXPECT_EQ(VarName(vars, ""), "");
  EXPECT_EQ(VarName(vars, "Local_0001"), "Local_0001");
}

TEST(Vars, NumberingIsUpperCaseHexAndCapped) {
  VarTable vars;
  for (int k = 0; k < 11; ++k) AddVar(vars, "[$" + std::to_string(1000 + k) + "]");
  EXPECT_EQ(VarName(vars, "[$1009]"), "Global_0009");
  EXPECT_EQ(VarName(vars, "[$1010]"), "Global_000A");
  VarTable full;
  for (int k = 0; k < kVarsCapacity + 5; ++k) AddVar(full, "[ebp-" + std::to_string(k) + "]");
  EXPECT_EQ(full.VarCount(), kVarsCapacity);
  EXPECT_EQ(VarName(full, "[ebp-1999]"), "Local_07CF");
  EXPECT_EQ(VarName(full, "[ebp-2000]"), "[ebp-2000]");
  EXPECT_EQ(full.Refused.size(), 5u);
}

// The reading's hint for an operand, used by the translation, gives the
// name a lookup in the finished table gives, whatever came after it: also
// when a variable's key is an operand of no variable kind ("eax" through
// "[ebp-$04] ptr eax", "edx" through "x ebp- ptr edx", registered only
// after "edx" itself was read), and when the table is full.
TEST(Vars, HintsAnswerAsTheFinishedTable) {
  const std::vector<std::vector<std::string>> listings = {
      {"eax", "dword ptr [ebp-$04]", "[ebp-$04]", "ebx", "$10", "[eax+$04]", "dword ptr eax",
       " esi ", "", "  ", "Local_0000"},
      {"eax", "edx", "x ptr ebx", "[ebp-$04] ptr eax", "eax", "x ebp- ptr edx", "edx",
       "dword ptr edx", "[$1] ptr ", "  ", "Local_0002", "[ebp+8] ptr Local_0002"},
  };
  for (const auto& operands : listings) {
    VarTable vars;
    std::vector<int16_t> hints;
    for (const std::string& op : operands) hints.push_back(AddVar(vars, op));
    for (size_t i = 0; i < operands.size(); ++i) {
      std::string_view by_hint = operands[i], by_lookup = operands[i];
      SubstituteName(vars, by_hint, hints[i]);
      SubstituteName(vars, by_lookup);
      EXPECT_EQ(by_hint, by_lookup) << operands[i];
    }
  }
  EXPECT_EQ(VarTable().OddNames, false);

  VarTable full;
  for (int k = 0; k < kVarsCapacity; ++k) AddVar(full, "[ebp-" + std::to_string(k) + "]");
  std::string_view refused = " [ebp-9999] ";
  std::string_view known = "[ebp-7]";
  SubstituteName(full, refused, AddVar(full, refused));
  SubstituteName(full, known, AddVar(full, known));
  EXPECT_EQ(refused, "[ebp-9999]");
  EXPECT_EQ(known, "Local_0007");
}

}  // namespace
}  // namespace asm2pas
