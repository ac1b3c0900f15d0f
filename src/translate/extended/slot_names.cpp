#include "translate/extended/slot_names.h"

#include <optional>
#include <string>

#include "naming/vars.h"

namespace asm2pas {

namespace {

// Calls fn(text, hint) for every operand of entry i, both writable.
template <class Fn>
void ForEachOperand(CodeTable& code, int i, Fn fn) {
  TOpCode& e = code.Mutable(i);
  fn(e.Op1, e.VarHint[0]);
  fn(e.Op2, e.VarHint[1]);
  if (TThirdOperand* third = code.MutableThird(i)) fn(third->Text, third->VarHint);
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
  // The terms, each after the first with its sign.
  std::vector<std::string_view> terms;
  size_t from = 0;
  // Ends: one pass over the text between the brackets.
  for (size_t i = 1; i <= inside.size(); ++i) {
    if (i == inside.size() || inside[i] == '+' || inside[i] == '-') {
      terms.push_back(inside.substr(from, i - from));
      from = i;
    }
  }
  if (terms.size() < 2) return std::nullopt;
  const std::string_view base = terms[0];
  bool indexed = false;
  for (size_t k = 1; k < terms.size(); ++k) {
    const std::string_view t = terms[k].substr(1);
    indexed = indexed || (!t.empty() && t[0] != '$' && (t[0] < '0' || t[0] > '9'));
  }
  const bool absolute = base.starts_with('$');
  if (!((base == "ebp" && (indexed || ebp_varies)) || (absolute && indexed))) return std::nullopt;
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
  for (size_t k = 1; k < terms.size(); ++k) add(terms[k].substr(0, 1), terms[k].substr(1));
  if (absolute) add("+", base);
  text += op.substr(close);
  return text;
}

}  // namespace

// Names every frame slot an operand of a kept entry addresses by its
// place, so that one slot has one name wherever esp stands.
void NameSlots(PassContext& ctx, const StackFacts& stack, const std::vector<char>& drop) {
  CodeTable& code = ctx.Code;
  std::string text;  // kept for its room
  // Ends: one pass over the table, three operands an entry.
  for (int i = 1; i <= code.CodeCount(); ++i) {
    const std::string_view m = code.At(i).OpCode;
    if (drop[static_cast<size_t>(i)] || m == "lea" || m == "pop") continue;
    ForEachOperand(code, i, [&](std::string_view& op, int16_t& hint) {
      std::optional<int32_t> place = stack.SlotOf(i, op);
      // The return address is no variable.
      if (!place || (!stack.FramePointer && *place >= 0 && *place < 4)) return;
      text.assign(op.substr(0, op.find('[')));
      AppendSlotKey(stack, *place, text);
      if (text == op) return;
      hint = stack.FramePointer ? AddVar(ctx.Vars, text)
                                : AddVarOfKind(ctx.Vars, text, *place < 0 ? okLocal : okGlobal);
      op = code.Keep(text);
    });
  }
}

void UnnameNoVariables(CodeTable& code, bool ebp_varies) {
  // Ends: one pass over the table, three operands an entry.
  for (int i = 1; i <= code.CodeCount(); ++i) {
    if (code.At(i).OpCode == "lea") continue;  // an address, no memory read
    ForEachOperand(code, i, [&](std::string_view& op, int16_t& hint) {
      if (std::optional<std::string> text = AsNoVariable(op, ebp_varies)) {
        op = code.Keep(*text);
        hint = kLookUp;
      }
    });
  }
}

}  // namespace asm2pas
