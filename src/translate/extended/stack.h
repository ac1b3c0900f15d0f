// Where the stack pointer stands before every instruction of a routine,
// counted from where it stood at the entry (0: at the return address), and
// where ebp stands when it holds such a place; and the frame slots operands
// address, by that count, so that one slot has one place wherever esp
// stands when it is addressed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/limits.h"
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

// Where esp and ebp stand before one instruction, as places. Twelve
// bytes: the walk keeps one for every entry.
struct StackPlace {
  int32_t Esp = 0;
  // ebp, when it holds one place on every path.
  std::optional<int32_t> Ebp() const {
    return HasEbp ? std::optional<int32_t>(EbpAt) : std::nullopt;
  }
  void SetEbp(int32_t place) {
    EbpAt = place;
    HasEbp = true;
  }
  void LoseEbp() { HasEbp = false; }
  // The call whose way on (taken after all else) the walk last came by,
  // or 0.
  uint32_t ByWayAfter : 29 = 0;
  bool Set : 1 = false;      // a path from the entry reaches the instruction
  bool EspLost : 1 = false;  // esp is no known place on some path

 private:
  bool HasEbp : 1 = false;
  int32_t EbpAt = 0;
};
static_assert(kCodeCapacity < (1 << 29), "a position fits ByWayAfter");
static_assert(sizeof(StackPlace) == 12);

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
  std::optional<int32_t> Ebp(int i) const { return At[static_cast<size_t>(i)].Ebp(); }
  // Per entry (index 0 unused): a jump comes to it.
  std::vector<char> JumpsTo;
  bool JumpedTo(int i) const { return JumpsTo[static_cast<size_t>(i)] != 0; }
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
  // Where Ok, how many rets the routine has, reached or not.
  int Returns = 0;

  // Where Ok, every operand of an entry reached that addresses a frame
  // slot, in the order of the entries and their operands, with the slot's
  // place; and per entry (index 0 unused, one past the last) where its own
  // begin among them. The passes that look only at slots walk these, not
  // the table.
  struct SlotUse {
    int32_t Place;
    int32_t At;  // 4 * entry + operand (0 to 2)
    int Entry() const { return At >> 2; }
    int Operand() const { return At & 3; }
  };
  std::vector<SlotUse> Slots;
  std::vector<int32_t> SlotsFrom;

  // Where Ok, the entries with an operand that is no frame slot, names a
  // variable (as the reading's hint for it says when the walk is made) and
  // may hold an address of two terms, or with a third operand, in order:
  // the only ones where an address may be indexed.
  std::vector<int> NameVariables;

  // Whether some operand of entry i addresses a frame slot.
  bool HasSlot(int i) const {
    const size_t at = static_cast<size_t>(i);
    return i >= 1 && at + 1 < SlotsFrom.size() && SlotsFrom[at] != SlotsFrom[at + 1];
  }
  // The place operand k (0 to 2) of entry i addresses, when it is a frame
  // slot.
  std::optional<int32_t> SlotOf(int i, int k) const {
    if (!HasSlot(i)) return std::nullopt;
    const size_t at = static_cast<size_t>(i);
    // Ends: at most three uses an entry.
    for (int32_t u = SlotsFrom[at]; u < SlotsFrom[at + 1]; ++u) {
      const SlotUse& use = Slots[static_cast<size_t>(u)];
      if (use.Operand() == k) return use.Place;
    }
    return std::nullopt;
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
