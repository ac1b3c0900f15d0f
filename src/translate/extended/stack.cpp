#include "translate/extended/stack.h"

#include "base/text.h"
#include "listing/number.h"
#include "translate/extended/jumps.h"

namespace asm2pas {

namespace {

// What follows a base register in brackets: "]", "+$N]" or "-$N]" (N of at
// most eight hexadecimal digits, below 2^31), as the displacement.
[[gnu::always_inline]] inline std::optional<int32_t> Displacement(std::string_view key) {
  const size_t n = key.size();
  if (n == 1 && key[0] == ']') return 0;
  if (n < 4 || n > 11 || (key[0] != '+' && key[0] != '-') || key[1] != '$' || key[n - 1] != ']') {
    return std::nullopt;
  }
  uint32_t v = 0;
  // Ends: one pass over at most eight digits.
  for (size_t k = 2; k + 1 < n; ++k) {
    const int d = kHexDigits[static_cast<unsigned char>(key[k])];
    if (d < 0) return std::nullopt;
    v = v << 4 | static_cast<uint32_t>(d);
  }
  if (v > 0x7FFFFFFFu) return std::nullopt;
  return key[0] == '-' ? -static_cast<int32_t>(v) : static_cast<int32_t>(v);
}

// "$10", "-$08", "16": a signed immediate.
std::optional<int32_t> Immediate(std::string_view text) {
  text = TrimBoth(text);
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  std::optional<uint32_t> v = StrictToInt(text);
  if (!v) return std::nullopt;
  const int32_t value = static_cast<int32_t>(*v);
  return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(value)) : value;
}

bool IsWordOperand(std::string_view op) {
  op = TrimBoth(op);
  if (op.starts_with("word ptr")) return true;
  for (std::string_view r : {"ax", "bx", "cx", "dx", "si", "di", "bp", "sp"}) {
    if (op == r) return true;
  }
  return false;
}

// Whether an instruction may do anything to esp or ebp, or end the flow:
// one of the mnemonics Step looks at (the push and pop family by its
// letter), or one that names esp or ebp first (every instruction that
// writes them does, or is xchg). Inline: asked of every entry the walk
// follows.
[[gnu::always_inline]] inline bool MayMoveStack(const TOpCode& e) {
  const std::string_view m = e.OpCode;
  if (m.empty()) return false;
  switch (m[0]) {
    case 'p':
      return true;
    case 'l':
      if (m == "leave") return true;
      break;
    case 'c':
      if (m == "call" || m == "cmpxchg") return true;
      break;
    case 'e':
      if (m == "enter") return true;
      break;
    case 'x':
      if (m == "xchg" || m == "xadd") return true;
      break;
    case 'r':
      if (m == "ret") return true;
      break;
    case 'i':
      if (m == "ijmp") return true;
      break;
    default:
      break;
  }
  // "esp", "sp", "ebp", "bp": most operands end in no p.
  const std::string_view a = e.Op1;
  return a.size() >= 2 && a.back() == 'p' && (a[a.size() - 2] == 's' || a[a.size() - 2] == 'b');
}

// What follows the direct call at entry i (five bytes): 0 for the next
// entry at once, 1 for alignment filler (which the passes took out: the
// next entry up to 15 bytes later, at a multiple of 4), 2 for anything else
// (addresses that do not tell the lengths), -1 for no direct call or no
// next entry.
int AfterDirectCall(const CodeTable& code, int i) {
  const TOpCode& call = code.At(i);
  const std::string_view a = call.Op1;
  if (call.OpCode != "call" || !code.Valid(i + 1) || a.find('[') != std::string_view::npos ||
      (a.size() == 3 && a[0] == 'e')) {
    return -1;
  }
  const uint32_t next = code.At(i + 1).Address, end = call.Address + 5;
  if (next == end) return 0;
  return next > end && next - end < 16 && next % 4 == 0 ? 1 : 2;
}

// gcc's main that aligns the stack (see StackFacts::AlignAt): the push of
// ecx among the saves after the entry's three instructions, or 0. The
// set-up is straight code, which no jump comes into.
int AlignedEcxSave(const CodeTable& code, const std::vector<char>& jumped_to) {
  constexpr int kReach = 24;
  if (code.CodeCount() < 4 || code.At(1).OpCode != "lea" || code.At(1).Op1 != "ecx" ||
      code.At(1).Op2 != "[esp+$04]" || code.At(2).OpCode != "and" || code.At(2).Op1 != "esp" ||
      code.At(3).OpCode != "push" || code.At(3).Op1 != "dword ptr [ecx-$04]") {
    return 0;
  }
  // Ends: at most kReach entries.
  for (int i = 4; i <= kReach && code.Valid(i); ++i) {
    const TOpCode& e = code.At(i);
    if (e.OpCode == "push" && e.Op1 == "ecx") return i;
    if (IsJump(e.OpCode) || e.OpCode == "ret" || e.Op1 == "ecx" || e.Op1 == "esp" ||
        jumped_to[static_cast<size_t>(i)]) {
      return 0;
    }
  }
  return 0;
}

// What one instruction does to esp and ebp, as places.
using Place = StackPlace;

struct Walk {
  Walk(const CodeTable& code, const std::vector<int>& targets, const std::vector<char>& no_return)
      : Code(code), Targets(targets), NoReturn(no_return),
        In(static_cast<size_t>(code.CodeCount()) + 2), JumpedTo(In.size(), 0) {
    const size_t end = std::min(targets.size(), In.size());
    // Ends: one pass over the entries.
    for (size_t i = 1; i < end; ++i) {
      // A target is an entry, or -1: one unsigned test for both.
      const size_t t = static_cast<size_t>(targets[i]);
      if (t < JumpedTo.size()) JumpedTo[t] = 1;
    }
    EcxSaveAt = AlignedEcxSave(code, JumpedTo);
  }

  const CodeTable& Code;
  const std::vector<int>& Targets;
  // Per entry: a direct call found not to return (by an earlier walk);
  // empty where none was.
  const std::vector<char>& NoReturn;
  std::vector<Place> In;
  std::vector<int> Work;
  // Per entry: a jump comes to it.
  std::vector<char> JumpedTo;
  // gcc's main that aligns the stack: ecx's push among the saves (or 0),
  // and the place it pushed ecx to, which holds 4 (the first argument's
  // place) there.
  int EcxSaveAt = 0;
  std::optional<int32_t> EcxSlot;
  // The calls whose way on brought esp deeper than another path to the
  // same entry: what the call did not take off the stack (it does not
  // return, or takes its arguments off itself) went on with that way,
  // which may have been taken before the other path was followed.
  std::vector<int> Contradicted;
  // The ways on after direct calls into entries that jumps come to,
  // followed once nothing else is left. Where one brings esp another place
  // than the paths that reach the entry without it, the call does not
  // return (compiled code keeps esp at one place wherever paths meet), and
  // the way is dropped.
  struct AfterCall {
    int To = 0;
    Place At;
  };
  std::vector<AfterCall> AfterCalls;
  // The same after calls that filler follows, followed after all others:
  // a compiler aligns a label after a call that does not return, so their
  // entries are likely to be reached by other paths first.
  std::vector<AfterCall> AfterFillerCalls;
  // The addresses tell the length of every direct call, so that filler
  // after one is seen. A compiler puts filler only where no instruction
  // falls: the call does not return. Found when a call first asks.
  bool FillerTold() {
    if (!filler_told_) {
      bool told = true;
      // Ends: one pass over the entries, or at the first call they do not tell.
      for (int i = 1; i <= Code.CodeCount() && told; ++i) {
        told = Code.At(i).OpCode != "call" || AfterDirectCall(Code, i) != 2;
      }
      filler_told_ = told;
    }
    return *filler_told_;
  }
  std::optional<bool> filler_told_;
  // Every ijmp reached, and the place it jumps from (they must agree).
  bool IjmpSeen = false;
  bool IjmpsAgree = true;
  Place AtIjmp;

  // Merges a place into entry j; queues it when that changes it. Each entry
  // changes at most three times (set, esp lost, ebp lost).
  void Reach(int j, const Place& p) {
    if (!Code.Valid(j)) return;
    Place& in = In[static_cast<size_t>(j)];
    bool changed = false;
    if (!in.Set) {
      in = p;
      in.Set = true;
      changed = true;
    } else {
      if (!in.EspLost && (p.EspLost || p.Esp != in.Esp)) {
        const Place& deeper = p.Esp < in.Esp ? p : in;
        if (!p.EspLost && deeper.ByWayAfter >= 1) Contradicted.push_back(deeper.ByWayAfter);
        in.EspLost = true;
        changed = true;
      }
      if (in.Ebp() && (!p.Ebp() || *p.Ebp() != *in.Ebp())) {
        in.LoseEbp();
        changed = true;
      }
    }
    if (changed) Work.push_back(j);
  }

  // The place after entry i, and where it goes. An entry that leaves the
  // stack as it is and falls into one not reached yet hands its place on
  // at once (a conditional jump after it has queued its target): that
  // entry would be queued and taken next, as it is here.
  void Step(int i) {
    // Ends: i only grows, up to the last entry.
    for (;; ++i) {
      const TOpCode& e = Code.At(i);
      if (MayMoveStack(e)) break;
      const Place& p = In[static_cast<size_t>(i)];
      // Most instructions: on to the next, or where a jump goes.
      if (IsJump(e.OpCode)) {
        const int t = Targets[static_cast<size_t>(i)];
        if (t >= 1) Reach(t, p);
        if (e.OpCode == "jmp") return;
      }
      if (!Code.Valid(i + 1) || In[static_cast<size_t>(i) + 1].Set) {
        Reach(i + 1, p);
        return;
      }
      In[static_cast<size_t>(i) + 1] = p;
    }
    Move(i);
  }

  // Step for an entry that may move the stack: kept apart, so that the
  // common entries' loop stays small.
  [[gnu::noinline]] void Move(int i) {
    const TOpCode& e = Code.At(i);
    const std::string_view m = e.OpCode, a = e.Op1, b = e.Op2;
    Place p = In[static_cast<size_t>(i)];
    auto lose_esp = [&] { p.EspLost = true; };
    if (m == "ret") return;
    if (m == "ijmp") {
      if (IjmpSeen && (p.EspLost != AtIjmp.EspLost || p.Esp != AtIjmp.Esp)) IjmpsAgree = false;
      IjmpSeen = true;
      AtIjmp = p;
      return;
    }
    if (m == "push" || m == "pushfd" || m == "pushf") {
      p.Esp -= (m == "pushf" || IsWordOperand(a)) ? 2 : 4;
      if (i == EcxSaveAt && !p.EspLost) EcxSlot = p.Esp;
    } else if (m == "pop" || m == "popfd" || m == "popf") {
      p.Esp += (m == "popf" || IsWordOperand(a)) ? 2 : 4;
      if (a == "ebp" || a == "bp") p.LoseEbp();
      if (a == "esp" || a == "sp") lose_esp();
    } else if (m == "pushad" || m == "pusha") {
      p.Esp -= m == "pusha" ? 16 : 32;
    } else if (m == "popad" || m == "popa") {
      p.Esp += m == "popa" ? 16 : 32;
      p.LoseEbp();
    } else if (m == "leave") {
      if (p.Ebp()) {
        p.Esp = *p.Ebp() + 4;
      } else {
        lose_esp();
      }
      p.LoseEbp();
    } else if (m == "call") {
      // Free Pascal's callee takes its stack parameters off, and the caller
      // reserves their room again at once.
      const TOpCode& next = Code.At(i + 1);
      if (next.OpCode == "lea" && next.Op1 == "esp") {
        std::optional<FrameOperand> f = ParseFrameOperand(next.Op2);
        if (f && !f->OnEbp && f->Disp < 0) p.Esp -= f->Disp;
      }
      const bool direct = a.find('[') == std::string_view::npos && !(a.size() == 3 && a[0] == 'e');
      if (direct && JumpedTo[static_cast<size_t>(i) + 1]) {
        if (!NoReturn.empty() && NoReturn[static_cast<size_t>(i)]) return;
        (AfterDirectCall(Code, i) == 1 ? AfterFillerCalls : AfterCalls).push_back({i + 1, p});
        return;
      }
      if (FillerTold() && AfterDirectCall(Code, i) == 1) return;
    } else if (m == "enter" || m == "xchg" || m == "cmpxchg" || m == "xadd") {
      if (a == "esp" || b == "esp" || a == "sp" || b == "sp") lose_esp();
      if (a == "ebp" || b == "ebp" || a == "bp" || b == "bp" || m == "enter") p.LoseEbp();
      if (m == "enter") lose_esp();
    } else if (a == "esp" || a == "sp") {
      std::optional<int32_t> change = EspChange(e);
      std::optional<FrameOperand> f = m == "lea" ? ParseFrameOperand(b) : std::nullopt;
      if (change) {
        p.Esp += *change;
      } else if (a == "esp" && f && f->OnEbp && p.Ebp()) {
        p.Esp = *p.Ebp() + f->Disp;
      } else if (a == "esp" && m == "mov" && b == "ebp" && p.Ebp()) {
        p.Esp = *p.Ebp();
      } else if (EcxSaveAt != 0 && i == 2 && m == "and") {
        // Taken as aligned already.
      } else if (std::optional<int32_t> from_ecx = FromEcxSaved(i); from_ecx && a == "esp") {
        p.Esp = *from_ecx;
      } else if (m != "cmp" && m != "test" && m != "push") {
        lose_esp();
      }
    } else if ((a == "ebp" || a == "bp") && m != "cmp" && m != "test") {
      std::optional<FrameOperand> f = m == "lea" ? ParseFrameOperand(b) : std::nullopt;
      if (a == "ebp" && m == "mov" && b == "esp" && !p.EspLost) {
        p.SetEbp(p.Esp);
      } else if (a == "ebp" && f && !f->OnEbp && !p.EspLost) {
        p.SetEbp(p.Esp + f->Disp);
      } else {
        p.LoseEbp();
      }
    }
    if (!m.empty() && m[0] == 'j') {
      const int t = Targets[static_cast<size_t>(i)];
      if (t >= 1) Reach(t, p);
      if (m == "jmp") return;
    }
    Reach(i + 1, p);
  }

  // Where `lea esp, [ecx+D]` at entry i loads esp in gcc's main that
  // aligns the stack, after the pops that restore ecx from its slot (and
  // other registers) in straight code: the place, 4 + D.
  std::optional<int32_t> FromEcxSaved(int i) const {
    const TOpCode& e = Code.At(i);
    if (EcxSaveAt == 0 || !EcxSlot || e.OpCode != "lea" || !e.Op2.starts_with("[ecx")) {
      return std::nullopt;
    }
    const std::optional<int32_t> disp = Displacement(e.Op2.substr(4));
    if (!disp) return std::nullopt;
    int k = i - 1;
    // Ends: k only falls, over pops of other registers.
    while (k >= 1 && Code.At(k).OpCode == "pop" && Code.At(k).Op1 != "ecx" &&
           !JumpedTo[static_cast<size_t>(k) + 1]) {
      --k;
    }
    if (k < 1 || Code.At(k).OpCode != "pop" || Code.At(k).Op1 != "ecx" ||
        JumpedTo[static_cast<size_t>(k) + 1]) {
      return std::nullopt;
    }
    const Place& at = In[static_cast<size_t>(k)];
    if (!at.Set || at.EspLost || at.Esp != *EcxSlot) return std::nullopt;
    return 4 + *disp;
  }

  // Follows the queued entries, then the ways after calls; those after
  // calls that filler follows only where `filler_ways`.
  void Run(bool filler_ways) {
    // Ends: every entry is queued at most once per change, and changes at
    // most three times; every way on after a call is taken once.
    for (;;) {
      while (!Work.empty()) {
        const int i = Work.back();
        Work.pop_back();
        Step(i);
      }
      std::vector<AfterCall>& ways = AfterCalls.empty() ? AfterFillerCalls : AfterCalls;
      if (ways.empty() || (&ways == &AfterFillerCalls && !filler_ways)) return;
      const AfterCall way = ways.back();
      ways.pop_back();
      const Place& in = In[static_cast<size_t>(way.To)];
      if (!in.Set || in.EspLost || way.At.EspLost || in.Esp == way.At.Esp) {
        Place at = way.At;
        at.ByWayAfter = static_cast<uint32_t>(way.To - 1);
        Reach(way.To, at);
      }
    }
  }
};

// Whether the operand may address a frame slot: its text ends in "]",
// blanks aside, as every slot's does. ParseFrameOperand's first test, made
// inline where every operand is asked.
[[gnu::always_inline]] inline bool MayAddressMemory(std::string_view op) {
  return !op.empty() && (op.back() == ']' || IsBlankish(op.back()));
}

// ParseFrameOperand for any text: blanks around the parts, any size
// keyword before the bracket.
std::optional<FrameOperand> ReadFrameOperand(std::string_view operand) {
  const std::string_view end = TrimTrailing(operand);
  if (end.empty() || end.back() != ']') return std::nullopt;
  const size_t open = operand.find('[');
  if (open == std::string_view::npos || open + 1 == operand.size() || operand[open + 1] != 'e') {
    return std::nullopt;
  }
  // Before the bracket, nothing or a size keyword: no segment.
  const std::string_view prefix = TrimBoth(operand.substr(0, open));
  if (!prefix.empty() && !prefix.ends_with(" ptr")) return std::nullopt;
  std::string_view key = TrimBoth(operand.substr(open));
  FrameOperand f;
  if (key.starts_with("[ebp")) {
    f.OnEbp = true;
  } else if (!key.starts_with("[esp")) {
    return std::nullopt;
  }
  std::optional<int32_t> disp = Displacement(key.substr(4));
  if (!disp) return std::nullopt;
  f.Disp = *disp;
  return f;
}

// Where the "[" after a size keyword of four or five small letters
// ("byte ptr [", "dword ptr [") stands, which is then the first; or 0.
size_t AfterSizeKeyword(std::string_view op) {
  // Ends: two places.
  for (size_t open = 9; open <= 10; ++open) {
    if (op.size() <= open || op[open] != '[' || op.substr(open - 5, 5) != " ptr ") continue;
    bool letters = true;
    // Ends: at most five letters.
    for (size_t k = 0; k + 5 < open; ++k) letters = letters && op[k] >= 'a' && op[k] <= 'z';
    return letters ? open : 0;
  }
  return 0;
}

}  // namespace

std::optional<FrameOperand> ParseFrameOperand(std::string_view operand) {
  // Most operands are registers or numbers, which end in no bracket.
  if (!MayAddressMemory(operand)) return std::nullopt;
  if (operand.back() != ']') return ReadFrameOperand(operand);
  // The forms listings write, "[ebp-$1C]" and "dword ptr [esp+$08]", are
  // read here; a text with blanks elsewhere goes to the general reading.
  const size_t open = operand[0] == '[' ? 0 : AfterSizeKeyword(operand);
  if (open == 0 && operand[0] != '[') return ReadFrameOperand(operand);
  const std::string_view key = operand.substr(open);
  if (key.size() < 5 || key[1] != 'e' || key[3] != 'p' || (key[2] != 'b' && key[2] != 's')) {
    return std::nullopt;
  }
  std::optional<int32_t> disp = Displacement(key.substr(4));
  if (!disp) return std::nullopt;
  return FrameOperand{key[2] == 'b', *disp};
}

std::optional<int32_t> EspChange(const TOpCode& e) {
  if (e.Op1 != "esp") return std::nullopt;
  if (e.OpCode == "lea") {
    std::optional<FrameOperand> f = ParseFrameOperand(e.Op2);
    if (!f || f->OnEbp) return std::nullopt;
    return f->Disp;
  }
  if (e.OpCode != "sub" && e.OpCode != "add") return std::nullopt;
  std::optional<int32_t> n = Immediate(e.Op2);
  if (!n) return std::nullopt;
  return e.OpCode == "add" ? *n : static_cast<int32_t>(0u - static_cast<uint32_t>(*n));
}

namespace {

// Follows the routine from its entry, and the blocks of its switches.
void FollowAll(Walk& walk) {
  const CodeTable& code = walk.Code;
  const int n = code.CodeCount();
  walk.Reach(1, Place{});
  walk.Run(false);
  // The targets of indirect jumps (a switch's table) are the blocks no
  // path shows; they start where the ijmp stood: after a jmp, ret or ijmp,
  // or after a call that filler follows (one that does not return; the
  // way on after it comes last, below).
  if (walk.IjmpSeen && walk.IjmpsAgree) {
    // Ends: one pass over the entries, each seed followed to its end.
    for (int i = 2; i <= n; ++i) {
      const bool no_return = walk.FillerTold() && AfterDirectCall(code, i - 1) == 1;
      if (!walk.In[static_cast<size_t>(i)].Set && (EndsFlow(code.At(i - 1).OpCode) || no_return)) {
        walk.Reach(i, walk.AtIjmp);
        walk.Run(false);
      }
    }
  }
  walk.Run(true);
}

}  // namespace

StackFacts FollowStack(const CodeTable& code, const std::vector<int>& targets) {
  const int n = code.CodeCount();
  // Made only when a round finds a call that does not return.
  std::vector<char> no_return;
  std::optional<Walk> followed;
  // A way on after a call may be taken before the jump that contradicts
  // it: that call does not return (a noreturn call that a label follows),
  // and the walk is made again without its way.
  // Ends: each round finds new calls that do not return, or is the last;
  // at most four rounds keep the walk linear.
  for (int round = 0; round < 4; ++round) {
    Walk& walk = followed.emplace(code, targets, no_return);
    FollowAll(walk);
    bool found = false;
    if (!walk.Contradicted.empty()) no_return.resize(static_cast<size_t>(n) + 2, 0);
    // Ends: one pass over the calls found.
    for (int call : walk.Contradicted) {
      char& marked = no_return[static_cast<size_t>(call)];
      found = found || !marked;
      marked = 1;
    }
    if (!found) break;
  }
  Walk& walk = *followed;

  StackFacts facts;
  facts.Ok = n >= 1 && walk.IjmpsAgree;
  if (walk.EcxSaveAt != 0 && walk.EcxSlot) {
    facts.AlignAt = 2;
    facts.EcxSaveAt = walk.EcxSaveAt;
  }
  // Room for one slot an entry, so that the lists seldom move; pages are
  // touched only as they fill.
  facts.SlotsFrom.reserve(static_cast<size_t>(n) + 2);
  facts.Slots.reserve(static_cast<size_t>(n));
  facts.NameVariables.reserve(static_cast<size_t>(n));
  facts.SlotsFrom.push_back(0);  // index 0, no entry
  int frame_sets = 0;
  bool ok = facts.Ok;  // kept in registers while the lists grow
  int returns = 0;
  // Ends: one pass over the entries, three operands an entry.
  for (int i = 1; i <= n; ++i) {
    const Place& p = walk.In[static_cast<size_t>(i)];
    const TOpCode& e = code.At(i);
    // The last letter first: most operands name neither ebp nor bp.
    const std::string_view a = e.Op1;
    const bool names_ebp = (!a.empty() && a.back() == 'p' && (a == "ebp" || a == "bp")) ||
                           (e.OpCode == "xchg" && e.Op2 == "ebp");
    const bool sets_frame = names_ebp && e.OpCode == "mov" && e.Op1 == "ebp" && e.Op2 == "esp";
    if (names_ebp && !sets_frame && e.OpCode != "cmp" && e.OpCode != "test" &&
        e.OpCode != "push" && e.OpCode != "pop") {
      facts.EbpVaries = true;
    }
    // Asked only where it serves: for a ret reached, or for the count
    // while every entry was followed.
    const bool ret = (p.Set || ok) && e.OpCode == "ret";
    if (p.Set) {
      if (p.EspLost || (ret && p.Esp != 0)) ok = false;
      if (sets_frame) {
        ++frame_sets;
        facts.FramePointer = p.Esp;
      }
    }
    // The slots and the operands that name variables serve only where the
    // walk followed every entry.
    if (!ok) continue;
    returns += ret ? 1 : 0;
    facts.SlotsFrom.push_back(static_cast<int32_t>(facts.Slots.size()));
    const std::string_view third = code.Op3(i);
    bool slot[2] = {false, false};
    if (p.Set) {
      // Whether operand k addresses a frame slot; notes the slot.
      auto place = [&](int k, std::string_view op) {
        // Most operands are registers or numbers: no call for them.
        if (!MayAddressMemory(op)) return false;
        std::optional<FrameOperand> f = ParseFrameOperand(op);
        if (!f) return false;
        const std::optional<int32_t> base = f->OnEbp ? p.Ebp() : std::optional<int32_t>(p.Esp);
        if (!base) return false;
        const int32_t at = *base + f->Disp;
        // After the and, esp was taken as aligned: no slot lies at the
        // return address's copy or above.
        if (facts.AlignAt != 0 && i > facts.AlignAt && at >= -4) ok = false;
        facts.Slots.push_back({at, 4 * i + k});
        return true;
      };
      slot[0] = place(0, e.Op1);
      slot[1] = place(1, e.Op2);
      place(2, third);
    }
    // An operand shorter than "[a+b]" holds no address of two terms: a
    // register.
    auto may_name = [&](int k, std::string_view op) {
      return e.VarHint[k] >= 1 && !slot[k] && op.size() >= 5;
    };
    if (may_name(0, e.Op1) || may_name(1, e.Op2) || !third.empty()) {
      facts.NameVariables.push_back(i);
    }
  }
  facts.SlotsFrom.push_back(static_cast<int32_t>(facts.Slots.size()));
  facts.Ok = ok;
  facts.Returns = returns;
  if (frame_sets > 1) facts.EbpVaries = true;
  if (facts.EbpVaries) facts.FramePointer.reset();
  // Where an entry is not reached, the walk left esp 0 and no ebp.
  facts.At = std::move(walk.In);
  facts.JumpsTo = std::move(walk.JumpedTo);
  return facts;
}

std::string_view SlotKey(const StackFacts& stack, int32_t place, SlotKeyText& room) {
  const bool from_ebp = stack.FramePointer.has_value();
  const int64_t offset = from_ebp ? int64_t{place} - *stack.FramePointer : place;
  size_t n = 0;
  auto put = [&](std::string_view text) {
    for (char c : text) room[n++] = c;
  };
  put(from_ebp ? "[ebp" : "[esp0");
  if (offset != 0) {
    // As listings write numbers: "$" and two, four or eight digits.
    uint64_t v = static_cast<uint64_t>(offset < 0 ? -offset : offset);
    int digits = v > 0xFFFF ? 8 : v > 0xFF ? 4 : 2;
    put(offset < 0 ? "-$" : "+$");
    // Ends: one pass per digit.
    for (int d = digits - 1; d >= 0; --d) room[n++] = "0123456789ABCDEF"[(v >> (4 * d)) & 0xF];
  }
  put("]");
  return std::string_view(room.data(), n);
}

}  // namespace asm2pas
