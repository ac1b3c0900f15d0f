// The indentation rule, its order of tests, the column-14 colon, negative
// levels, the line limit, and the deferred texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>

#include "output/labels.h"
#include "output/writer.h"

namespace asm2pas {
namespace {

struct Writer {
  StringSink sink;
  OutputState out;
  Writer() { out.Out = &sink; }
  void operator()(const std::string& line) { Emit(out, line); }
};

TEST(Writer, BlockWordsMoveTheLevel) {
  Writer w;
  w("begin");
  w("a:=1;");
  w("try");
  w("b;");
  w("finally");
  w("c;");
  w("end;");
  w("end else begin");
  w("end;");
  EXPECT_EQ(w.sink.Text(),
            "begin\r\n   a:=1;\r\n   try\r\n      b;\r\n   finally\r\n      c;\r\n   end;\r\n"
            "end else begin\r\nend;\r\n");
  EXPECT_EQ(w.out.Indent, 0);
}

TEST(Writer, ContainsAnywhereInTheLine) {
  Writer w;
  w("begin");
  w("//call SendMessage, , ");  // "end" inside a word lowers the level
  w("x");
  w("begin end");  // both: lowers, never raises
  w("y");
  w("//entry");  // "try" inside a word raises: back to 0
  w("//retry");  // and to 1
  w("z");
  EXPECT_EQ(w.sink.Text(),
            "begin\r\n//call SendMessage, , \r\nx\r\nbegin end\r\ny\r\n//entry\r\n//retry\r\n"
            "   z\r\n");
}

TEST(Writer, ColonInColumn14) {
  Writer w;
  w("begin");
  w("1234567890123:x begin");  // flush left, still raises
  w("a");
  w("1234567890123:end");      // "end" decides: indented by its own rule
  w("123456789012:");          // colon in column 13: indented
  EXPECT_EQ(w.sink.Text(),
            "begin\r\n1234567890123:x begin\r\n      a\r\n   1234567890123:end\r\n   123456789012:\r\n");
}

TEST(Writer, NegativeLevelsAndEmptyLines) {
  Writer w;
  w("end;");
  w("x");
  w("begin");
  w("y");
  w("");
  EXPECT_EQ(w.sink.Text(), "end;\r\nx\r\nbegin\r\ny\r\n\r\n");
  EXPECT_EQ(w.out.Indent, 0);
}

// Lines made of pieces of block words, at the start, the end and the edges
// of a line, move the level just as a plain search for each word says.
TEST(Writer, BlockWordsFoundAnywhere) {
  const char* const pieces[] = {"end", "begin", "try", "finally", "end else begin", "nd", "egin",
                                "tr", "y", "finall", "e", "n", "b", "x", " ", ";", "ende"};
  std::mt19937 rng(7);
  Writer w;
  int level = 0;
  std::string expected;
  for (int n = 0; n < 3000; ++n) {
    std::string line;
    for (int k = std::uniform_int_distribution<int>(0, 5)(rng); k > 0; --k) {
      line += pieces[std::uniform_int_distribution<size_t>(0, std::size(pieces) - 1)(rng)];
    }
    auto has = [&](const char* word) { return line.find(word) != std::string::npos; };
    auto at = [&](int l) { return std::string(static_cast<size_t>(3 * std::max(l, 0)), ' '); };
    bool flush_left = line.size() >= 14 && line[13] == ':';
    if (has("finally") || has("end else begin")) {
      expected += at(level - 1) + line + "\r\n";
    } else if (has("end")) {
      --level;
      expected += at(level) + line + "\r\n";
    } else {
      expected += (flush_left ? std::string() : at(level)) + line + "\r\n";
      if (has("try") || has("begin")) ++level;
    }
    w(line);
  }
  EXPECT_EQ(w.sink.Text(), expected);
  EXPECT_EQ(w.out.Indent, level);
}

TEST(Writer, LineLimit) {
  Writer w;
  for (int k = 0; k < kLinesCapacity; ++k) w("x");
  w("begin");  // the 10001st: not written, level unchanged
  EXPECT_EQ(w.out.LineCount, kLinesCapacity);
  EXPECT_EQ(w.out.DroppedLines, 1);
  EXPECT_EQ(w.out.Indent, 0);
  EXPECT_EQ(w.sink.Text().size(), static_cast<size_t>(kLinesCapacity) * 3);
}

TEST(Labels, AddFindEmit) {
  Writer w;
  LabelTable labels;
  EXPECT_EQ(FindLabel(labels, 5, "end;"), -1);
  AddLabel(labels, 5, "T1");
  AddLabel(labels, 5, "T1");
  AddLabel(labels, 5, "T2");
  AddLabel(labels, 6, "T1");
  EXPECT_EQ(labels.LabelCount(), 3);
  EXPECT_EQ(FindLabel(labels, 5, "T2"), 2);
  EmitLabels(labels, w.out, 5);
  EmitLabels(labels, w.out, 5);
  EmitLabels(labels, w.out, 7);
  EXPECT_EQ(w.sink.Text(), "T1\r\nT2\r\nT1\r\nT2\r\n");
}

TEST(Labels, CapacityDropsTheExcess) {
  LabelTable labels;
  for (uint32_t a = 0; a < static_cast<uint32_t>(kLabelsCapacity) + 1; ++a) AddLabel(labels, a, "end;");
  EXPECT_EQ(labels.LabelCount(), kLabelsCapacity);
  EXPECT_EQ(labels.Dropped, 1);
  EXPECT_EQ(FindLabel(labels, kLabelsCapacity, "end;"), -1);
}

}  // namespace
}  // namespace asm2pas
