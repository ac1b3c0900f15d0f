// The fast lookups and one-pass tests against the plain rules they stand
// for: finding an address in the instruction table (binary search while
// addresses rise, a hash index once they do not) against a scan from entry
// 1, and operand classification, key stripping and variable registration
// against the straightforward substring tests and a first-match scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "driver/conversion.h"
#include "generators.h"
#include "listing/code_table.h"
#include "base/text.h"
#include "naming/vars.h"
#include "output/sink.h"

namespace asm2pas {
namespace {

using testing::Rng;

int ScanFindAddr(const std::vector<uint32_t>& addresses, uint32_t address) {
  for (size_t i = 0; i < addresses.size(); ++i) {
    if (addresses[i] == address) return static_cast<int>(i) + 1;
  }
  return -1;
}

TEST(Reference, FindAddrAgreesWithAScan) {
  Rng rng(5150);
  for (int n = 0; n < 200; ++n) {
    CodeTable code;
    std::vector<uint32_t> addresses;
    const int count = static_cast<int>(rng.Below(n % 10 == 0 ? 10000 : 300));
    uint32_t a = rng.Chance(20) ? 0xFFFFFF00u : rng.Below(0x1000);
    const int mode = n % 4;  // rising; with repeats; falling now and then; anything
    for (int k = 0; k < count; ++k) {
      if (mode == 0) a += 1 + rng.Below(8);
      if (mode == 1) a += rng.Below(3);
      if (mode == 2) a = rng.Chance(5) ? a - rng.Below(50) : a + 1 + rng.Below(8);
      if (mode == 3) a = rng.Below(64) * 0x40000000u / 64 + rng.Below(4);
      TOpCode entry;
      entry.Address = a;
      code.Append(std::move(entry));
      addresses.push_back(a);
    }
    for (int probe = 0; probe < 400; ++probe) {
      uint32_t x = addresses.empty() || rng.Chance(30)
                       ? rng.Below(0xFFFFFFFFu)
                       : addresses[rng.Below(static_cast<uint32_t>(addresses.size()))] +
                             (rng.Chance(20) ? 1 : 0);
      ASSERT_EQ(code.FindAddr(x), ScanFindAddr(addresses, x)) << "table #" << n << " address " << x;
    }
    ASSERT_EQ(code.FindAddr(0), ScanFindAddr(addresses, 0)) << "table #" << n;
  }
}

bool Has(std::string_view text, std::string_view word) {
  return text.find(word) != std::string_view::npos;
}

TOperandKind PlainKind(std::string_view op) {
  if (Has(op, "ebp-")) return okLocal;
  if (op == "edi" || op == "esi" || op == "ebx" || op == "bx" || op == "bl") return okLocal;
  if (Has(op, "ebp+") || Has(op, "[$")) return okGlobal;
  return okNone;
}

std::string PlainStripPtr(std::string_view op) {
  size_t p = op.find(" ptr ");
  return std::string(TrimBoth(p == std::string_view::npos ? op : op.substr(p + 5)));
}

// Operands glued from the pieces the rules look for.
std::string RandomOperand(Rng& rng) {
  static const std::vector<std::string> kPieces = {
      "ebp", "-", "+", "[", "$", "]", "edi", "esi", "ebx", "bx", "bl", " ptr ", "dword",
      "byte", "tbyte", "qword", "word", " ", "\t", "e", "b", "p", "04", "fs:", "EDI"};
  std::string op;
  int pieces = static_cast<int>(rng.Below(7));
  for (int k = 0; k < pieces; ++k) op += rng.Pick(kPieces);
  return op;
}

TEST(Reference, OperandRulesAgreeWithThePlainTests) {
  Rng rng(77);
  for (int n = 0; n < 20000; ++n) {
    std::string op = RandomOperand(rng);
    std::string t(TrimBoth(op));
    ASSERT_EQ(OperandKind(t), PlainKind(t)) << "[" << t << "]";
    ASSERT_EQ(StripPtr(op), PlainStripPtr(op)) << "[" << op << "]";
  }
}

TEST(Reference, RegistrationAgreesWithAFirstMatchScan) {
  Rng rng(303);
  bool filled = false;  // some table reached its capacity
  for (int n = 0; n < 40; ++n) {
    VarTable vars;
    // The plain table: names in order of registration, and their numbers.
    std::vector<std::string> names, new_names;
    int globals = 0, locals = 0;
    auto scan = [&](std::string_view op) {
      std::string key = PlainStripPtr(op);
      for (size_t k = 0; k < names.size(); ++k) {
        if (names[k] == key) return static_cast<int>(k) + 1;
      }
      return -1;
    };
    const int operands = n % 8 == 0 ? 6000 : 300;
    for (int k = 0; k < operands; ++k) {
      std::string op = RandomOperand(rng);
      if (rng.Chance(30)) op += "$" + testing::Hex8(rng.Below(40));
      if (n % 8 == 0 && rng.Chance(60)) {  // enough distinct names to fill the table
        op = (rng.Chance(50) ? "dword ptr [ebp-$" : "[$") + testing::Hex8(rng.Below(3000)) + "]";
      }
      AddVar(vars, op);
      std::string t(TrimBoth(op));
      if (scan(t) < 1 && PlainKind(t) != okNone && !t.empty() && names.size() < 2000) {
        char digits[16];
        bool global = PlainKind(t) == okGlobal;
        std::snprintf(digits, sizeof digits, "%04X", global ? globals++ : locals++);
        names.push_back(PlainStripPtr(t));
        new_names.push_back((global ? "Global_" : "Local_") + std::string(digits));
      }
      ASSERT_EQ(vars.VarCount(), static_cast<int>(names.size())) << "after [" << op << "]";
      std::string probe = rng.Chance(50) ? op : RandomOperand(rng);
      ASSERT_EQ(FindVar(vars, probe), scan(probe)) << "[" << probe << "]";
      // VarName trims the operand before it looks it up.
      int expected = scan(TrimBoth(probe));
      std::string name = expected >= 1 ? new_names[static_cast<size_t>(expected - 1)]
                                       : std::string(TrimBoth(probe));
      ASSERT_EQ(VarName(vars, probe), name) << "[" << probe << "]";
    }
    filled = filled || vars.VarCount() == kVarsCapacity;
  }
  EXPECT_TRUE(filled);
}

// Whole runs: an unclaimed instruction's comment line shows its operands
// under the names a first-match scan of the finished table gives, whatever
// the reading learnt about them on the way.
TEST(Reference, CommentLinesShowTheNamesAScanGives) {
  Rng rng(2718);
  for (int n = 0; n < 30; ++n) {
    std::vector<std::string> names, new_names;
    int globals = 0, locals = 0;
    auto scan = [&](std::string_view t) {
      std::string key = PlainStripPtr(t);
      for (size_t k = 0; k < names.size(); ++k) {
        if (names[k] == key) return static_cast<int>(k) + 1;
      }
      return -1;
    };
    auto add = [&](const std::string& t) {
      if (t.empty() || PlainKind(t) == okNone || scan(t) >= 1 || names.size() >= 2000) return;
      char digits[16];
      bool global = PlainKind(t) == okGlobal;
      std::snprintf(digits, sizeof digits, "%04X", global ? globals++ : locals++);
      names.push_back(PlainStripPtr(t));
      new_names.push_back((global ? "Global_" : "Local_") + std::string(digits));
    };
    const int count = n % 5 == 0 ? 2500 : 200;
    std::string listing;
    std::vector<std::pair<std::string, std::string>> operands;
    for (int k = 0; k < count; ++k) {
      std::string a = RandomOperand(rng), b = RandomOperand(rng);
      if (n % 5 == 0 && rng.Chance(50)) a = "[ebp-$" + testing::Hex8(rng.Below(2500)) + "]";
      if (rng.Chance(5)) a = "[$ ptr " + a;  // a name without the marks of a variable
      std::string t1(TrimBoth(a)), t2(TrimBoth(b));
      add(t1);
      add(t2);
      operands.emplace_back(t1, t2);
      listing += testing::Line(0x00401000u + 4 * static_cast<uint32_t>(k), "x " + a + ", " + b);
    }
    StringSink out;
    ConversionResult result = ConvertListing(listing, "names.lst", out);
    ASSERT_EQ(result.Status, 0) << "listing #" << n;
    auto name = [&](const std::string& t) {
      int k = scan(t);
      return k >= 1 ? new_names[static_cast<size_t>(k - 1)] : t;
    };
    std::vector<std::string> lines;
    const std::string& text = out.Text();
    for (size_t at = 0, eol; (eol = text.find("\r\n", at)) != std::string::npos; at = eol + 2) {
      std::string line = text.substr(at, eol - at);
      lines.push_back(line.substr(std::min(line.find_first_not_of(' '), line.size())));
    }
    ASSERT_EQ(lines.size(), operands.size() + 2) << "listing #" << n;
    for (size_t k = 0; k < operands.size(); ++k) {
      ASSERT_EQ(lines[k + 1], "//x " + name(operands[k].first) + ", " + name(operands[k].second) + ", ")
          << "listing #" << n << " line " << k + 1;
    }
  }
}

}  // namespace
}  // namespace asm2pas
