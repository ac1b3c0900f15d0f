// A conversion fed in blocks gives what it gives fed whole, wherever the
// blocks split (a CR LF, a code 26, an error line), and runs in one process
// share nothing.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "driver/conversion.h"
#include "listing_builder.h"
#include "output/sink.h"
#include "run.h"

namespace asm2pas {
namespace {

using testing::Outcome;

std::string Line(const std::string& address, const std::string& instruction) {
  std::string line = testing::RawLine(address, instruction);
  return line.substr(0, line.size() - 2);  // the tests choose the line ends
}

Outcome Whole(std::string_view bytes) { return testing::Convert(bytes); }

// Feeds the blocks in turn, stopping like the tool once the reader has
// ended the run.
Outcome InBlocks(const std::vector<std::string_view>& blocks) {
  Outcome run;
  StringSink sink;
  {
    Conversion conversion("t.lst", sink);
    for (std::string_view block : blocks) {
      if (!conversion.Feed(block)) break;
    }
    run.Result = conversion.Finish();
  }
  run.Out = sink.Text();
  run.Messages = Messages(run.Result, "t.lst");
  return run;
}

void ExpectSame(const Outcome& expected, const Outcome& actual, const std::string& where) {
  EXPECT_EQ(expected.Out, actual.Out) << where;
  EXPECT_EQ(expected.Result.Status, actual.Result.Status) << where;
  EXPECT_EQ(expected.Messages, actual.Messages) << where;
}

void ExpectSplitsAgree(const std::string& bytes) {
  const Outcome whole = Whole(bytes);
  const std::string_view all(bytes);
  for (size_t k = 0; k <= bytes.size(); ++k) {
    ExpectSame(whole, InBlocks({all.substr(0, k), all.substr(k)}),
               "split at " + std::to_string(k));
  }
  std::vector<std::string_view> single_bytes;
  for (size_t k = 0; k < bytes.size(); ++k) single_bytes.push_back(all.substr(k, 1));
  ExpectSame(whole, InBlocks(single_bytes), "one byte at a time");
}

TEST(Conversion, BlocksSplitAnywhere) {
  // CR LF, a CR alone, CR CR LF, a stray line feed (a warning with its line
  // number), and code 26 followed by text that would stop the run.
  const std::string bytes = "* header\r\n" + Line("00401000", "mov eax, ecx") + "\r" +
                            Line("00401002", "mov edx, ecx") + "\r\r\n" +
                            Line("00401004", "inc eax") + "\n\r\n" +
                            Line("00401005", "dec ecx") + "\x1a" +
                            Line("0040GGGG", "jmp eax") + "\r\n";
  const Outcome whole = Whole(bytes);
  EXPECT_EQ(whole.Result.Status, 0);
  EXPECT_EQ(whole.Out, "begin\r\n   eax:=ecx;\r\n   edx:=ecx;\r\n   inc(eax);\r\n"
                        "   dec(ecx);\r\nend;\r\n");
  ASSERT_EQ(whole.Messages.size(), 1u);
  EXPECT_EQ(whole.Messages[0].rfind("asm2pas: t.lst:5: warning:", 0), 0u)
      << whole.Messages[0];
  ExpectSplitsAgree(bytes);
}

TEST(Conversion, ErrorLineSurvivesSplits) {
  const std::string bytes = Line("00401000", "mov eax, ecx") + "\r\n\r\n" +
                            Line("00401002", "jmp eax") + "\r\n" +
                            Line("00401004", "mov edx, ecx") + "\r\n";
  const Outcome whole = Whole(bytes);
  EXPECT_EQ(whole.Result.Status, 1);
  EXPECT_EQ(whole.Out, "");
  ASSERT_EQ(whole.Messages.size(), 1u);
  EXPECT_EQ(whole.Messages[0].rfind("asm2pas: t.lst:3: ", 0), 0u)
      << whole.Messages[0];
  ExpectSplitsAgree(bytes);
}

TEST(Conversion, RunsShareNothing) {
  // The first routine registers names and a deferred "end;" for 00401028
  // through its try/finally, and ends one level in; the second routine has
  // an instruction at that very address and operands that would get later
  // numbers if the first run's variables were still known.
  const std::vector<std::string> first_lines = {
      Line("00401000", "xor eax, eax"),
      Line("00401002", "push ebp"),
      Line("00401003", "push $00401030"),
      Line("00401008", "push dword ptr fs:[eax]"),
      Line("0040100B", "mov fs:[eax], esp"),
      Line("0040100E", "mov [ebp-$08], ecx"),
      Line("00401010", "xor eax, eax"),
      Line("00401012", "pop edx"),
      Line("00401013", "pop ecx"),
      Line("00401014", "pop ecx"),
      Line("00401015", "mov fs:[eax], edx"),
      Line("00401018", "push $00401028"),
      Line("0040101D", "mov edx, [$0040C000]"),
      Line("00401022", "ret"),
      Line("00401023", "jmp 00401040"),
      Line("00401025", "jmp 00401000"),
      Line("00401028", "mov ecx, edx"),
      Line("0040102A", "call GetEntry"),  // "try" inside: ends one level in
  };
  std::string first;
  for (const std::string& line : first_lines) first += line + "\r\n";
  const std::string second = Line("00401026", "nop") + "\r\n" +
                             Line("00401028", "mov [ebp-$04], [$0040C004]") + "\r\n";
  const std::string second_alone =
      "begin\r\n   //nop , , \r\n   Local_0000:=Global_0000;\r\nend;\r\n";

  const Outcome a1 = Whole(first);
  EXPECT_NE(a1.Out.find("end;\r\n   ecx:=edx;"), std::string::npos) << a1.Out;
  ExpectSame(Outcome{second_alone, {}, {}, {}}, Whole(second), "second after first");
  ExpectSame(a1, Whole(first), "first again");
}

}  // namespace
}  // namespace asm2pas
