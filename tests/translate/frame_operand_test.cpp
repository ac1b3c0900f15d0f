// A frame slot's operand is read alike whether its text takes the quick
// way (the forms listings write) or the general one (blanks, other
// keywords), and nothing else reads as one.
#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "translate/extended/stack.h"

namespace asm2pas {
namespace {

TEST(FrameOperand, QuickAndGeneralFormsAgree) {
  struct Case {
    std::string_view Text;
    std::optional<FrameOperand> Want;
  };
  const Case cases[] = {
      {"[ebp-$1C]", FrameOperand{true, -0x1C}},
      {"[esp]", FrameOperand{false, 0}},
      {"dword ptr [esp+$08]", FrameOperand{false, 8}},
      {"byte ptr [ebp-$C]", FrameOperand{true, -0xC}},
      {"xmmword ptr [ebp+$10]", FrameOperand{true, 16}},
      {"dword ptr [ebp-$04] ", FrameOperand{true, -4}},
      {"dword  ptr [ebp-$04]", FrameOperand{true, -4}},
      {"[ebp+$7FFFFFFF]", FrameOperand{true, 0x7FFFFFFF}},
      {" ptr [ebp-$04]", std::nullopt},
      {"fs:[ebp-$04]", std::nullopt},
      {"[[ ptr [ebp-$04]", std::nullopt},
      {"dword ptr [$00640000]", std::nullopt},
      {"[ebp+eax*4]", std::nullopt},
      {"[eax-$04]", std::nullopt},
      {"[ebp+$80000000]", std::nullopt},
      {"[ebp-$1C] x", std::nullopt},
      {"ebp", std::nullopt},
      {"", std::nullopt},
  };

  for (const Case& c : cases) {
    const std::optional<FrameOperand> got = ParseFrameOperand(c.Text);
    ASSERT_EQ(got.has_value(), c.Want.has_value()) << c.Text;
    if (got) {
      EXPECT_TRUE(got->OnEbp == c.Want->OnEbp && got->Disp == c.Want->Disp) << c.Text;
    }
  }
}

}  // namespace
}  // namespace asm2pas
