// The reader's column rules: trimming, skipped lines, the mnemonic column,
// operand splitting, line ends and code 26, the strict conversions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "listing/number.h"
#include "listing_builder.h"

namespace asm2pas {
namespace {

using testing::RawLine;

TEST(Number, StrictConversion) {
  EXPECT_EQ(StrictToInt("$0A"), 10u);
  EXPECT_EQ(StrictToInt("$ffffffff"), 0xFFFFFFFFu);
  EXPECT_EQ(StrictToInt("$0000000012"), 0x12u);  // leading zeros may run on
  EXPECT_EQ(StrictToInt("$100000000"), std::nullopt);
  EXPECT_EQ(StrictToInt("$"), std::nullopt);
  EXPECT_EQ(StrictToInt(""), std::nullopt);
  EXPECT_EQ(StrictToInt("$12 "), std::nullopt);
  EXPECT_EQ(StrictToInt("4198400"), 4198400u);  // decimal without "$"
  EXPECT_EQ(StrictToInt("0040100A"), std::nullopt);
  EXPECT_EQ(StrictToInt("2147483648"), std::nullopt);
  EXPECT_EQ(BareHex("0040100A"), 0x0040100Au);
  EXPECT_EQ(BareHex("$10"), std::nullopt);
  EXPECT_EQ(BareHex("eax"), std::nullopt);
}

TEST(Reader, SkipsCommentsBlankLinesAndReadsColumns) {
  auto run = testing::Read("   * a comment\r\n\t| another\r\n \x01 \r\n" +
                       RawLine("00401000  55", "push ebp") + RawLine("0040100A", "ret"));
  ASSERT_EQ(run->Code.CodeCount(), 2);
  EXPECT_EQ(run->Code.At(1).Address, 0x00401000u);
  EXPECT_EQ(run->Code.At(1).OpCode, "push");
  EXPECT_EQ(run->Code.At(1).Op1, "ebp");
  EXPECT_EQ(run->Code.At(2).OpCode, "ret");
  EXPECT_EQ(run->Code.At(2).Op1, "");
  EXPECT_EQ(run->Code.At(3).OpCode, "");  // past the end reads empty
  EXPECT_EQ(run->Code.At(0).Address, 0u);
}

TEST(Reader, OperandSplitting) {
  auto run = testing::Read(RawLine("00000001", "mov eax , ebx") + RawLine("00000002", "imul a, b, c, d") +
                       RawLine("00000003", "lea eax, [eax+$04]") +
                       RawLine("00000004", "mov\teax, ebx") + RawLine("00000005", "x a,b ,  c"));
  EXPECT_EQ(run->Code.At(1).Op1, "eax ");  // blank before a comma stays
  EXPECT_EQ(run->Code.At(1).Op2, "ebx");
  EXPECT_EQ(run->Code.Op3(2), "c, d");  // a fourth operand stays in Op3
  EXPECT_EQ(run->Code.At(3).Op2, "[eax+$04]");
  EXPECT_EQ(run->Code.At(4).OpCode, "mov\teax,");  // a tab is no separator
  EXPECT_EQ(run->Code.At(4).Op1, "ebx");
  EXPECT_EQ(run->Code.At(5).Op2, "b ");
  EXPECT_EQ(run->Code.Op3(5), "c");
}

TEST(Reader, ShortLinesLineEndsAndCode26) {
  // 34 characters or fewer: an address and nothing else, never a jump.
  auto run = testing::Read("00000010   jmp eax\r" + std::string("\n") + "00000011\r\n\r\n" +
                       RawLine("00000012", "nop") + "\x1A" + RawLine("00000013", "nop"));
  ASSERT_EQ(run->Code.CodeCount(), 3);
  EXPECT_EQ(run->Code.At(1).OpCode, "");
  EXPECT_EQ(run->Code.At(3).OpCode, "nop");
  EXPECT_TRUE(run->Diagnostics.empty());

  auto unix_lines = testing::Read("00000001\n00000002\n");
  EXPECT_EQ(unix_lines->Code.CodeCount(), 1);  // one single line
  ASSERT_EQ(unix_lines->Diagnostics.size(), 1u);
  EXPECT_EQ(unix_lines->Diagnostics[0].Kind, DiagKind::kLoneLineFeed);
}

TEST(Reader, ErrorsCarryTheLine) {
  auto run = testing::Read(RawLine("00000001", "nop") + RawLine("0000000G", "nop"));
  EXPECT_TRUE(run->Failed);
  ASSERT_EQ(run->Diagnostics.size(), 1u);
  EXPECT_EQ(run->Diagnostics[0].Kind, DiagKind::kBadAddress);
  EXPECT_EQ(run->Diagnostics[0].Line, 2);
  for (const char* jump : {"jmp $10", "jz"}) {
    auto bad = testing::Read(RawLine("00000001", jump));
    ASSERT_EQ(bad->Diagnostics.size(), 1u) << jump;
    EXPECT_EQ(bad->Diagnostics[0].Kind, DiagKind::kBadJump) << jump;
  }
}

TEST(Reader, DuplicateAddressesFindTheFirst) {
  auto run = testing::Read(RawLine("00000005", "nop") + RawLine("00000005", "ret"));
  EXPECT_EQ(run->Code.FindAddr(5), 1);
  EXPECT_EQ(run->Code.FindAddr(6), -1);
}

// The address index answers as a scan from entry 1 would: the first entry
// with an address, -1 for any other, through every growth of the index and
// for addresses that crowd into the same slots.
TEST(CodeTableIndex, AnswersAsAScanFromTheStart) {
  CodeTable code;
  std::vector<uint32_t> addresses;
  for (uint32_t k = 0; k < 3000; ++k) addresses.push_back(k << 16);     // same low bits
  for (uint32_t k = 0; k < 3000; ++k) addresses.push_back(k * 3 + 1);   // dense
  for (uint32_t k = 0; k < 2000; ++k) addresses.push_back(k * 7 % 50);  // repeats
  addresses.push_back(0);
  addresses.push_back(0xFFFFFFFFu);
  for (uint32_t a : addresses) {
    TOpCode e;
    e.Address = a;
    code.Append(e);
  }
  auto scan = [&](uint32_t a) {
    for (int i = 1; i <= code.CodeCount(); ++i) {
      if (code.At(i).Address == a) return i;
    }
    return -1;
  };
  for (uint32_t a : addresses) ASSERT_EQ(code.FindAddr(a), scan(a)) << a;
  for (uint32_t a : {0x10002u, 0x12345678u, 0xFFFFFFFEu, 0x7FFFFFFFu}) EXPECT_EQ(code.FindAddr(a), -1);
  EXPECT_EQ(CodeTable().FindAddr(0), -1);

  // Rising addresses, then one that falls back: before and after it every
  // address is found at its first entry, and the gaps are not found.
  CodeTable rising;
  auto append = [&](uint32_t a) {
    TOpCode e;
    e.Address = a;
    rising.Append(e);
  };
  for (uint32_t k = 1; k <= 5000; ++k) append(k * 4);
  EXPECT_EQ(rising.FindAddr(4), 1);
  EXPECT_EQ(rising.FindAddr(20000), 5000);
  EXPECT_EQ(rising.FindAddr(6), -1);
  EXPECT_EQ(rising.FindAddr(0), -1);
  EXPECT_EQ(rising.FindAddr(20004), -1);
  append(8);  // falls back to an address met before
  append(30000);
  EXPECT_EQ(rising.FindAddr(8), 2);
  EXPECT_EQ(rising.FindAddr(30000), 5002);
  EXPECT_EQ(rising.FindAddr(19996), 4999);
  EXPECT_EQ(rising.FindAddr(10), -1);
}

}  // namespace
}  // namespace asm2pas
