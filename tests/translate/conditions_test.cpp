// Reading compare-and-jump layouts into conditions, and printing them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "listing_builder.h"
#include "translate/conditions.h"

namespace asm2pas {
namespace {

// Reads "mnemonic operands" lines at addresses 1, 2, 3, ...
std::unique_ptr<testing::ReadListing> Listing(std::initializer_list<std::string_view> instructions) {
  return testing::Read(testing::ListingOf(instructions));
}

TEST(Conditions, RelationTables) {
  EXPECT_EQ(RelationOf("ja"), relGreater);
  EXPECT_EQ(RelationOf("jg"), relGreater);
  EXPECT_EQ(RelationOf("jnae"), relLess);
  EXPECT_EQ(RelationOf("jc"), relNone);
  EXPECT_EQ(RelationOf("jmp"), relNone);
  EXPECT_EQ(RelationOf("JZ"), relNone);
  for (int r = 0; r <= 6; ++r) {
    auto rel = static_cast<TRelation>(r);
    EXPECT_EQ(NegateRelation(NegateRelation(rel)), rel);
  }
  EXPECT_EQ(RelationText(relNone), "");
}

TEST(Conditions, CompareForm) {
  auto run = Listing({"cmp [ebp-$04], $05", "jle 00000010"});
  TIF c;
  ASSERT_TRUE(ParseCondition(run->Code, run->Vars, 1, c));
  EXPECT_EQ(c.Relation, relLessEqual);
  EXPECT_EQ(c.Count, 2);
  EXPECT_EQ(c.Target, 0x10u);
  EXPECT_EQ(ConditionText(c, false), "Local_0000 <= $05");
  EXPECT_EQ(ConditionText(c, true), "Local_0000 > $05");
}

TEST(Conditions, ZeroTests) {
  auto run = Listing({"test eax, eax", "jz 00000010", "or eax, eax", "jnz 00000010",
                          "test eax, edx", "jz 00000010", "or eax, eax", "je 00000010"});
  TIF c;
  ASSERT_TRUE(ParseCondition(run->Code, run->Vars, 1, c));
  EXPECT_EQ(ConditionText(c, false), "eax = false");
  ASSERT_TRUE(ParseCondition(run->Code, run->Vars, 3, c));
  EXPECT_EQ(ConditionText(c, true), "eax <> true");
  EXPECT_FALSE(ParseCondition(run->Code, run->Vars, 5, c));
  EXPECT_FALSE(ParseCondition(run->Code, run->Vars, 7, c));
}

TEST(Conditions, LoadThenCompareAndChains) {
  auto run = Listing({"mov eax, [ebp-$08]", "cmp eax, $05", "jge 00000010",
                          "mov eax, [ebp-$08]", "add eax, $04", "sub eax, edx", "cmp eax, ecx",
                          "jl 00000010", "mov eax, x", "add eax, $04", "cmp ecx, eax", "jl 00000010",
                          "mov eax, x", "add eax, $04", "cmp ecx, edx", "jl 00000010",
                          "mov eax, x", "cmp edx, $01", "jl 00000010"});
  TIF c;
  ASSERT_TRUE(ParseCondition(run->Code, run->Vars, 1, c));
  EXPECT_EQ(ConditionText(c, false), "Local_0000 >= $05");
  EXPECT_EQ(c.Count, 3);
  ASSERT_TRUE(ParseCondition(run->Code, run->Vars, 4, c));
  EXPECT_EQ(ConditionText(c, false), "Local_0000+$04-edx < ecx");
  EXPECT_EQ(c.Count, 5);
  ASSERT_TRUE(ParseCondition(run->Code, run->Vars, 9, c));
  EXPECT_EQ(ConditionText(c, false), "ecx < x+$04");
  EXPECT_FALSE(ParseCondition(run->Code, run->Vars, 13, c));
  EXPECT_FALSE(ParseCondition(run->Code, run->Vars, 17, c));
}

TEST(Conditions, NonJumpInJumpPosition) {
  auto run = Listing({"cmp eax, edx", "setl al", "cmp eax, edx", "push 00000010", "cmp eax, edx"});
  TIF c;
  EXPECT_FALSE(ParseCondition(run->Code, run->Vars, 1, c));  // "al" is no address
  ASSERT_TRUE(ParseCondition(run->Code, run->Vars, 3, c));   // hex text: relNone
  EXPECT_EQ(ConditionText(c, false), "eax  edx");
  EXPECT_FALSE(ParseCondition(run->Code, run->Vars, 5, c));  // end of the table
  EXPECT_FALSE(ParseCondition(run->Code, run->Vars, -1, c));
}

TEST(Conditions, TextRules) {
  TIF c{"x", "y", relLess, 0x20, 2};
  EXPECT_EQ(IfConditionText(c, 0x20, 0, 0), "x < y");
  EXPECT_EQ(IfConditionText(c, 0x10, 0x20, 0), "x >= y");
  EXPECT_EQ(IfConditionText(c, 0x10, 0, 0x20), "x >= y");
  EXPECT_EQ(IfConditionText(c, 0x10, 0x30, 0x40), "");
}

// The joins print c1 op (c2 op (...)) under Pascal's precedence.
TEST(Conditions, JoinsGroupAnOrAfterAnAnd) {
  auto joins = [](std::initializer_list<bool> kinds) {
    std::vector<bool> v(kinds);
    bool enters[8];
    std::copy(v.begin(), v.end(), enters);
    std::string text = "c0";
    int groups = 0;
    for (int i = 0; i + 1 < static_cast<int>(v.size()); ++i) {
      Join j = JoinAfter(enters, i, static_cast<int>(v.size()));
      text += " " + std::string(j.Word) + " " + (j.OpensGroup ? "(" : "") + "c" + std::to_string(i + 1);
      groups += j.OpensGroup;
    }
    return text + std::string(static_cast<size_t>(groups), ')');
  };
  EXPECT_EQ(joins({false, false, true}), "c0 and c1 and c2");
  EXPECT_EQ(joins({true, true, false}), "c0 or c1 or c2");
  EXPECT_EQ(joins({false, true, false}), "c0 and (c1 or c2)");
  EXPECT_EQ(joins({true, false, true}), "c0 or c1 and c2");
  EXPECT_EQ(joins({false, true, false, true, false}), "c0 and (c1 or c2 and (c3 or c4))");
}

}  // namespace
}  // namespace asm2pas
