// The instruction table: one entry per instruction line of the listing, in
// file order, one-based, with an index from address to its first entry.
// Entries outside 1..CodeCount read as empty (address 0, empty texts).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "base/limits.h"

namespace asm2pas {

// The texts of an entry are views: into the table's TextStore, or, once its
// operands are replaced by variable names, into the variable table. Both
// outlive the translation and never move what they hold.
// A third operand (or more) is rare: CodeTable keeps it apart (see Op3), so
// that the entries stay small.
struct TOpCode {
  uint32_t Address = 0;  // the 32-bit pattern; compared as unsigned
  // Per operand, what the operand registry answered when the line was read
  // (for the naming: what it learnt about the operand's variable); spent
  // once the operand is replaced by its name.
  int16_t VarHint[2] = {0, 0};
  std::string_view OpCode;
  std::string_view Op1;
  std::string_view Op2;
};

// The third operand of entry Index, with its hint as above.
struct TThirdOperand {
  int Index = 0;
  int16_t VarHint = 0;
  std::string_view Text;
};

// Holds copies of texts at addresses that never change: the listing is fed
// in pieces that do not outlive the call, while the entries keep views of
// their lines. Texts are packed into large blocks, so a line costs neither
// an allocation nor more memory than its own bytes.
class TextStore {
 public:
  std::string_view Keep(std::string_view text);

 private:
  static constexpr size_t kBlock = 64 * 1024;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;  // the unused rest of the last block
  size_t left_ = 0;
};

// Address -> index of the first entry with it: open addressing with linear
// probing in one flat array, so an entry costs no allocation of its own.
class AddressIndex {
 public:
  // Records the index unless the address has one already.
  void Insert(uint32_t address, int index);
  int Find(uint32_t address) const {
    if (slots_.empty()) return -1;
    // Ends: the table is never more than half full, so an empty slot comes.
    for (size_t s = Slot(address);; s = (s + 1) & mask_) {
      const Item& item = slots_[s];
      if (item.Index == 0) return -1;
      if (item.Address == address) return item.Index;
    }
  }

 private:
  struct Item {
    uint32_t Address = 0;
    int Index = 0;  // 0: empty
  };
  // Fibonacci hashing: the top bits of the product, which every bit of
  // the address reaches.
  size_t Slot(uint32_t address) const { return (address * 0x9E3779B1u) >> shift_; }
  void Grow();

  std::vector<Item> slots_;
  size_t mask_ = 0;
  int shift_ = 32;
  size_t used_ = 0;
};

class CodeTable {
 public:
  CodeTable() {
    entries_.reserve(kCodeCapacity + 1);
  }

  int CodeCount() const { return count_; }

  // Entry i, or the empty entry for any i outside 1..CodeCount. (One
  // comparison: i - 1 as unsigned is beyond the count for any i below 1.)
  const TOpCode& At(int i) const {
    if (!Valid(i)) return empty_;
    return entries_[static_cast<size_t>(i)];
  }
  // Writable entry i; only for 1..CodeCount (operand substitution).
  TOpCode& Mutable(int i) { return entries_[static_cast<size_t>(i)]; }
  bool Valid(int i) const { return static_cast<unsigned>(i) - 1u < static_cast<unsigned>(count_); }

  // Whether the addresses rise strictly from entry to entry (as in any
  // listing of one routine): then every address names at most one entry.
  bool Ascending() const { return ascending_; }

  // Index of the first entry with this address, or -1.
  int FindAddr(uint32_t address) const {
    return ascending_ ? FindAscending(address) : first_.Find(address);
  }

  // Appends an entry; the caller keeps to the capacity. Its texts must
  // stay where they are as long as the table does (see Keep).
  void Append(const TOpCode& entry);
  // Gives the entry appended last a third operand (not empty).
  void SetThird(std::string_view text, int16_t var_hint);

  // The operands (texts and hints) a translation rewrites, noted before
  // each rewrite, so that Rewind puts them back as they were (the texts
  // stay where they are). Only operands change between the two, and only
  // those rewritten are noted: a round of translation costs no copy of the
  // whole table.
  class Journal {
   public:
    // Room for this many notes, so that noting never moves them.
    void Reserve(size_t notes) { notes_.reserve(notes); }

   private:
    friend class CodeTable;
    struct Note {
      const char* Text;
      uint32_t Size;
      int Index;
      int16_t VarHint;
      uint8_t Operand;  // 0, 1, or 2 for the third
    };
    std::vector<Note> notes_;
  };
  // Notes operand k (0, 1, or 2 for the third) of entry i as it was: its
  // text and hint.
  static void Note(Journal& j, int i, int k, std::string_view text, int16_t var_hint) {
    j.notes_.push_back({text.data(), static_cast<uint32_t>(text.size()), i, var_hint,
                        static_cast<uint8_t>(k)});
  }
  // Puts back every operand noted as its first note saw it, and empties
  // the journal.
  void Rewind(Journal& j);

  // Drops the entries marked in `drop` (by position, at least CodeCount +
  // 1 of them) and keeps the others in their order, with their third
  // operands; the texts stay where they are.
  void DropMarked(const std::vector<char>& drop);
  // Points the entry's first operand at another text, kept as long as the
  // table (a jump's new target, for one).
  void SetOp1(int i, std::string_view text) { entries_[static_cast<size_t>(i)].Op1 = Keep(text); }

  // The third operand of entry i, empty when it has none (or for any i
  // outside 1..CodeCount).
  std::string_view Op3(int i) const {
    if (!HasThird(i)) return {};  // most entries: no search
    const TThirdOperand* third = FindThird(i);
    return third ? third->Text : std::string_view();
  }
  // Writable third operand of entry i, or null when it has none.
  TThirdOperand* MutableThird(int i) {
    return HasThird(i) ? const_cast<TThirdOperand*>(FindThird(i)) : nullptr;
  }

  // A copy of the text, kept as long as the table, for an entry's views.
  std::string_view Keep(std::string_view text) { return texts_.Keep(text); }

 private:
  int FindAscending(uint32_t address) const;
  // Whether entry i's bit says it has a third operand.
  bool HasThird(int i) const {
    const size_t word = static_cast<size_t>(i) >> 6;
    return i >= 1 && word < has_third_.size() && (has_third_[word] >> (i & 63) & 1) != 0;
  }
  const TThirdOperand* FindThird(int i) const;

  std::vector<TOpCode> entries_ = std::vector<TOpCode>(1);  // [0] unused
  int count_ = 0;  // entries_.size() - 1, kept so that At reads no division
  // While the addresses rise strictly from entry to entry (as in any
  // listing of one routine) a binary search over the entries finds an
  // address; the hash index is built only for a table whose addresses do
  // not, and kept from then on.
  bool ascending_ = true;
  AddressIndex first_;
  std::vector<TThirdOperand> thirds_;  // in entry order
  // One bit per entry: whether it has a third operand, so that asking for
  // one that is not there costs no search.
  std::vector<uint64_t> has_third_;
  TextStore texts_;
  TOpCode empty_;
};

}  // namespace asm2pas
