#include "translate/reading.h"

#include <algorithm>
#include <cstring>

#include "translate/if_else.h"
#include "translate/loops.h"
#include "translate/statements.h"
#include "translate/try_finally.h"

namespace asm2pas {

Reading::Reading(const char* name, std::span<const RecognizerEntry> table,
                 std::span<const Pass> passes, RangeChooser choose_range, ReadingTraits traits)
    : name_(name), table_(table), passes_(passes), choose_range_(choose_range), traits_(traits) {
  // Room for every mnemonic the table declares, at most half full.
  size_t declared = 0;
  for (const RecognizerEntry& r : table) {
    for (std::string_view m : r.Mnemonics) declared += m.empty() ? 0 : 1;
  }
  size_t size = 16;
  // Ends: size doubles until it holds twice the declared mnemonics.
  while (size < 2 * declared) size *= 2;
  slots_.assign(size, Slot{});
  // Each distinct mnemonic's recognisers in table order, built in one pass
  // over the table: a mnemonic met first at recogniser r starts with those
  // before r that declared any, and every later one that declares any
  // joins every list.
  std::vector<const RecognizerEntry*> any;
  std::vector<std::vector<const RecognizerEntry*>> lists;  // by the slot's First, for now
  for (const RecognizerEntry& r : table) {
    const auto& ms = r.Mnemonics;
    if (std::find(ms.begin(), ms.end(), kAnyMnemonic) != ms.end()) {
      any.push_back(&r);
      for (auto& list : lists) list.push_back(&r);
      continue;
    }
    for (std::string_view m : ms) {
      if (m.empty()) continue;
      size_t s = Hash(m) & (size - 1);
      // Ends: the slots are never more than half full, so a free one comes.
      while (!slots_[s].Mnemonic.empty() && slots_[s].Mnemonic != m) s = (s + 1) & (size - 1);
      if (slots_[s].Mnemonic.empty()) {
        slots_[s] = Slot{m, static_cast<uint32_t>(lists.size()), 0};
        lists.push_back(any);
      }
      auto& list = lists[slots_[s].First];
      if (list.empty() || list.back() != &r) list.push_back(&r);
    }
  }
  // One array: those that declared any first (every other mnemonic meets
  // only them), then each mnemonic's list.
  lists_ = any;
  any_first_ = 0;
  any_count_ = static_cast<uint32_t>(any.size());
  std::vector<uint32_t> first(lists.size());
  for (size_t k = 0; k < lists.size(); ++k) {
    first[k] = static_cast<uint32_t>(lists_.size());
    lists_.insert(lists_.end(), lists[k].begin(), lists[k].end());
  }
  for (Slot& slot : slots_) {
    if (slot.Mnemonic.empty()) continue;
    slot.Count = static_cast<uint32_t>(lists[slot.First].size());
    slot.First = first[slot.First];
  }
}

void Reading::Prepare(PassContext& ctx) const {
  for (Pass pass : passes_) pass(ctx);
}

size_t Reading::Hash(std::string_view mnemonic) {
  // The first eight bytes and the length: mnemonics are short.
  uint64_t word = 0;
  std::memcpy(&word, mnemonic.data(), mnemonic.size() < 8 ? mnemonic.size() : 8);
  return static_cast<size_t>(((word ^ mnemonic.size()) * 0x9E3779B97F4A7C15ull) >> 40);
}

std::span<const RecognizerEntry* const> Reading::For(std::string_view mnemonic) const {
  const std::span<const RecognizerEntry* const> any{lists_.data() + any_first_, any_count_};
  if (mnemonic.empty()) return any;
  const size_t mask = slots_.size() - 1;
  // Ends: the slots are never more than half full, so a free one comes.
  for (size_t s = Hash(mnemonic) & mask;; s = (s + 1) & mask) {
    const Slot& slot = slots_[s];
    if (slot.Mnemonic.empty()) return any;
    if (slot.Mnemonic == mnemonic) return {lists_.data() + slot.First, slot.Count};
  }
}

namespace {

// The order decides which recogniser claims an instruction several could
// match: exception frames first, then blocks and the call, then (on the
// substituted operands) the single statements.
constexpr RecognizerEntry kDefaultTable[] = {
    {"DoTry", DoTry, Sees::kListed, {"xor"}},
    {"DoFinally", DoFinally, Sees::kListed, {"xor"}},
    {"RecognizeFor", RecognizeFor, Sees::kListed, {"mov"}},
    {"RecognizeWhile", RecognizeWhile, Sees::kListed, {"jmp"}},
    // A condition starts with a cmp, an or/test against zero, or a load.
    {"RecognizeIf", RecognizeIf, Sees::kListed, {"cmp", "or", "test", "mov"}},
    {"DoCall", DoCall, Sees::kListed, {"call"}},
    {"DoRet", DoRet, Sees::kNamed, {"ret"}},
    {"DoMov", DoMov, Sees::kNamed, {"mov"}},
    {"DoXor", DoXor, Sees::kNamed, {"xor"}},
    {"DoImul", DoImul, Sees::kNamed, {"imul"}},
    {"DoIdiv", DoIdiv, Sees::kNamed, {"idiv"}},
    {"DoSub", DoSub, Sees::kNamed, {"sub"}},
    {"DoAdd", DoAdd, Sees::kNamed, {"add"}},
    {"DoInc", DoInc, Sees::kNamed, {"inc"}},
    {"DoDec", DoDec, Sees::kNamed, {"dec"}},
    {"DoOr", DoOr, Sees::kNamed, {"or"}},
    {"DoAnd", DoAnd, Sees::kNamed, {"and"}},
    {"DoNot", DoNot, Sees::kNamed, {"not"}},
    {"DoLea", DoLea, Sees::kNamed, {"lea"}},
};

// Those that read the operands as listed come first (see Sees).
constexpr bool ListedFirst(std::span<const RecognizerEntry> table) {
  bool named = false;
  for (const RecognizerEntry& r : table) {
    if (named && r.Operands == Sees::kListed) return false;
    named = named || r.Operands == Sees::kNamed;
  }
  return true;
}
static_assert(ListedFirst(kDefaultTable));

BodyRange TrimmedFrame(PassContext& ctx) { return TrimFrame(ctx.Code); }

}  // namespace

const Reading& DefaultReading() {
  static const Reading reading("default", kDefaultTable, {}, TrimmedFrame, ReadingTraits{});
  return reading;
}

const Reading* ReadingNamed(std::string_view name) {
  if (name == "default") return &DefaultReading();
  if (name == "extended") return &ExtendedReading();
  return nullptr;
}

}  // namespace asm2pas
