// Hostile listings run in-process through the whole conversion: random
// bytes, control characters, short and huge lines, every capacity limit
// and one past it, the deepest nesting 10000 instructions allow, repeated
// and falling addresses, wild jumps, and exception-frame sequences cut off
// by the end. Every run must end and keep the output rules; many also have
// an exact expectation. The seeds are fixed, so a failure repeats.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver/conversion.h"
#include "generators.h"
#include "output/sink.h"
#include "output_rules.h"
#include "run.h"

namespace asm2pas {
namespace {

using testing::Hex8;
using testing::Line;
using testing::Listing;
using testing::Outcome;
using testing::Rng;

const std::string kFile = "hostile.lst";

// Converts `input`, checks the output rules (and, with `twice`, that a
// second run in the same process gives the very same result), and splits
// the output into lines.
Outcome Convert(const std::string& input, long instructions, const std::string& what,
                bool twice = false) {
  Outcome o = testing::Convert(input, kFile);
  if (instructions < 0) instructions = testing::MaxInstructions(input);
  EXPECT_EQ(testing::CheckRun(input, kFile, o.Out, o.Result, instructions), "") << what;
  // The extended reading keeps the same rules.
  Outcome extended = testing::Convert(input, kFile, ExtendedReading());
  EXPECT_EQ(testing::CheckRun(input, kFile, extended.Out, extended.Result, instructions), "")
      << what << " (extended)";
  if (twice) {
    Outcome again = testing::Convert(input, kFile);
    EXPECT_EQ(again.Out, o.Out) << what << ": a second run differs";
    EXPECT_EQ(again.Result.Status, o.Result.Status) << what;
    EXPECT_EQ(again.Messages, o.Messages) << what;
  }
  return o;
}

std::string Trimmed(const std::string& line) {
  size_t first = line.find_first_not_of(' ');
  return first == std::string::npos ? "" : line.substr(first);
}

long CountTrimmed(const Outcome& o, const std::string& text) {
  return std::count_if(o.Lines.begin(), o.Lines.end(),
                       [&](const std::string& l) { return Trimmed(l) == text; });
}

size_t DeepestIndent(const Outcome& o) {
  size_t deepest = 0;
  for (const std::string& l : o.Lines) deepest = std::max(deepest, l.find_first_not_of(' '));
  return deepest;
}

TEST(Hostile, RandomBytes) {
  Rng rng(20240601);
  for (int n = 0; n < 400; ++n) {
    std::string input = testing::RandomBytes(rng, rng.Below(3000));
    Convert(input, -1, "random bytes #" + std::to_string(n), n % 4 == 0);
  }
}

// The tool reads a file in blocks: fed in pieces of any size, a listing
// gives what it gives in one piece, even when a CR LF pair, a line or a
// code 26 straddles two pieces.
TEST(Hostile, FeedingInPiecesChangesNothing) {
  Rng rng(1234);
  for (int n = 0; n < 300; ++n) {
    std::string input = n % 2 == 0 ? testing::RandomBytes(rng, rng.Below(2000))
                                   : testing::RandomProgram(rng, 1 + rng.Below(40), false).Text;
    StringSink whole;
    ConversionResult expected = ConvertListing(input, kFile, whole);

    StringSink pieces;
    Conversion conversion(kFile, pieces);
    size_t at = 0;
    // Ends: every piece is at least one byte long.
    while (at < input.size()) {
      size_t length = 1 + rng.Below(n % 3 == 0 ? 3 : 64);
      if (!conversion.Feed(std::string_view(input).substr(at, length))) break;
      at += length;
    }
    ConversionResult got = conversion.Finish();
    EXPECT_EQ(pieces.Text(), whole.Text()) << "input #" << n;
    EXPECT_EQ(got.Status, expected.Status) << "input #" << n;
    EXPECT_EQ(Messages(got, kFile), Messages(expected, kFile)) << "input #" << n;
  }
}

TEST(Hostile, ControlCharactersAndCode26InOddPlaces) {
  Rng rng(7);
  static const char kOdd[] = {0, 1, 8, 9, 10, 11, 12, 13, 26, 27, 127, '\xff'};
  for (int n = 0; n < 300; ++n) {
    Listing base = testing::RandomProgram(rng, 1 + static_cast<int>(rng.Below(40)), false);
    std::string input = base.Text;
    int inserts = 1 + static_cast<int>(rng.Below(5));
    for (int k = 0; k < inserts; ++k) {
      input.insert(input.begin() + rng.Below(static_cast<uint32_t>(input.size() + 1)),
                   kOdd[rng.Below(sizeof kOdd)]);
    }
    Convert(input, base.Instructions + inserts, "control characters #" + std::to_string(n),
            n % 4 == 0);
  }

  // Code 26 ends the input in the middle of a line; the part before it is
  // the last line.
  std::string cut = Line(0x00401000, "nop") + "00401001" + std::string(26, ' ') +
                    "inc e\x1a" + "not hexadecimal at all\r\n" + Line(0x00401002, "nop");
  Outcome o = Convert(cut, 2, "code 26 inside a line");
  EXPECT_EQ(o.Result.Status, 0);
  EXPECT_EQ(o.Out, "begin\r\n   //nop , , \r\n   inc(e);\r\nend;\r\n");
}

TEST(Hostile, LinesOf34CharactersOrFewer) {
  Rng rng(34);
  for (int n = 0; n < 100; ++n) {
    std::string input;
    std::string expected = "begin\r\n";
    int count = static_cast<int>(rng.Below(30));
    uint32_t address = rng.Below(0x7FFFFFFFu);
    for (int k = 0; k < count; ++k) {
      // A rising address and up to 26 characters of anything but line
      // ends: columns the reader never looks at.
      address += 1 + rng.Below(100);
      std::string line = Hex8(address);
      size_t extra = rng.Below(27);
      for (size_t c = 0; c < extra; ++c) line += static_cast<char>(33 + rng.Below(90));
      input += line + "\r\n";
      expected += "   // , , \r\n";
    }
    expected += "end;\r\n";
    Outcome o = Convert(input, count, "short lines #" + std::to_string(n));
    EXPECT_EQ(o.Result.Status, 0);
    EXPECT_EQ(o.Out, expected) << "short lines #" << n;
  }
}

TEST(Hostile, HugeLines) {
  const std::string big(4 << 20, 'X');
  Outcome o = Convert(Line(0x00401000, "mov eax, " + big) + Line(0x00401004, "ret"), 2,
                      "a 4 MB operand");
  EXPECT_EQ(o.Result.Status, 0);
  ASSERT_EQ(o.Lines.size(), 3u);
  EXPECT_TRUE(o.Lines[1] == "   eax:=" + big + ";") << "the whole operand";

  o = Convert(std::string(1 << 20, ' ') + "\r\n" + Line(0x00401000, "nop"), 2,
              "a line of a million blanks");
  EXPECT_EQ(o.Out, "begin\r\n   //nop , , \r\nend;\r\n");

  std::string commas;
  for (int k = 0; k < 100000; ++k) commas += "a,";
  o = Convert(Line(0x00401000, "x " + commas), 1, "100000 operands");
  ASSERT_EQ(o.Lines.size(), 3u);
  EXPECT_TRUE(o.Lines[1] == "   //x a, a, " + commas.substr(4)) << "the operands after the second comma";

  o = Convert(Line(0x00401000, big + " eax") + Line(0x00401001, "j" + big), 2,
              "a 4 MB mnemonic and jump");
  EXPECT_EQ(o.Result.Status, 1);
  EXPECT_EQ(o.Out, "");
  ASSERT_EQ(o.Messages.size(), 1u);
  EXPECT_LT(o.Messages[0].size(), 200u) << "a diagnostic quotes a cut text";
}

TEST(Hostile, InstructionLimit) {
  // 10000 instructions: ret, jmp, jmp triples print nothing.
  Listing full;
  uint32_t a = 0x00401000;
  for (int k = 0; k < 3333; ++k) {
    full.Add(a, "ret");
    full.Add(a + 1, "jmp " + Hex8(a + 8));
    full.Add(a + 3, "jmp " + Hex8(a + 8));
    a += 8;
  }
  full.Add(a, "nop");
  ASSERT_EQ(full.Instructions, 10000);
  Outcome o = Convert(full.Text, full.Instructions, "10000 instructions");
  EXPECT_EQ(o.Result.Status, 0);
  EXPECT_TRUE(o.Messages.empty());
  EXPECT_EQ(o.Out, "begin\r\n   //nop , , \r\nend;\r\n");

  o = Convert(full.Text + Line(a + 1, "nop"), full.Instructions + 1, "10001 instructions");
  EXPECT_EQ(o.Result.Status, 1);
  EXPECT_EQ(o.Out, "");
  EXPECT_EQ(o.Messages,
            std::vector<std::string>{"asm2pas: hostile.lst:10001: more than 10000 instruction lines"});
}

TEST(Hostile, FullTableWithPatternsRunningOffTheEnd) {
  // The last entries of a full table start patterns that would read past
  // it; each is left unclaimed and prints one line of its own.
  const std::vector<std::vector<std::string>> tails = {
      {"cmp eax, $01"},
      {"mov eax, ebx", "add eax, $01"},
      {"mov eax, ebx", "cmp eax, $01"},
      {"test eax, eax"},
      {"call 00402000"},
      {"ret", "jmp 00300000"},
      {"mov ecx, $10", "sub ecx, $01"},
      {"xor eax, eax", "push ebp", "push $00402000", "push dword ptr fs:[eax]"},
      {"xor eax, eax", "pop edx", "pop ecx", "pop ecx", "mov fs:[eax], edx"},
  };
  for (const std::vector<std::string>& tail : tails) {
    Listing listing;
    uint32_t a = 0x00401000;
    for (int k = 0; k < 3300; ++k, a += 8) {
      listing.Add(a, "ret");
      listing.Add(a + 1, "jmp 00300000");
      listing.Add(a + 3, "jmp 00300000");
    }
    const int nops = 100 - static_cast<int>(tail.size());
    for (int k = 0; k < nops; ++k) listing.Add(a++, "nop");
    for (const std::string& instruction : tail) listing.Add(a++, instruction);
    ASSERT_EQ(listing.Instructions, 10000);
    Outcome o = Convert(listing.Text, listing.Instructions, "full table ending " + tail[0]);
    EXPECT_EQ(o.Result.Status, 0) << tail[0];
    EXPECT_EQ(o.Lines.size(), 2u + 100u) << tail[0];
  }
}

TEST(Hostile, OutputLineLimit) {
  Listing listing;
  for (uint32_t k = 0; k < 9998; ++k) listing.Add(0x00401000 + k, "nop");
  Outcome o = Convert(listing.Text, listing.Instructions, "10000 output lines");
  EXPECT_EQ(o.Result.Status, 0);
  EXPECT_TRUE(o.Messages.empty());
  EXPECT_EQ(o.Lines.size(), 10000u);
  EXPECT_EQ(o.Lines.back(), "end;");

  listing.Add(0x00401000 + 9998, "nop");
  o = Convert(listing.Text, listing.Instructions, "10001 output lines");
  EXPECT_EQ(o.Result.Status, 1);
  EXPECT_EQ(o.Lines.size(), 10000u);
  EXPECT_EQ(o.Lines.back(), "   //nop , , ");
  EXPECT_EQ(o.Messages,
            std::vector<std::string>{"asm2pas: hostile.lst: output cut at 10000 lines; 1 further lines dropped"});
}

TEST(Hostile, VariableLimit) {
  // Two new variables per instruction: a local and a global.
  Listing listing;
  for (uint32_t k = 0; k < 1000; ++k) {
    listing.Add(0x00401000 + 4 * k,
                "mov dword ptr [ebp-$" + Hex8(k) + "], [$" + Hex8(0x00500000 + k) + "]");
  }
  Outcome o = Convert(listing.Text, listing.Instructions, "2000 variables");
  EXPECT_EQ(o.Result.Status, 0);
  EXPECT_TRUE(o.Messages.empty());
  EXPECT_EQ(o.Lines[1000], "   Local_03E7:=Global_03E7;");

  listing.Add(0x00410000, "mov [ebp+$08], eax");
  o = Convert(listing.Text, listing.Instructions, "2001 variables");
  EXPECT_EQ(o.Result.Status, 0);
  EXPECT_EQ(o.Lines[1001], "   [ebp+$08]:=eax;");  // not named: printed as written
  EXPECT_EQ(o.Messages,
            std::vector<std::string>{"asm2pas: hostile.lst: warning: more than 2000 variables; "
                                     "1 further operands keep their own text"});
}

TEST(Hostile, DeferredTextLimit) {
  // Each tear-down defers its end; to an address of its own, reached never.
  auto teardowns = [](int count) {
    Listing listing;
    uint32_t a = 0x00401000;
    for (int k = 0; k < count; ++k) {
      listing.Add(a, "xor eax, eax");
      listing.Add(a + 2, "pop edx");
      listing.Add(a + 3, "pop ecx");
      listing.Add(a + 4, "pop ecx");
      listing.Add(a + 5, "mov fs:[eax], edx");
      listing.Add(a + 8, "push $" + Hex8(0x10000000u + static_cast<uint32_t>(k)));
      a += 13;
    }
    return listing;
  };
  Listing full = teardowns(1000);
  Outcome o = Convert(full.Text, full.Instructions, "1000 deferred texts");
  EXPECT_EQ(o.Result.Status, 0);
  EXPECT_TRUE(o.Messages.empty());
  EXPECT_EQ(CountTrimmed(o, "finally"), 1000);

  Listing over = teardowns(1001);
  o = Convert(over.Text, over.Instructions, "1001 deferred texts");
  EXPECT_EQ(o.Result.Status, 1);
  EXPECT_EQ(CountTrimmed(o, "finally"), 1001);  // still claimed
  EXPECT_EQ(o.Lines.back(), "end;");
  EXPECT_EQ(o.Messages,
            std::vector<std::string>{
                "asm2pas: hostile.lst: more than 1000 deferred texts; 1 further \"end;\" dropped"});
}

// The deepest nesting of each structure that 10000 instructions allow while
// the output stays within 10000 lines.

// Addresses of n nested structures laid out as heads, one innermost
// instruction, then the tails inside out (tail[n - 1] first), 8 apart.
struct NestedLayout {
  std::vector<uint32_t> Head, Tail;
  uint32_t Innermost = 0, Last = 0;

  explicit NestedLayout(int n) : Head(n), Tail(n) {
    uint32_t a = 0x00401000;
    for (int k = 0; k < n; ++k, a += 8) Head[k] = a;
    Innermost = a;
    a += 8;
    for (int k = n - 1; k >= 0; --k, a += 8) Tail[k] = a;
    Last = a;
  }
};

TEST(DeepNesting, If) {
  // cmp; jnz END; nop, n times, then END: each if holds the next.
  const int n = 3332;
  Listing listing;
  const uint32_t end = 0x00401000 + 16 * n;
  for (int k = 0; k < n; ++k) {
    uint32_t a = 0x00401000 + 16 * static_cast<uint32_t>(k);
    listing.Add(a, "cmp eax, $01");
    listing.Add(a + 3, "jnz " + Hex8(end));
    listing.Add(a + 5, "nop");
  }
  listing.Add(end, "nop");
  Outcome o = Convert(listing.Text, listing.Instructions, "nested ifs");
  EXPECT_EQ(o.Result.Status, 0);
  EXPECT_EQ(CountTrimmed(o, "end; { if }"), n);
  EXPECT_EQ(DeepestIndent(o), 3u * (n + 1));
}

TEST(DeepNesting, IfElse) {
  // cmp; jnz ELSE; nop; <inner>; jmp OUT; ELSE: nop. OUT is the next
  // level out's jmp, or the last instruction.
  const int n = 1999;
  Listing listing;
  const NestedLayout at(n);
  const std::vector<uint32_t>& head = at.Head;
  const std::vector<uint32_t>& jmp_at = at.Tail;  // the else part 4 further
  std::vector<uint32_t> else_at(n);
  for (int k = 0; k < n; ++k) else_at[k] = jmp_at[k] + 4;
  const uint32_t innermost = at.Innermost, last = at.Last;
  for (int k = 0; k < n; ++k) {
    listing.Add(head[k], "cmp eax, $02");
    listing.Add(head[k] + 3, "jnz " + Hex8(else_at[k]));
    listing.Add(head[k] + 5, "nop");
  }
  listing.Add(innermost, "nop");
  for (int k = n - 1; k >= 0; --k) {
    listing.Add(jmp_at[k], "jmp " + Hex8(k == 0 ? last : jmp_at[k - 1]));
    listing.Add(else_at[k], "nop");
  }
  listing.Add(last, "nop");
  Outcome o = Convert(listing.Text, listing.Instructions, "nested if/else");
  EXPECT_EQ(o.Result.Status, 0);
  EXPECT_EQ(CountTrimmed(o, "end else begin"), n);
  EXPECT_EQ(CountTrimmed(o, "end; { if }"), n);
  EXPECT_EQ(DeepestIndent(o), 3u * (n + 1));
}

TEST(DeepNesting, For) {
  // mov; sub; jl OUT; <inner>; dec; jnz: OUT is the next level out's dec.
  const int n = 1999;
  Listing listing;
  const NestedLayout at(n);
  const std::vector<uint32_t>& head = at.Head;
  const std::vector<uint32_t>& dec_at = at.Tail;
  const uint32_t innermost = at.Innermost, last = at.Last;
  for (int k = 0; k < n; ++k) {
    listing.Add(head[k], "mov ecx, $10");
    listing.Add(head[k] + 2, "sub ecx, $01");
    listing.Add(head[k] + 5, "jl " + Hex8(k == 0 ? last : dec_at[k - 1]));
  }
  listing.Add(innermost, "nop");
  for (int k = n - 1; k >= 0; --k) {
    listing.Add(dec_at[k], "dec ecx");
    listing.Add(dec_at[k] + 2, "jnz " + Hex8(head[k] + 7));
  }
  listing.Add(last, "nop");
  Outcome o = Convert(listing.Text, listing.Instructions, "nested for loops");
  EXPECT_EQ(o.Result.Status, 0);
  EXPECT_EQ(CountTrimmed(o, "end; { for }"), n);
  EXPECT_EQ(DeepestIndent(o), 3u * (n + 1));
}

TEST(DeepNesting, While) {
  // jmp COND; <inner>; COND: cmp; jl BODY.
  const int n = 3332;
  Listing listing;
  const NestedLayout at(n);
  const std::vector<uint32_t>& head = at.Head;
  const std::vector<uint32_t>& cond_at = at.Tail;
  const uint32_t innermost = at.Innermost, last = at.Last;
  for (int k = 0; k < n; ++k) listing.Add(head[k], "jmp " + Hex8(cond_at[k]));
  listing.Add(innermost, "nop");
  for (int k = n - 1; k >= 0; --k) {
    listing.Add(cond_at[k], "cmp eax, $03");
    listing.Add(cond_at[k] + 3, "jl " + Hex8(k + 1 < n ? head[k + 1] : innermost));
  }
  listing.Add(last, "nop");
  Outcome o = Convert(listing.Text, listing.Instructions, "nested while loops");
  EXPECT_EQ(o.Result.Status, 0);
  EXPECT_EQ(CountTrimmed(o, "end; { while }"), n);
  EXPECT_EQ(CountTrimmed(o, "while eax < $03 do begin"), n);
  EXPECT_EQ(DeepestIndent(o), 3u * (n + 1));
}

TEST(DeepNesting, TryFinally) {
  // n set-ups, a nop, then n tear-downs inside out; each defers its end;
  // to where the next one out begins, so that end; comes before the outer
  // finally.
  const int n = 908;
  Listing listing;
  uint32_t a = 0x00401000;
  for (int k = 0; k < n; ++k, a += 16) {
    listing.Add(a, "xor eax, eax");
    listing.Add(a + 2, "push ebp");
    listing.Add(a + 3, "push $00402000");
    listing.Add(a + 8, "push dword ptr fs:[eax]");
    listing.Add(a + 11, "mov fs:[eax], esp");
  }
  listing.Add(a, "nop");
  a += 16;
  for (int k = n - 1; k >= 0; --k, a += 16) {
    listing.Add(a, "xor eax, eax");
    listing.Add(a + 2, "pop edx");
    listing.Add(a + 3, "pop ecx");
    listing.Add(a + 4, "pop ecx");
    listing.Add(a + 5, "mov fs:[eax], edx");
    listing.Add(a + 8, "push $" + Hex8(a + 16));
  }
  listing.Add(a, "nop");
  Outcome o = Convert(listing.Text, listing.Instructions, "nested try/finally");
  EXPECT_EQ(o.Result.Status, 0);
  std::vector<std::string> expected = {"begin"};
  for (int k = 0; k < n; ++k) expected.push_back("try");
  expected.push_back("//nop , , ");
  expected.push_back("finally");
  for (int k = 1; k < n; ++k) {
    expected.push_back("end;");
    expected.push_back("finally");
  }
  expected.push_back("end;");
  expected.push_back("//nop , , ");
  expected.push_back("end;");
  std::vector<std::string> got;
  for (const std::string& l : o.Lines) got.push_back(Trimmed(l));
  EXPECT_EQ(got, expected);
  EXPECT_EQ(DeepestIndent(o), 3u * (n + 1));
  EXPECT_EQ(o.Lines.back(), "end;");  // balanced: the last line at column 1
}

TEST(Hostile, RepeatedAndFallingAddresses) {
  Rng rng(99);
  for (int n = 0; n < 400; ++n) {
    Listing listing = testing::RandomProgram(rng, 1 + static_cast<int>(rng.Below(80)), true);
    Convert(listing.Text, listing.Instructions, "wild addresses #" + std::to_string(n),
            n % 4 == 0);
  }

  // Every entry at one address, jumping to it.
  Listing same;
  for (int k = 0; k < 2000; ++k) {
    static const char* kSeq[] = {"cmp eax, $01", "jz 00401000", "jmp 00401000", "nop"};
    same.Add(0x00401000, kSeq[k % 4]);
  }
  Outcome o = Convert(same.Text, same.Instructions, "one address throughout");
  EXPECT_EQ(o.Result.Status, 0);

  // Addresses falling in table order, a jmp whose target lies earlier in
  // the table, and a loop's conditions before its body.
  Listing falling;
  falling.Add(0x00401020, "jmp 00401030");
  falling.Add(0x00401010, "nop");
  falling.Add(0x00401030, "cmp eax, $05");
  falling.Add(0x00401034, "jl 00401010");
  falling.Add(0x00401000, "inc eax");
  o = Convert(falling.Text, falling.Instructions, "falling addresses");
  EXPECT_EQ(o.Result.Status, 0);
}

TEST(Hostile, JumpsToNowhereBackwardsAndToThemselves) {
  Rng rng(4242);
  // How often each structure was recognised: the generated programs must
  // reach every recogniser, not just fall through to comment lines.
  std::map<std::string, int> seen;
  const char* kWords[] = {"then begin", "end else begin", "for ", "while ", "try", "finally",
                          ":=function", "inc(", "//"};
  for (int n = 0; n < 600; ++n) {
    Listing listing = testing::RandomProgram(rng, 1 + static_cast<int>(rng.Below(120)), false);
    Outcome o = Convert(listing.Text, listing.Instructions, "wild jumps #" + std::to_string(n),
                        n % 4 == 0);
    for (const std::string& l : o.Lines) {
      for (const char* w : kWords) seen[w] += l.find(w) != std::string::npos;
    }
  }
  for (const char* w : kWords) EXPECT_GT(seen[w], 5) << "\"" << w << "\" hardly ever printed";
}

TEST(Hostile, ExceptionFrameSequencesCutOffByTheEnd) {
  const char* setup[] = {"xor eax, eax", "push ebp", "push $00402000",
                         "push dword ptr fs:[eax]", "mov fs:[eax], esp"};
  const char* teardown[] = {"xor eax, eax", "pop edx", "pop ecx", "pop ecx",
                            "mov fs:[eax], edx", "push $00401000"};
  for (int cut = 1; cut <= 5; ++cut) {
    for (int which = 0; which < 2; ++which) {
      const char** seq = which == 0 ? setup : teardown;
      int length = which == 0 ? 5 : 6;
      if (cut >= length) continue;
      Listing listing;
      listing.Add(0x00401000, "nop");
      for (int k = 0; k < cut; ++k) listing.Add(0x00401001 + 3 * k, seq[k]);
      Outcome o = Convert(listing.Text, listing.Instructions,
                          "sequence cut after " + std::to_string(cut));
      EXPECT_EQ(o.Result.Status, 0);
      EXPECT_EQ(CountTrimmed(o, "try") + CountTrimmed(o, "finally"), 0);
      EXPECT_EQ(o.Lines.size(), static_cast<size_t>(cut) + 3);  // one line each
    }
  }

  // A whole tear-down as the last six entries: claimed, and its end; is due
  // at an address that is no step of the loop.
  Listing whole;
  for (int k = 0; k < 6; ++k) whole.Add(0x00401001 + 3 * k, teardown[k]);
  Outcome o = Convert(whole.Text, whole.Instructions, "tear-down at the very end");
  EXPECT_EQ(o.Out, "begin\r\nfinally\r\nend;\r\n");
  EXPECT_EQ(o.Result.Status, 0);
}

// Inputs the fuzzer once found faulty, kept as they were found.
TEST(FuzzRegressions, KeepTheRules) {
  namespace fs = std::filesystem;
  const fs::path dir = ASM2PAS_FUZZ_REGRESSIONS;
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  int count = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    std::ifstream file(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    Convert(bytes.str(), -1, entry.path().filename().string(), true);
    ++count;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace asm2pas
