// The instruction table: one entry per instruction line of the listing, in
// file order, one-based, with an index from address to its first entry.
// Entries outside 1..CodeCount read as empty (address 0, empty texts).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace asm2pas {

constexpr int kCodeCapacity = 10000;

struct TOpCode {
  uint32_t Address = 0;  // the 32-bit pattern; compared as unsigned
  std::string OpCode;
  std::string Op1;
  std::string Op2;
  std::string Op3;
  int SourceLine = 0;  // line of the listing it came from, for diagnostics
};

class CodeTable {
 public:
  int CodeCount() const { return static_cast<int>(entries_.size()) - 1; }

  // Entry i, or the empty entry for any i outside 1..CodeCount.
  const TOpCode& At(int i) const {
    if (i < 1 || i > CodeCount()) return empty_;
    return entries_[static_cast<size_t>(i)];
  }
  // Writable entry i; only for 1..CodeCount (operand substitution).
  TOpCode& Mutable(int i) { return entries_[static_cast<size_t>(i)]; }
  bool Valid(int i) const { return i >= 1 && i <= CodeCount(); }

  // Index of the first entry with this address, or -1.
  int FindAddr(uint32_t address) const {
    auto it = first_.find(address);
    return it == first_.end() ? -1 : it->second;
  }

  // Appends an entry; the caller keeps to the capacity.
  void Append(TOpCode entry);

 private:
  std::vector<TOpCode> entries_ = std::vector<TOpCode>(1);  // [0] unused
  std::unordered_map<uint32_t, int> first_;
  TOpCode empty_;
};

}  // namespace asm2pas
