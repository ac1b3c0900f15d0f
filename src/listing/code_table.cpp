#include "listing/code_table.h"

#include <algorithm>
#include <climits>
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
  ++count_;
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

void CodeTable::Rewind(Journal& j) {
  // From the last note back, so that an operand noted twice ends as its
  // first note saw it.
  // Ends: one pass over the notes.
  for (size_t k = j.notes_.size(); k-- > 0;) {
    const Journal::Note& o = j.notes_[k];
    const std::string_view text(o.Text, o.Size);
    if (o.Operand == 2) {
      if (TThirdOperand* third = MutableThird(o.Index)) {
        third->Text = text;
        third->VarHint = o.VarHint;
      }
      continue;
    }
    TOpCode& e = entries_[static_cast<size_t>(o.Index)];
    (o.Operand == 0 ? e.Op1 : e.Op2) = text;
    e.VarHint[o.Operand] = o.VarHint;
  }
  j.notes_.clear();
}

void CodeTable::DropMarked(const std::vector<char>& drop) {
  // Every kept entry moves down or stays where it is: the entries and the
  // third operands are compacted in place, each read before anything is
  // written over it, and no memory is taken anew.
  size_t kept = 1;
  size_t third = 0, thirds_kept = 0;  // thirds_ is in entry order as well
  // The entry of the next third operand not passed yet (none: past all).
  auto next_third = [&] { return third < thirds_.size() ? thirds_[third].Index : INT_MAX; };
  int third_at = next_third();
  // Ends: one pass over the entries; `third` only grows.
  for (int i = 1; i <= count_; ++i) {
    if (drop[static_cast<size_t>(i)]) continue;
    if (i >= third_at) {
      // Ends: third stops at the first third operand of entry i or later.
      while (third < thirds_.size() && thirds_[third].Index < i) ++third;
      if (third < thirds_.size() && thirds_[third].Index == i) {
        const TThirdOperand& t = thirds_[third];
        thirds_[thirds_kept++] = TThirdOperand{static_cast<int>(kept), t.VarHint, t.Text};
        ++third;
      }
      third_at = next_third();
    }
    // Up to the first entry dropped, each stays where it is.
    if (kept != static_cast<size_t>(i)) entries_[kept] = entries_[static_cast<size_t>(i)];
    ++kept;
  }
  entries_.resize(kept);
  count_ = static_cast<int>(kept) - 1;
  thirds_.resize(thirds_kept);
  has_third_.clear();
  for (const TThirdOperand& t : thirds_) {
    const size_t word = static_cast<size_t>(t.Index) >> 6;
    if (has_third_.size() <= word) has_third_.resize(word + 1, 0);
    has_third_[word] |= uint64_t{1} << (t.Index & 63);
  }
  // The address index is built anew, as appending would build it. Entries
  // kept in their order from rising addresses still rise.
  if (ascending_) return;
  ascending_ = true;
  first_ = AddressIndex();
  // Ends: one pass over the entries, or at the first that does not rise.
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
  if (!HasThird(i)) return nullptr;
  auto it = std::lower_bound(thirds_.begin(), thirds_.end(), i,
                             [](const TThirdOperand& t, int index) { return t.Index < index; });
  if (it == thirds_.end() || it->Index != i) return nullptr;
  return &*it;
}

int CodeTable::FindAscending(uint32_t address) const {
  // A lower bound over entries 1..CodeCount, as std::lower_bound finds it,
  // with a conditional move in place of the branch: the halving steps do
  // not depend on the comparisons, so nothing is mispredicted.
  size_t size = entries_.size() - 1;
  if (size == 0) return -1;
  const TOpCode* first = entries_.data() + 1;
  // Ends: size halves (rounded up) until one entry is left.
  while (size > 1) {
    const size_t half = size / 2;
    first = first[half].Address < address ? first + half : first;
    size -= half;
  }
  first += first->Address < address;
  if (first == entries_.data() + entries_.size() || first->Address != address) return -1;
  return static_cast<int>(first - entries_.data());
}

}  // namespace asm2pas
