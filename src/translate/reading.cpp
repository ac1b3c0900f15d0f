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
  // Every distinct mnemonic the table declares, each with its recognisers
  // in table order.
  std::vector<std::string_view> keys;
  for (const RecognizerEntry& r : table) {
    for (std::string_view m : r.Mnemonics) {
      if (!m.empty() && m != kAnyMnemonic && std::find(keys.begin(), keys.end(), m) == keys.end()) {
        keys.push_back(m);
      }
    }
  }
  // Which recognisers declared any mnemonic, found once.
  std::vector<char> any(table.size());
  for (size_t k = 0; k < table.size(); ++k) {
    const auto& m = table[k].Mnemonics;
    any[k] = std::find(m.begin(), m.end(), kAnyMnemonic) != m.end();
  }
  auto declares = [&](const RecognizerEntry& r, std::string_view key) {
    return any[static_cast<size_t>(&r - table.data())] ||
           std::find(r.Mnemonics.begin(), r.Mnemonics.end(), key) != r.Mnemonics.end();
  };
  // Every other mnemonic meets only those declaring any.
  any_first_ = static_cast<uint32_t>(lists_.size());
  for (const RecognizerEntry& r : table) {
    if (declares(r, kAnyMnemonic)) {
      lists_.push_back(&r);
      ++any_count_;
    }
  }
  size_t size = 16;
  // Ends: size doubles until it holds twice the keys.
  while (size < 2 * keys.size()) size *= 2;
  slots_.assign(size, Slot{});
  for (std::string_view key : keys) {
    Slot slot{key, static_cast<uint32_t>(lists_.size()), 0};
    for (const RecognizerEntry& r : table) {
      if (declares(r, key)) {
        lists_.push_back(&r);
        ++slot.Count;
      }
    }
    // Ends: the slots are never more than half full, so a free one comes.
    size_t s = Hash(key) & (size - 1);
    while (!slots_[s].Mnemonic.empty()) s = (s + 1) & (size - 1);
    slots_[s] = slot;
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
