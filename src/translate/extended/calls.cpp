#include "translate/extended/calls.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "listing/format.h"
#include "output/writer.h"
#include "translate/extended/claims.h"
#include "translate/extended/expressions.h"
#include "translate/flow.h"

namespace asm2pas {

namespace {

// The entries a call site may span before its call.
constexpr int kMaxSite = 24;

// What a call's statement names the routine it calls by, after the word
// function: the symbol or address of a direct call; the register, the
// variable or the memory (as its address in brackets) that holds the
// routine of an indirect one. Empty for anything else, and for memory
// relative to esp when pushes before the call moved it.
std::string_view CallTarget(const VarTable& vars, std::string_view listed, bool esp_moved) {
  const OperandInfo op = Classify(listed);
  if (op.Form == OperandForm::kNone || op.Form == OperandForm::kImmediate) {
    const bool direct = listed.find('[') == std::string_view::npos && RegisterOf(listed) == 0 &&
                        listed.find(' ') == std::string_view::npos;
    return direct ? listed : std::string_view();
  }
  const bool named = FindVar(vars, listed) >= 1;
  if (op.Bits != 32 || (esp_moved && (op.Reads & kEsp) != 0 && !named)) return {};
  std::string_view value = Value(vars, listed);
  if (!named && op.Form == OperandForm::kMemory) value = value.substr(value.find('['));
  return value;
}

// "$" and at least two hexadecimal digits, an even number of them, as the
// listing writes numbers.
std::string Hex(uint32_t value) {
  std::string digits;
  // Ends: a digit per pass, at most eight.
  do {
    digits.insert(digits.begin(), "0123456789ABCDEF"[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (digits.size() % 2 != 0) digits.insert(digits.begin(), '0');
  return "$" + digits;
}

// The offset of an esp-relative memory operand with nothing but a number
// added to esp ([esp], [esp+$2C]), after its size keyword; nothing for any
// other.
std::optional<uint32_t> EspOffset(std::string_view listed, std::string_view& keyword) {
  const std::string_view t = TrimBoth(listed);
  const size_t open = t.find('[');
  if (open == std::string_view::npos || t.back() != ']') return std::nullopt;
  keyword = t.substr(0, open);
  const std::string_view inner = t.substr(open + 1, t.size() - open - 2);
  if (inner == "esp") return 0u;
  if (!inner.starts_with("esp+")) return std::nullopt;
  return Immediate(inner.substr(4));
}

// What a call site reads and writes, so that its statements say exactly
// what it does. The pushes become the call's arguments and the loads of
// eax, ecx and edx among them (which a push may read) are said just before
// the call: both are said later than the code does them, so what they read
// must not change before the call, and every value is said as it stands
// where the site begins (a register loaded in the site by the expression it
// was loaded with; esp-relative memory relative to the esp there, which the
// site's pushes and padding, `Depth` bytes so far, moved since). Any other
// instruction among them stays where it is, as the statement it is alone.
struct SiteValues {
  explicit SiteValues(const VarTable& vars) : Vars(vars) {}

  const VarTable& Vars;
  uint32_t Depth = 0;
  RegSet Loaded = 0;      // registers loaded in the site
  RegSet ReadLater = 0;   // registers read by what is said later
  RegSet ReadAsLoaded = 0;  // loaded registers a push read, as loaded
  bool MemoryLater = false;  // memory read by what is said later
  std::string Load[3];    // what eax, ecx and edx were loaded with
  int LoadedAt[3] = {0, 0, 0};

  static int Slot(RegSet reg) { return reg == kEax ? 0 : reg == kEcx ? 1 : 2; }

  // An operand of 32 bits, or an immediate, as a value said later; false
  // when it is none or reads a register loaded in the site (a pushed
  // register so loaded excepted, which gives what it was loaded with).
  bool Operand(std::string_view listed, std::string& out) {
    const OperandInfo op = Classify(listed);
    if (op.Form == OperandForm::kImmediate) {
      out = TrimBoth(listed);
      return true;
    }
    if ((op.Form != OperandForm::kRegister && op.Form != OperandForm::kMemory) || op.Bits != 32) {
      return false;
    }
    if (op.Form == OperandForm::kRegister && (op.Reads & Loaded) != 0) {
      out = Load[Slot(op.Reads)];
      return true;
    }
    if ((op.Reads & Loaded) != 0) {
      // Memory addressed by a register loaded in the site: the load said
      // before the call must be the one the push read, so the register
      // is loaded no more.
      if ((op.Reads & ~Loaded & kEsp) != 0) return false;
      ReadAsLoaded |= static_cast<RegSet>(op.Reads & Loaded);
      ReadLater |= static_cast<RegSet>(op.Reads & ~Loaded);
      MemoryLater = true;
      out = Value(Vars, listed);
      return true;
    }
    ReadLater |= op.Reads;
    MemoryLater = MemoryLater || op.Form == OperandForm::kMemory;
    std::string_view keyword;
    if ((op.Reads & kEsp) != 0 && FindVar(Vars, listed) < 1) {
      std::optional<uint32_t> at = EspOffset(listed, keyword);
      if (!at || *at < Depth) return false;  // below it: pushed in the site
      out = keyword;
      out += *at == Depth ? "[esp]" : "[esp+" + Hex(*at - Depth) + "]";
      return true;
    }
    out = Value(Vars, listed);
    return true;
  }

  // The address an lea loads, as above.
  bool Address(std::string_view listed, std::string& out) {
    const RegSet reads = RegistersIn(listed);
    if ((reads & Loaded) != 0) {
      // From registers loaded in the site: said after their loads, and
      // they are loaded no more.
      if ((reads & kEsp) != 0) return false;
      ReadAsLoaded |= static_cast<RegSet>(reads & Loaded);
      ReadLater |= static_cast<RegSet>(reads & ~Loaded);
      return AddressExpression(Vars, listed, out);
    }
    ReadLater |= reads;
    std::string_view keyword;
    if ((reads & kEsp) != 0 && FindVar(Vars, listed) < 1) {
      std::optional<uint32_t> at = EspOffset(listed, keyword);
      if (!at || *at < Depth || !keyword.empty()) return false;
      out = *at == Depth ? "esp" : "esp+" + Hex(*at - Depth);
      return true;
    }
    return AddressExpression(Vars, listed, out);
  }

  // Entry k as a load said later: a mov or an lea into eax, ecx or edx.
  bool Loads(const CodeTable& code, int k) {
    const TOpCode& e = code.At(k);
    const RegSet reg = e.Op1 == "eax" ? kEax : e.Op1 == "ecx" ? kEcx : e.Op1 == "edx" ? kEdx : 0;
    if (reg == 0 || (e.OpCode != "mov" && e.OpCode != "lea")) return false;
    std::string value;
    if (!(e.OpCode == "lea" ? Address(e.Op2, value) : Operand(e.Op2, value))) return false;
    // A register read as it stood before must keep that value to the call.
    if ((reg & (ReadLater | ReadAsLoaded)) != 0) return false;
    Loaded |= reg;
    Load[Slot(reg)] = std::move(value);
    LoadedAt[Slot(reg)] = k;
    return true;
  }

  // Whether entry k can stay where it is, said as the statement it is
  // alone: a plain statement that reads nothing loaded in the site,
  // changes nothing said later, and reads esp only before the site moved
  // it.
  bool Stays(const CodeTable& code, int k) const {
    const std::optional<PlainStatement> st = PlainStatementAt(code, k);
    if (!st || ((st->Reads | st->Writes) & Loaded) != 0) return false;
    if ((st->Writes & ReadLater) != 0 || ((st->Reads & kEsp) != 0 && Depth > 0)) return false;
    return !st->WritesMemory || !MemoryLater;
  }

  static RegSet FullRegister(std::string_view operand) {
    const std::string_view t = TrimBoth(operand);
    return t.size() == 3 && t[0] == 'e' ? RegisterOf(t) : RegSet{0};
  }

  // A move or an arithmetic statement that changes nothing but its first
  // operand (a register other than esp, or memory): the registers it reads
  // and writes.
  struct PlainStatement {
    RegSet Reads = 0;
    RegSet Writes = 0;
    bool WritesMemory = false;
  };
  static std::optional<PlainStatement> PlainStatementAt(const CodeTable& code, int k) {
    const TOpCode& e = code.At(k);
    const std::string_view m = e.OpCode;
    const bool moves = m == "mov" || m == "movzx" || m == "movsx" || m == "lea";
    if (!moves && m != "add" && m != "sub" && m != "and" && m != "or" && m != "xor" &&
        m != "inc" && m != "dec" && m != "neg" && m != "not" && m != "shl" && m != "shr" &&
        m != "sar" && !(m == "imul" && !e.Op2.empty())) {
      return std::nullopt;
    }
    PlainStatement st;
    const OperandInfo dest = Classify(e.Op1);
    st.WritesMemory = dest.Form == OperandForm::kMemory;
    st.Writes = st.WritesMemory ? RegSet{0} : RegisterOf(e.Op1);
    if ((!st.WritesMemory && st.Writes == 0) || (st.Writes & kEsp) != 0) return std::nullopt;
    st.Reads = static_cast<RegSet>(
        RegistersIn(e.Op2) | RegistersIn(code.Op3(k)) |
        (moves && FullRegister(e.Op1) != 0 ? RegSet{0} : RegistersIn(e.Op1)));
    return st;
  }
};

// What entry k does with the registers: those it reads (or may: all, for
// an instruction not known here), those it writes whole, and those it
// writes a part of (keeping the rest).
struct RegEffect {
  RegSet Reads = 0;
  RegSet Writes = 0;
  RegSet WritesPart = 0;
};

RegEffect EffectOf(const CodeTable& code, int k) {
  const TOpCode& e = code.At(k);
  const std::string_view m = e.OpCode;
  if (m == "cdq") return {kEax, kEdx, 0};
  const bool moves = m == "mov" || m == "movzx" || m == "movsx" || m == "lea" || m == "pop" ||
                     (m.starts_with("set") && m.size() > 3) ||
                     (m == "imul" && !code.Op3(k).empty());
  // Those that write no register: comparisons, pushes, flag settings,
  // the x87 but for the status word it stores into ax.
  const bool reads_only = m == "cmp" || m == "test" || m == "push" || m == "bt" || m == "nop" ||
                          m == "cld" || m == "std" || m == "clc" || m == "stc" || m == "cmc" ||
                          (m.starts_with('f') && m != "fnstsw" && m != "fstsw");
  const bool changes = m == "add" || m == "sub" || m == "and" || m == "or" || m == "xor" ||
                       m == "adc" || m == "sbb" || m == "inc" || m == "dec" || m == "neg" ||
                       m == "not" || m == "shl" || m == "shr" || m == "sar" || m == "sal" ||
                       m == "rol" || m == "ror" || m == "bts" || m == "btr" || m == "btc" ||
                       (m == "imul" && !e.Op2.empty()) || m.starts_with("cmov");
  if (!moves && !reads_only && !changes) return {kAllRegs, 0, 0};
  RegEffect fx;
  const RegSet dest = RegisterOf(e.Op1);
  const bool whole = SiteValues::FullRegister(e.Op1) != 0;
  const bool clears = (m == "xor" || m == "sub") && dest != 0 && e.Op1 == e.Op2;
  if (clears || (moves && dest != 0)) {
    // Written without being read: whole, or a part of it.
    (whole ? fx.Writes : fx.WritesPart) = dest;
    if (!clears) fx.Reads = static_cast<RegSet>(RegistersIn(e.Op2) | RegistersIn(code.Op3(k)));
    return fx;
  }
  fx.Reads = static_cast<RegSet>(RegistersIn(e.Op1) | RegistersIn(e.Op2) | RegistersIn(code.Op3(k)));
  if (!reads_only) fx.Writes = dest;
  return fx;
}

// The entries a clean-up may stand after its call.
constexpr int kMaxAfter = 6;

// The registers a callee may change, which its caller keeps nothing in.
constexpr RegSet kScratch = kEax | kEcx | kEdx;

// Whether the caller takes the arguments of the call at entry `call` off
// the stack after it: an add to esp, or a pop into eax, ecx or edx (which
// the call's result does not hold), maybe after a few statements that
// leave esp alone; or the call goes through the linkage table (NAME@plt),
// to a routine of a shared library, which takes no argument in registers.
bool CleanedUp(const CodeTable& code, int call) {
  if (TrimBoth(code.At(call).Op1).ends_with("@plt")) return true;
  // Ends: at most kMaxAfter entries.
  for (int k = call + 1; k <= call + kMaxAfter && code.Valid(k); ++k) {
    const TOpCode& e = code.At(k);
    const std::string_view m = e.OpCode;
    if (m == "add" && e.Op1 == "esp") return true;
    if (m == "pop") return (SiteValues::FullRegister(e.Op1) & kScratch) != 0;
    // Most calls are followed by what ends the search at once: another
    // call, a push, a jump.
    if (m == "call" || m == "push" || m.starts_with('j') || m == "ret") return false;
    const std::optional<SiteValues::PlainStatement> st = SiteValues::PlainStatementAt(code, k);
    if (!st || (st->Reads & kEsp) != 0) return false;
  }
  return false;
}

// Which of `regs` (eax, ecx, edx) are read after entry `from` - 1 before
// they are written, along the straight code from there. Where that code
// ends (a jump, a call, a ret, or after a few dozen instructions) eax
// counts as read (it may be the next call's argument or the routine's
// result, and a jump goes on by the flow facts) but by a call whose caller
// takes its arguments off the stack after it, by an add or pops (those take none in
// registers, and return in eax); ecx and edx count as not read: no caller
// reads them after a call but for a result, and a result is read at once;
// so a move into a part of them counts as writing them. Registers that
// hold anything else (`left_by_call` false: values popped off the stack)
// count as read where that code ends, but by a call as above, a ret (which
// hands on eax alone) and a jump after which the flow facts find them
// dead.
RegSet ReadAfter(const Context& ctx, int from, RegSet regs, bool left_by_call = true) {
  constexpr int kSteps = 16;
  RegSet read = 0;
  RegSet open = regs;  // not yet known
  auto end_with_eax = [&](bool eax_read) {
    if (eax_read) read |= static_cast<RegSet>(open & kEax);
    return read;
  };
  auto end_with_all = [&](RegSet live) {
    read |= static_cast<RegSet>(open & live);
    return read;
  };
  // Ends: at most kSteps entries, or once every register is known.
  for (int k = from; k < from + kSteps && open != 0; ++k) {
    const std::string_view m = ctx.Code.At(k).OpCode;
    if (m == "call") {
      const bool takes_stack = CleanedUp(ctx.Code, k);
      if (!left_by_call && !takes_stack) return end_with_all(kAllRegs);
      return end_with_eax(!takes_stack);
    }
    if (!left_by_call && (!ctx.Code.Valid(k) || m == "ijmp")) return end_with_all(kAllRegs);
    if (!ctx.Code.Valid(k) || m == "ret" || m == "ijmp") return end_with_eax(true);
    if (m.starts_with('j')) {
      if (!left_by_call) return end_with_all(ctx.Facts ? ctx.Facts->LiveAfter(k) : kAllRegs);
      return end_with_eax(!Dead(ctx, k, kEax));
    }
    const RegEffect fx = EffectOf(ctx.Code, k);
    read |= static_cast<RegSet>(open & (fx.Reads | (fx.WritesPart & (left_by_call ? kEax : open))));
    open &= static_cast<RegSet>(~(fx.Reads | fx.Writes | fx.WritesPart));
  }
  return left_by_call ? end_with_eax(true) : end_with_all(kAllRegs);
}

// A call site as its statements say it.
struct Site {
  int At = 0;    // the first push, load or statement, after the padding
  int Call = 0;
  int Last = 0;  // the call, its clean-up or the store of its result
  std::vector<std::string> Args;  // the first pushed first
  bool Stays[kMaxSite] = {};  // by entry, from the site's first
  std::string_view Target;
  std::string_view Dest;  // where the result is stored, or empty
  bool ResultInEax = false;
  uint32_t Beyond = 0;  // what the clean-up takes beyond the site's pushes
  uint32_t Left = 0;    // what it leaves of them on the stack
  // Statements between the call and its clean-up, said after the call.
  int AfterFrom = 0;
  int AfterTo = -1;
  // Read in its order (ReadSiteInOrder): per argument, the first pushed
  // first, whether its value is kept in Arg_N where it is pushed.
  bool InOrder = false;
  std::vector<char> Kept;
};

// The call of the site that may start at the loop's entry, or 0: a call
// within a few entries, after pushes when the site starts with the padding
// or with a load of eax, ecx or edx pushed soon after, with nothing between
// that leaves the straight code.
int FindCall(const CodeTable& code, const TLoopState& state) {
  const int i = state.Index;
  const std::string_view m = code.At(i).OpCode;
  if (m == "call") return i;
  if (m == "sub" && code.At(i).Op1 != "esp") return 0;
  if (m == "mov" || m == "lea") {
    // A load of what is pushed next starts a site; most loads are none.
    const std::string_view reg = code.At(i).Op1;
    if (reg != "eax" && reg != "ecx" && reg != "edx") return 0;
    if (code.At(i + 1).OpCode != "push" && code.At(i + 2).OpCode != "push") return 0;
  }
  bool pushes = false;
  // Ends: at most kMaxSite entries.
  for (int k = m == "sub" ? i + 1 : i; k - i < kMaxSite && k <= state.LastIndex; ++k) {
    const std::string_view op = code.At(k).OpCode;
    if (op == "call") return pushes ? k : 0;
    if (op.empty() || op[0] == 'j' || op == "ret" || op == "pop" || op == "leave") return 0;
    pushes = pushes || op == "push";
  }
  return 0;
}

// Whether the call at entry `call` goes on nowhere the code shows, so that
// what it leaves on the stack is no one's: it is the last entry, or a jump
// comes to the next one (a compiler takes what a call leaves off the stack
// before a label).
bool GoesNowhere(const Context& ctx, int call) {
  const CodeTable& code = ctx.Code;
  if (!code.Valid(call + 1) || !ctx.Facts) return code.Valid(call) && !code.Valid(call + 1);
  return ctx.Facts->Incoming[static_cast<size_t>(call) + 1] != 0;
}

// Reads the clean-up after the site's call, of `depth` bytes pushed and
// padded: an add to esp, or pops into eax, ecx and edx that nothing reads,
// maybe after plain statements that leave esp and what it addresses alone
// (said after the call). A clean-up that takes more than the site pushed
// says the rest as a statement of its own, and so does one that takes less
// or none at all (what it leaves on the stack); one without pushes is
// taken whole; none is needed where the call goes on nowhere. False when
// there is none that fits.
bool ReadCleanup(const Context& ctx, const TLoopState& state, uint32_t depth, Site& site) {
  const CodeTable& code = ctx.Code;
  site.Last = site.Call;
  // After a push the site may hold only the last of the call's arguments,
  // and a clean-up that stands apart or pops them says no more: only the
  // add to esp right after the call is taken then.
  const bool whole = code.At(state.Index - 1).OpCode != "push";
  int k = site.Call + 1;
  // Ends: at most kMaxAfter entries.
  while (whole && depth > 0 && k - site.Call <= kMaxAfter && k < state.LastIndex) {
    const std::optional<SiteValues::PlainStatement> st = SiteValues::PlainStatementAt(code, k);
    if (!st || (st->Reads & kEsp) != 0) break;
    ++k;
  }
  site.AfterFrom = site.Call + 1;
  site.AfterTo = k - 1;
  const TOpCode& after = code.At(k);
  std::optional<uint32_t> cleanup;
  RegSet popped = 0;
  if (after.OpCode == "add" && after.Op1 == "esp" && FlagsUnread(ctx, k)) {
    cleanup = Immediate(after.Op2);
  } else if (whole && depth > 0) {
    uint32_t taken = 0;
    // Ends: at most kMaxAfter pops.
    for (; taken < 4 * kMaxAfter && code.At(k).OpCode == "pop" && k <= state.LastIndex;
         ++k, taken += 4) {
      const RegSet reg = SiteValues::FullRegister(code.At(k).Op1);
      if ((reg & kScratch) == 0) break;
      popped |= reg;
    }
    if (taken > 0) cleanup = taken;
    --k;
  }
  if (!cleanup) {
    site.AfterTo = site.Call;
    if (depth == 0 || (whole && GoesNowhere(ctx, site.Call))) return true;
    // gcc defers a clean-up past later calls: the arguments stay on the
    // stack until a later clean-up takes them with that call's. Each
    // call's arguments are the pushes since the call before (gcc computes
    // a call that gives an argument before it pushes any).
    site.Left = whole ? depth : 0;
    return whole;
  }
  if (*cleanup < depth && !whole) return false;
  if (popped != 0 && ReadAfter(ctx, k + 1, popped, false) != 0) return false;
  // A clean-up that takes part of them leaves the rest to a later one.
  site.Left = *cleanup < depth ? depth - *cleanup : 0;
  site.Beyond = depth > 0 && *cleanup > depth ? *cleanup - depth : 0;
  site.Last = k;
  return true;
}

// The register gcc's thunk for position-independent code loads with its
// return address (__x86.get_pc_thunk.bx loads ebx), or empty when the call
// calls no such thunk.
std::string_view PcThunkRegister(std::string_view target) {
  static constexpr std::string_view kPrefixes[] = {"__x86.get_pc_thunk.", "__i686.get_pc_thunk."};
  static constexpr std::string_view kRegisters[] = {"ax", "bx", "cx", "dx", "si", "di", "bp"};
  for (std::string_view prefix : kPrefixes) {
    if (!target.starts_with(prefix)) continue;
    for (std::string_view reg : kRegisters) {
      if (target.substr(prefix.size()) == reg) return reg;
    }
  }
  return {};
}

bool FinishSite(const Context& ctx, const TLoopState& state, uint32_t depth, Site& site);

// Where the site starting at entry i has its first push, load or
// statement: after the padding (sub esp, P), whose bytes go to `depth`.
bool ReadPadding(const CodeTable& code, int i, Site& site, uint32_t& depth) {
  site.At = i;
  if (code.At(i).OpCode != "sub") return true;
  std::optional<uint32_t> p = Immediate(code.At(i).Op2);
  if (!p) return false;
  depth = *p;
  ++site.At;
  return true;
}

// Reads the site from the loop's entry to its call; false when its
// statements could not say exactly what it does.
bool ReadSite(const Context& ctx, const TLoopState& state, int call, SiteValues& values,
              Site& site) {
  const CodeTable& code = ctx.Code;
  const int i = state.Index;
  // [sub esp, P;] pushes, loads and other statements; call X;
  // [add esp, N;] [mov dest, eax]. The pushes are the arguments when the
  // clean-up takes them (and the padding before them) off the stack again.
  if (!ReadPadding(code, i, site, values.Depth)) return false;
  site.Call = call;
  // Ends: one pass over the entries before the call.
  for (int k = site.At; k < call; ++k) {
    if (code.At(k).OpCode == "push") {
      if (!values.Operand(code.At(k).Op1, site.Args.emplace_back())) return false;
      values.Depth += 4;
    } else if (!values.Loads(code, k)) {
      if (!values.Stays(code, k)) return false;
      site.Stays[k - i] = true;
    }
  }
  return FinishSite(ctx, state, values.Depth, site);
}

// Reads the call of the site, its clean-up and the store of its result,
// after the entries before the call, of `depth` bytes pushed and padded.
bool FinishSite(const Context& ctx, const TLoopState& state, uint32_t depth, Site& site) {
  const CodeTable& code = ctx.Code;
  const int call = site.Call;
  const TOpCode& c = code.At(call);
  if (c.Op1.empty() || !c.Op2.empty() || !PcThunkRegister(c.Op1).empty()) return false;
  site.Target = CallTarget(ctx.Vars, c.Op1, depth > 0);
  if (site.Target.empty()) return false;
  if (!ReadCleanup(ctx, state, depth, site)) return false;
  // What the called routine leaves in ecx and edx is no statement's.
  if (ReadAfter(ctx, call + 1, kEcx | kEdx) != 0) return false;
  const TOpCode& store = code.At(site.Last + 1);
  const OperandForm stored = Classify(store.Op1).Form;
  // A store into memory that esp addresses is said after the clean-up.
  const bool moved = (site.Beyond != 0 || site.Left != 0) && (RegistersIn(store.Op1) & kEsp) != 0;
  if (!moved && site.AfterTo < site.AfterFrom && store.OpCode == "mov" && store.Op2 == "eax" &&
      stored != OperandForm::kNone && stored != OperandForm::kImmediate &&
      ReadAfter(ctx, site.Last + 2, kEax) == 0) {
    site.Dest = Value(ctx.Vars, store.Op1);
    ++site.Last;
  } else {
    site.ResultInEax = ReadAfter(ctx, call + 1, kEax) != 0;
  }
  return Consumable(ctx, state, state.Index, site.Last);
}

// The site read in its order, where ReadSite could not: every statement
// among the pushes is said where it stands, and a pushed value that a
// statement after the push changes (a register it reads, or memory) is
// kept where it is pushed, in Arg_N for the call's N-th argument, so that
// the call gets what the push pushed.
bool ReadSiteInOrder(const Context& ctx, const TLoopState& state, int call, Site& site) {
  const CodeTable& code = ctx.Code;
  const int i = state.Index;
  uint32_t depth = 0;
  if (!ReadPadding(code, i, site, depth)) return false;
  site.Call = call;
  std::vector<OperandInfo> pushed;
  // Ends: one pass over the entries before the call.
  for (int k = site.At; k < call; ++k) {
    const TOpCode& e = code.At(k);
    if (e.OpCode == "push") {
      SiteValues value(ctx.Vars);
      value.Depth = depth;
      if (!value.Operand(e.Op1, site.Args.emplace_back())) return false;
      pushed.push_back(Classify(e.Op1));
      site.Kept.push_back(0);
      depth += 4;
      continue;
    }
    const std::optional<SiteValues::PlainStatement> st = SiteValues::PlainStatementAt(code, k);
    if (!st || ((st->Reads & kEsp) != 0 && depth > 0)) return false;
    site.Stays[k - i] = true;
    // Ends: one pass over the pushes before it.
    for (size_t a = 0; a < pushed.size(); ++a) {
      if ((pushed[a].Reads & st->Writes) != 0 ||
          (pushed[a].Form == OperandForm::kMemory && st->WritesMemory)) {
        site.Kept[a] = 1;
      }
    }
  }
  if (pushed.empty()) return false;
  site.InOrder = true;
  return FinishSite(ctx, state, depth, site);
}

// The name an argument kept where it is pushed goes by: Arg_ and its place
// among the call's arguments.
std::string ArgName(const Site& site, size_t a) {
  return "Arg_" + std::to_string(site.Args.size() - a);
}

}  // namespace

void RecognizePcThunk(Context& ctx, TLoopState& state) {
  const TOpCode& call = ctx.Code.At(state.Index);
  const std::string_view reg = PcThunkRegister(call.Op1);
  if (reg.empty() || !call.Op2.empty()) return;
  // The return address: a direct call takes five bytes. (The add after it
  // stays a statement of its own: in an object file its number is one the
  // linker fills in.)
  std::string full(1, 'e');
  full += reg;
  const std::string address = format::Hex8(call.Address + 5);
  Emit(ctx.Output, {VarName(ctx.Vars, full), ":=$", address, ";"});
  Claim(ctx, state, state.Index + 1);
}

namespace {

// The site whose call FindCall found, as statements (RecognizeCallStatement
// tests first what most entries fail, without this one's room).
[[gnu::noinline]] void CallSite(Context& ctx, TLoopState& state, int call) {
  SiteValues values(ctx.Vars);
  Site site;
  if (!ReadSite(ctx, state, call, values, site) &&
      !ReadSiteInOrder(ctx, state, call, site = Site{})) {
    // A call the default statements would print, as if nothing but its
    // store read what it left, stays a comment line.
    if (ctx.Code.At(state.Index).OpCode == "call") KeepAsComment(ctx, state);
    return;
  }
  size_t pushes = 0;
  // Ends: one pass over the entries before the call.
  for (int k = site.At; k < site.Call; ++k) {
    if (site.Stays[k - state.Index]) {
      Translate(ctx, k, k);
    } else if (site.InOrder && ctx.Code.At(k).OpCode == "push") {
      if (site.Kept[pushes]) Emit(ctx.Output, {ArgName(site, pushes), ":=", site.Args[pushes], ";"});
      ++pushes;
    }
  }
  // The registers loaded in the site hold their last loads at the call.
  // Ends: three registers, each at most once.
  for (int done = 0; !site.InOrder && done != values.Loaded;) {
    int next = -1;
    for (int r = 0; r < 3; ++r) {
      const int bit = 1 << r;
      if ((values.Loaded & bit) && !(done & bit) &&
          (next < 0 || values.LoadedAt[r] < values.LoadedAt[next])) {
        next = r;
      }
    }
    static constexpr std::string_view kNames[] = {"eax", "ecx", "edx"};
    Emit(ctx.Output, {kNames[next], ":=", values.Load[next], ";"});
    done |= 1 << next;
  }
  // The arguments, the last pushed first.
  std::string text(site.ResultInEax ? "eax" : site.Dest);
  if (!text.empty()) text += ":=";
  text += "function";
  text += site.Target;
  // Ends: one pass over the arguments.
  for (size_t a = site.Args.size(); a-- > 0;) {
    text += a + 1 == site.Args.size() ? "(" : ", ";
    text += site.InOrder && site.Kept[a] ? ArgName(site, a) : site.Args[a];
  }
  if (!site.Args.empty()) text += ")";
  text += ";";
  Emit(ctx.Output, text);
  // Ends: one pass over the statements between the call and its clean-up.
  for (int k = site.AfterFrom; k <= site.AfterTo; ++k) Translate(ctx, k, k);
  if (site.Beyond > 0) Emit(ctx.Output, {"esp:=esp+", Hex(site.Beyond), ";"});
  if (site.Left > 0) Emit(ctx.Output, {"esp:=esp-", Hex(site.Left), ";"});
  Claim(ctx, state, site.Last + 1);
}

}  // namespace

void RecognizeCallStatement(Context& ctx, TLoopState& state) {
  const int call = FindCall(ctx.Code, state);
  if (call != 0) CallSite(ctx, state, call);
}

void RecognizeDeadPop(Context& ctx, TLoopState& state) {
  const int i = state.Index;
  const RegSet reg = SiteValues::FullRegister(ctx.Code.At(i).Op1);
  if ((reg & kScratch) == 0 || ReadAfter(ctx, i + 1, reg, false) != 0) return;
  Emit(ctx.Output, "esp:=esp+$04;");
  Claim(ctx, state, i + 1);
}

}  // namespace asm2pas
