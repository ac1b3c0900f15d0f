// The jumps' targets found in one pass over a table whose addresses rise,
// beside TargetOf, which looks each up in the whole table.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "listing_builder.h"
#include "translate/extended/jumps.h"

namespace asm2pas {
namespace {

TEST(Jumps, TargetsAsEachIsLookedUp) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    // Addresses rising by gaps of 1 to 15 bytes; every third entry a jump
    // to an entry, near or far, or to an address between entries or
    // before or past them all.
    std::vector<uint32_t> addresses;
    uint32_t address = 0x400000 + random() % 64;
    for (int i = 0; i < 300; ++i) addresses.push_back(address += 1 + random() % 15);
    testing::Listing listing;
    for (size_t i = 0; i < addresses.size(); ++i) {
      uint32_t target = addresses[random() % addresses.size()];
      switch (random() % 5) {
        case 0: target = addresses[std::min(i + random() % 4, addresses.size() - 1)]; break;
        case 1: target += 1; break;
        case 2: target = random() % 2 ? 0 : 0xFFFFFFFF; break;
        default: break;
      }
      listing.Add(addresses[i], i % 3 != 0 ? std::string("mov eax, edx")
                                           : (random() % 2 ? "jmp " : "jnz ") + testing::Hex8(target));
    }
    auto run = testing::Read(listing.Text);
    ASSERT_TRUE(run->Diagnostics.empty());
    const std::vector<int> targets = FindJumpTargets(run->Code);
    ASSERT_EQ(targets.size(), addresses.size() + 2);
    for (int i = 1; i <= run->Code.CodeCount(); ++i) {
      const bool jump = IsJump(run->Code.At(i).OpCode);
      EXPECT_EQ(targets[static_cast<size_t>(i)], jump ? TargetOf(run->Code, i) : -1) << i;
    }
  }
}

}  // namespace
}  // namespace asm2pas
