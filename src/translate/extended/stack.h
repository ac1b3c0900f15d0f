// Where the stack pointer stands before every instruction of a routine,
// counted from where it stood at the entry (0: at the return address), and
// where ebp stands when it holds such a place; and the frame slots operands
// address, by that count, so that one slot has one place wherever esp
// stands when it is addressed.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "listing/code_table.h"

namespace asm2pas {

// An operand of the form [esp], [esp+$N], [esp-$N] (or the same with ebp),
// with or without a size keyword: the register and the displacement.
struct FrameOperand {
  bool OnEbp = false;
  int32_t Disp = 0;
};
std::optional<FrameOperand> ParseFrameOperand(std::string_view operand);

// What an instruction adds to esp by a constant (sub, add, lea of esp from
// itself), or nothing.
std::optional<int32_t> EspChange(const TOpCode& e);

// Where esp and ebp stand before one instruction, as places.
struct StackPlace {
  std::optional<int32_t> Ebp;  // when ebp holds one place on every path
  int32_t Esp = 0;
  bool Set = false;      // a path from the entry reaches the instruction
  bool EspLost = false;  // esp is no known place on some path
  // The call whose way on (taken after all else) the walk last came by,
  // or 0.
  int ByWayAfter = 0;
};

struct StackFacts {
  // Every instruction that runs was followed: esp is known before each and
  // agrees on every path, and every ret leaves at the entry's place.
  bool Ok = false;
  // Per entry (index 0 unused), as the walk left them; for an entry not
  // reached, esp 0 and no ebp.
  std::vector<StackPlace> At;
  bool Reached(int i) const { return At[static_cast<size_t>(i)].Set; }
  // esp before entry i (valid where reached).
  int32_t Esp(int i) const { return At[static_cast<size_t>(i)].Esp; }
  // ebp before entry i as a place, when it holds one on every path.
  const std::optional<int32_t>& Ebp(int i) const { return At[static_cast<size_t>(i)].Ebp; }
  // The place `mov ebp, esp` put in ebp, when the routine sets ebp so once
  // and writes it otherwise only when it returns.
  std::optional<int32_t> FramePointer;
  // The routine writes ebp otherwise: it holds no one place throughout.
  bool EbpVaries = false;
  // gcc's main aligns the stack: `lea ecx, [esp+$04]; and esp, -N; push
  // dword ptr [ecx-$04]` at the entry (the and at entry 2), ecx saved by
  // a push among the registers, and `pop ecx; ...; lea esp, [ecx-$04]`
  // before each return. The walk takes esp as aligned already: every slot
  // after the and lies below the return address's copy, and the caller's
  // are read through ecx alone. 0 where the routine does not so.
  int AlignAt = 0;
  int EcxSaveAt = 0;  // the push of ecx among the saves

  // Per entry, three an entry (index 0 unused): the place each operand
  // addresses, where it is a frame slot of an entry reached.
  std::vector<int32_t> Places;
  static constexpr int32_t kNoPlace = INT32_MIN;

  // Whether some operand of entry i addresses a frame slot.
  bool HasSlot(int i) const {
    const size_t at = 3 * static_cast<size_t>(i);
    return i >= 1 && at + 2 < Places.size() &&
           (Places[at] != kNoPlace || Places[at + 1] != kNoPlace || Places[at + 2] != kNoPlace);
  }
  // The place operand k (0 to 2) of entry i addresses, when it is a frame
  // slot.
  std::optional<int32_t> SlotOf(int i, int k) const {
    const size_t at = 3 * static_cast<size_t>(i) + static_cast<size_t>(k);
    if (i < 1 || at >= Places.size() || Places[at] == kNoPlace) return std::nullopt;
    return Places[at];
  }
};

// `targets`: FindJumpTargets of the table.
StackFacts FollowStack(const CodeTable& code, const std::vector<int>& targets);

// Room for a key: "[esp0-$" and eight digits, "]".
using SlotKeyText = std::array<char, 24>;
// The key under which a frame slot is one variable, written into `room`:
// in a routine with a frame pointer the text that names it from ebp, as
// listings write it ("[ebp-$0C]"); otherwise its place from the entry
// ("[esp0-$10]").
std::string_view SlotKey(const StackFacts& stack, int32_t place, SlotKeyText& room);

}  // namespace asm2pas
