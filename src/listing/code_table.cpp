#include "listing/code_table.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace asm2pas {

void AddressIndex::Insert(uint32_t address, int index) {
  if (2 * (used_ + 1) > slots_.size()) Grow();
  // Ends: the table is never more than half full, so an empty slot comes.
  for (size_t s = Slot(address);; s = (s + 1) & mask_) {
    Item& item = slots_[s];
    if (item.Index == 0) {
      item = Item{address, index};
      ++used_;
      return;
    }
    if (item.Address == address) return;  // the first entry keeps it
  }
}

void AddressIndex::Grow() {
  std::vector<Item> old = std::move(slots_);
  slots_.assign(old.empty() ? 64 : 2 * old.size(), Item{});
  mask_ = slots_.size() - 1;
  shift_ = 32;
  // Ends: the size is a power of two, halved down to 1.
  for (size_t n = slots_.size(); n > 1; n >>= 1) --shift_;
  used_ = 0;
  // Ends: one pass over the old slots.
  for (const Item& item : old) {
    if (item.Index != 0) Insert(item.Address, item.Index);
  }
}

std::string_view TextStore::Keep(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() > left_) {
    // A text longer than a block gets a block of its own size.
    size_t size = text.size() > kBlock ? text.size() : kBlock;
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    free_ = blocks_.back().get();
    left_ = size;
  }
  char* kept = free_;
  std::memcpy(kept, text.data(), text.size());
  free_ += text.size();
  left_ -= text.size();
  return std::string_view(kept, text.size());
}

void CodeTable::Append(const TOpCode& entry) {
  uint32_t address = entry.Address;
  entries_.push_back(entry);
  if (ascending_ && CodeCount() >= 2 && address <= entries_[entries_.size() - 2].Address) {
    ascending_ = false;
    // Ends: one pass over the entries so far.
    for (int i = 1; i < CodeCount(); ++i) first_.Insert(entries_[static_cast<size_t>(i)].Address, i);
  }
  // An address met before keeps its first entry, so the index answers as a
  // scan from entry 1 would.
  if (!ascending_) first_.Insert(address, CodeCount());
}

void CodeTable::SetThird(std::string_view text, int16_t var_hint) {
  const int i = CodeCount();
  thirds_.push_back(TThirdOperand{i, var_hint, text});
  const size_t word = static_cast<size_t>(i) >> 6;
  if (has_third_.size() <= word) has_third_.resize(word + 1, 0);
  has_third_[word] |= uint64_t{1} << (i & 63);
}

void CodeTable::KeepOnly(const std::vector<int>& positions) {
  std::vector<TOpCode> entries(1);
  entries.reserve(positions.size() + 1);
  std::vector<TThirdOperand> thirds;
  // Ends: one pass over the positions kept.
  for (int i : positions) {
    entries.push_back(entries_[static_cast<size_t>(i)]);
    if (const TThirdOperand* third = FindThird(i)) {
      thirds.push_back(TThirdOperand{static_cast<int>(entries.size()) - 1, third->VarHint, third->Text});
    }
  }
  entries_ = std::move(entries);
  entries_.reserve(kCodeCapacity + 1);
  thirds_ = std::move(thirds);
  has_third_.clear();
  for (const TThirdOperand& t : thirds_) {
    const size_t word = static_cast<size_t>(t.Index) >> 6;
    if (has_third_.size() <= word) has_third_.resize(word + 1, 0);
    has_third_[word] |= uint64_t{1} << (t.Index & 63);
  }
  // The address index is built anew, as appending would build it.
  ascending_ = true;
  first_ = AddressIndex();
  for (int i = 2; i <= CodeCount() && ascending_; ++i) {
    if (entries_[static_cast<size_t>(i)].Address <= entries_[static_cast<size_t>(i) - 1].Address) {
      ascending_ = false;
    }
  }
  if (!ascending_) {
    // Ends: one pass over the entries.
    for (int i = 1; i <= CodeCount(); ++i) first_.Insert(entries_[static_cast<size_t>(i)].Address, i);
  }
}

const TThirdOperand* CodeTable::FindThird(int i) const {
  const size_t word = static_cast<size_t>(i) >> 6;
  if (i < 1 || word >= has_third_.size() || !(has_third_[word] >> (i & 63) & 1)) return nullptr;
  auto it = std::lower_bound(thirds_.begin(), thirds_.end(), i,
                             [](const TThirdOperand& t, int index) { return t.Index < index; });
  if (it == thirds_.end() || it->Index != i) return nullptr;
  return &*it;
}

int CodeTable::FindAscending(uint32_t address) const {
  auto begin = entries_.begin() + 1;
  auto it = std::lower_bound(begin, entries_.end(), address,
                             [](const TOpCode& e, uint32_t a) { return e.Address < a; });
  if (it == entries_.end() || it->Address != address) return -1;
  return static_cast<int>(it - entries_.begin());
}

}  // namespace asm2pas
