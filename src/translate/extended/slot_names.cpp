#include "translate/extended/slot_names.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "naming/vars.h"

namespace asm2pas {

namespace {

// Calls fn(k, text, hint) for every operand k of entry i, text and hint
// writable.
template <class Fn>
void ForEachOperand(CodeTable& code, int i, Fn fn) {
  TOpCode& e = code.Mutable(i);
  fn(0, e.Op1, e.VarHint[0]);
  fn(1, e.Op2, e.VarHint[1]);
  if (TThirdOperand* third = code.MutableThird(i)) fn(2, third->Text, third->VarHint);
}

// Operand k (0 to 2) of entry i, text and hint writable; the entry has it.
struct OperandRef {
  std::string_view* Text;
  int16_t* Hint;
};
OperandRef OperandOf(CodeTable& code, int i, int k) {
  if (k < 2) {
    TOpCode& e = code.Mutable(i);
    return {k == 0 ? &e.Op1 : &e.Op2, &e.VarHint[k]};
  }
  TThirdOperand* third = code.MutableThird(i);
  return {&third->Text, &third->VarHint};
}

// A memory operand whose text marks it as a variable (a base of ebp, an
// absolute address) though it is none: indexed by a register (an element
// of an array), or through ebp where ebp is no frame pointer but a register
// the routine computes with (a different place whenever ebp changes). It
// is written with blanks around its signs and an absolute address last,
// "[ebp + ebx*4 + $10]", "[eax*4 + $00405000]": texts no listing gives a
// variable. Nothing when the operand is none of these.
std::optional<std::string> AsNoVariable(std::string_view op, bool ebp_varies) {
  const size_t open = op.find('['), close = op.rfind(']');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    return std::nullopt;
  }
  const std::string_view inside = op.substr(open + 1, close - open - 1);
  const bool absolute = inside.starts_with('$');
  if (!absolute && !inside.starts_with("ebp+") && !inside.starts_with("ebp-")) return std::nullopt;
  // Calls fn(sign, term) for the terms after the first, each with its sign.
  auto each_term = [&](auto fn) {
    size_t from = inside.find_first_of("+-", 1);
    // Ends: every pass moves past one term.
    while (from != std::string_view::npos) {
      const size_t next = inside.find_first_of("+-", from + 1);
      const size_t end = next == std::string_view::npos ? inside.size() : next;
      fn(inside.substr(from, 1), inside.substr(from + 1, end - from - 1));
      from = next;
    }
  };
  // A term after the first that starts with neither "$" nor a digit.
  bool indexed = false;
  // Ends: one pass over the operand, or at the first such term.
  for (size_t p = 1; p + 1 < inside.size() && !indexed; ++p) {
    if (inside[p] != '+' && inside[p] != '-') continue;
    const char c = inside[p + 1];  // an empty term starts with the next sign
    indexed = c != '+' && c != '-' && c != '$' && (c < '0' || c > '9');
  }
  if (!indexed && (absolute || !ebp_varies)) return std::nullopt;
  const std::string_view base = inside.substr(0, inside.find_first_of("+-", 1));
  std::string text(op.substr(0, open + 1));
  auto add = [&](std::string_view sign, std::string_view term) {
    if (text.size() > open + 1) {
      text.append(" ").append(sign).append(" ");
    } else if (sign == "-") {
      text += '-';
    }
    text += term;
  };
  if (!absolute) add("+", base);
  each_term(add);
  if (absolute) add("+", base);
  text += op.substr(close);
  return text;
}

// Where the operand's first "[" stands: at its start in most slots' texts,
// found then with no search.
size_t OpenBracket(std::string_view op) { return !op.empty() && op[0] == '[' ? 0 : op.find('['); }

// Place -> a one-based index, for the places of a routine's slots: a flat
// table over their span where it is small, as a frame's is, else a hash
// index.
class PlaceIndex {
 public:
  PlaceIndex() = default;
  explicit PlaceIndex(const std::vector<StackFacts::SlotUse>& slots) {
    if (slots.empty()) return;
    int32_t lowest = slots[0].Place, highest = slots[0].Place;
    // Ends: one pass over the slots.
    for (const StackFacts::SlotUse& use : slots) {
      lowest = std::min(lowest, use.Place);
      highest = std::max(highest, use.Place);
    }
    const int64_t span = int64_t{highest} - lowest + 1;
    if (span <= 8 * static_cast<int64_t>(slots.size()) + 64) {
      lowest_ = lowest;
      flat_.assign(static_cast<size_t>(span), 0);
    }
  }
  // The index given the place, or -1; only for places of the slots.
  int Find(int32_t place) const {
    if (flat_.empty()) return hashed_.Find(static_cast<uint32_t>(place));
    const int index = flat_[static_cast<size_t>(int64_t{place} - lowest_)];
    return index != 0 ? index : -1;
  }
  void Insert(int32_t place, int index) {
    if (flat_.empty()) {
      hashed_.Insert(static_cast<uint32_t>(place), index);
    } else {
      flat_[static_cast<size_t>(int64_t{place} - lowest_)] = index;
    }
  }

 private:
  int32_t lowest_ = 0;
  std::vector<int> flat_;  // by place - lowest_: the index, 0 for none
  AddressIndex hashed_;
};

}  // namespace

// Names every frame slot an operand of a kept entry addresses by its
// place, so that one slot has one name wherever esp stands. With a frame
// pointer, a slot keeps the text the listing first gives it from ebp, so
// that its variable is the one the reading registered.
void NameSlots(PassContext& ctx, const StackFacts& stack, const std::vector<char>& drop) {
  CodeTable& code = ctx.Code;
  // An lea of a slot gives the slot's address (but one that moves esp).
  auto kept = [&](int i) {
    const TOpCode& e = code.At(i);
    return !drop[static_cast<size_t>(i)] && e.OpCode != "pop" &&
           (e.OpCode != "lea" || e.Op1 != "esp");
  };
  // Place -> "[ebp-$0C]", the first text each place is given from ebp: the
  // index (from 1) into `firsts`. Only a routine with a frame pointer
  // gives first texts.
  PlaceIndex first_at;
  if (stack.FramePointer) first_at = PlaceIndex(stack.Slots);
  std::vector<std::string_view> firsts;
  std::string text;  // kept for its room
  SlotKeyText room;
  // Names the operand by its place's key, where it reads otherwise.
  auto name = [&](const StackFacts::SlotUse& use) {
    const int32_t place = use.Place;
    // The return address is no variable.
    if (!stack.FramePointer && place >= 0 && place < 4) return;
    const OperandRef operand = OperandOf(code, use.Entry(), use.Operand());
    std::string_view& op = *operand.Text;
    const size_t open = OpenBracket(op);
    const int first = first_at.Find(place);
    const std::string_view key =
        first >= 1 ? firsts[static_cast<size_t>(first) - 1] : SlotKey(stack, place, room);
    if (TrimBoth(op.substr(open)) == key) return;
    text.assign(op.substr(0, open));
    text += key;
    *operand.Hint = stack.FramePointer
                        ? AddVar(ctx.Vars, text)
                        : AddVarOfKind(ctx.Vars, text, place < 0 ? okLocal : okGlobal);
    op = code.Keep(text);
  };
  if (!stack.FramePointer) {
    // Ends: one pass over the slots.
    for (const StackFacts::SlotUse& use : stack.Slots) {
      if (kept(use.Entry())) name(use);
    }
    return;
  }
  // With a frame pointer, the first texts are found in one pass, which
  // passes over every operand from ebp that reads as its key already (the
  // first text of its place, found by then); the others are named after
  // it, in the same order, as a second pass over all would name them.
  std::vector<const StackFacts::SlotUse*> rest;
  // Ends: one pass over the slots.
  for (const StackFacts::SlotUse& use : stack.Slots) {
    if (!kept(use.Entry())) continue;
    const std::string_view op = *OperandOf(code, use.Entry(), use.Operand()).Text;
    const size_t open = OpenBracket(op);
    // A slot's text reads "[ebp" or "[esp" from its bracket on.
    if (op[open + 2] == 'b') {
      const int first = first_at.Find(use.Place);
      if (first < 0) {
        firsts.push_back(TrimBoth(op.substr(open)));
        first_at.Insert(use.Place, static_cast<int>(firsts.size()));
        continue;
      }
      if (TrimBoth(op.substr(open)) == firsts[static_cast<size_t>(first) - 1]) continue;
    }
    rest.push_back(&use);
  }
  // Ends: one pass over the operands left.
  for (const StackFacts::SlotUse* use : rest) name(*use);
}

namespace {

// Whether a sign in the operand, after its first character, is followed
// by something other than a sign, "$" or a digit: where it holds for no
// sign, no term of an address in it is indexed (AsNoVariable's test, made
// on the whole text at once).
bool MayBeIndexed(std::string_view op) {
  // Ends: one pass over the operand.
  for (size_t p = 1; p + 1 < op.size(); ++p) {
    if (op[p] != '+' && op[p] != '-') continue;
    const char c = op[p + 1];
    if (c != '+' && c != '-' && c != '$' && (c < '0' || c > '9')) return true;
  }
  return false;
}

}  // namespace

void UnnameNoVariables(CodeTable& code, bool ebp_varies, const StackFacts* slots) {
  // The slot uses not passed yet begin here: the operands are asked for in
  // the order of the list.
  size_t next = 0;
  auto is_slot = [&](int i, int k) {
    const int32_t at = 4 * i + k;
    // Ends: next only grows, up to the list's end.
    while (next < slots->Slots.size() && slots->Slots[next].At < at) ++next;
    return next < slots->Slots.size() && slots->Slots[next].At == at;
  };
  auto unname = [&](int i) {
    // An address, no memory read: but one through ebp names no variable
    // either where ebp varies.
    if (code.At(i).OpCode == "lea" && !ebp_varies) return;
    ForEachOperand(code, i, [&](int k, std::string_view& op, int16_t& hint) {
      if (hint < 1) return;  // named by no variable already
      // Where ebp keeps its place, only an indexed address is none.
      if (!ebp_varies && ((slots && is_slot(i, k)) || !MayBeIndexed(op))) return;
      if (std::optional<std::string> text = AsNoVariable(op, ebp_varies)) {
        op = code.Keep(*text);
        hint = kLookUp;
      }
    });
  };
  // Where ebp keeps its place, the slots are passed over, and the other
  // operands that name variables are those the stack facts list.
  if (slots && !ebp_varies) {
    // Ends: one pass over the entries listed.
    for (int i : slots->NameVariables) unname(i);
    return;
  }
  // Ends: one pass over the table, three operands an entry.
  for (int i = 1; i <= code.CodeCount(); ++i) unname(i);
}

}  // namespace asm2pas
