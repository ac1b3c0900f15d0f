#include "translate/extended/frame_finder.h"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>

#include "naming/vars.h"
#include "translate/extended/jumps.h"
#include "translate/flow.h"

namespace asm2pas {

namespace {

constexpr RegSet kEcx = 2, kEdx = 4, kEsp = 16, kEbp = 32;
constexpr RegSet kCallerSaved = 1 | 2 | 4;  // eax, ecx, edx
// The registers a routine keeps for its caller: ebx, ebp, esi, edi.
constexpr RegSet kCalleeSaved = 8 | 32 | 64 | 128;

// The register a whole 32-bit register operand names, or 0.
RegSet WholeRegister(std::string_view operand) {
  static constexpr std::string_view kNames[8] = {"eax", "ecx", "edx", "ebx",
                                                  "esp", "ebp", "esi", "edi"};
  for (int r = 0; r < 8; ++r) {
    if (operand == kNames[r]) return static_cast<RegSet>(1u << r);
  }
  return 0;
}

int Bit(RegSet r) {
  int k = 0;
  // Ends: at most eight shifts.
  while (k < 8 && !(r >> k & 1)) ++k;
  return k;
}


// Instructions that read and write only their operands (and eax/edx for
// cdq), and no flags a later jump could not see otherwise.
bool IsPlainMnemonic(std::string_view m) {
  static constexpr std::string_view kPlain[] = {
      "mov", "movzx", "movsx", "lea", "add", "sub", "and", "or",  "xor", "not", "neg",
      "inc", "dec",   "shl",   "shr", "sar", "sal", "rol", "ror", "imul", "cmp", "test",
      "adc", "sbb",   "cdq",   "nop", "xchg"};
  for (std::string_view p : kPlain) {
    if (m == p) return true;
  }
  return (m.starts_with("set") || m.starts_with("cmov")) && m.size() > 4;
}

// "add byte ptr [eax], al": two zero bytes read as an instruction.
bool IsZeroBytes(const TOpCode& e) {
  return e.OpCode == "add" && e.Op1 == "byte ptr [eax]" && e.Op2 == "al";
}

// What the frame of one routine is made of, found on the table as read.
class FrameFinder {
 public:
  FrameFinder(const CodeTable& code, const StackFacts& stack, const std::vector<int>& targets)
      : code_(code), stack_(stack), targets_(targets), n_(code.CodeCount()) {
    const size_t size = static_cast<size_t>(n_) + 2;
    drop_.assign(size, 0);
    kind_.assign(size, kBody);
  }

  bool Trusted() const { return trusted_; }

  // Marks the entries that are frame only; gives them by position.
  const std::vector<char>& Find() {
    FindPrologue();
    // Ends: one pass over the table; each epilogue is walked once, upwards
    // from its return, and epilogues do not overlap (a walk stops at the
    // return before it).
    const int n = n_;  // in a register while the lists grow
    for (int i = 1; i <= n; ++i) {
      const std::string_view m = code_.At(i).OpCode;
      // Most mnemonics are none of those asked for below.
      if (m.empty() || (m[0] != 'p' && m[0] != 'l' && m[0] != 'r' && m[0] != 'i' && m[0] != 'j')) {
        continue;
      }
      if (m == "pop" || m == "leave") pops_.push_back(i);
      // Free Pascal's callee takes its stack parameters off, and the caller
      // reserves their room again at once: frame, like the set-up's room.
      // (gcc's room around a call, and its clean-up after, belong to the
      // call.) An epilogue found later may take the entry as well, as it
      // would have taken it first.
      if (m == "lea" && i >= 2 && Reached(i) && kind_[static_cast<size_t>(i)] == kBody &&
          AfterCall(i)) {
        const std::optional<int32_t> change = EspChange(code_.At(i));
        if (change && *change < 0) Mark(i, kStackSpace);
      }
      // A jmp out of the routine with esp at the entry's place hands the
      // caller's return on to another routine: a tail call.
      const bool tail_call = m == "jmp" && targets_[static_cast<size_t>(i)] < 1;
      if ((m == "ret" || m == "ijmp" || tail_call) && Reached(i) && stack_.Esp(i) == 0) {
        returns_ = true;
        FindEpilogue(i);
      }
    }

    CheckSaves();
    // Ends: one pass over the marks (an entry's last decides: the last
    // kind it was given, and a save's or restore's register, which is its
    // last mark's).
    for (const Marked& mark : marked_) {
      const int i = mark.Entry;
      const size_t k = static_cast<size_t>(i);
      switch (kind_[k]) {
        case kBody:
          break;
        case kSave:
        case kRestore:
          drop_[k] = kept_saves_ & mark.Register ? 0 : 1;
          break;
        case kFramePointer:
          drop_[k] = kept_saves_ & kEbp ? 0 : 1;
          break;
        case kStackSpace:
          // Its flags are the ones a conditional jump after it would read.
          drop_[k] = IsJump(code_.At(i + 1).OpCode) && code_.At(i + 1).OpCode != "jmp" ? 0 : 1;
          break;
      }
    }
    // Zero bytes no path reaches at the end, after the last return, which
    // the disassembler showed as code.
    // Ends: i only falls.
    for (int i = n_; i >= 1 && !Reached(i) && IsZeroBytes(code_.At(i)); --i) {
      drop_[static_cast<size_t>(i)] = 1;
    }
    return drop_;
  }

 private:
  enum Kind : uint8_t { kBody, kSave, kRestore, kFramePointer, kStackSpace };
  // How far from the entry, and back from a return, the set-up and an
  // epilogue are looked for, the routine's own instructions among them.
  static constexpr int kReach = 48;

  // Gives entry i a kind other than the body's, noted for the last pass
  // with the register a save or restore keeps.
  void Mark(int i, Kind kind, RegSet r = 0) {
    kind_[static_cast<size_t>(i)] = kind;
    marked_.push_back({i, r});
  }

  bool Reached(int i) const { return stack_.Reached(i); }

  std::optional<int32_t> Slot(int i, int k) const { return stack_.SlotOf(i, k); }

  // An instruction that only computes with its operands, which name esp
  // (and ebp, where it is the frame pointer) only as frame slots: the
  // registers it reads, or nothing when it is not that.
  std::optional<RegSet> PlainReads(int i) const {
    const TOpCode& e = code_.At(i);
    if (!IsPlainMnemonic(e.OpCode)) return std::nullopt;
    const RegSet pointers = stack_.FramePointer ? kEsp | kEbp : kEsp;
    const std::string_view ops[3] = {e.Op1, e.Op2, code_.Op3(i)};
    RegSet reads = e.OpCode == "cdq" ? RegSet{1} : RegSet{0};
    for (int k = 0; k < 3; ++k) {
      const RegSet in = RegistersIn(ops[k]);
      if (in & pointers) {
        if (e.OpCode == "lea" || WholeRegister(ops[k]) || !Slot(i, k)) return std::nullopt;
        continue;  // a slot: named by its place, whatever esp is
      }
      const bool only_written = k == 0 && WholeRegister(ops[0]) &&
                                (e.OpCode == "mov" || e.OpCode == "movzx" ||
                                 e.OpCode == "movsx" || e.OpCode == "lea" ||
                                 e.OpCode.starts_with("set"));
      if (!only_written) reads |= in;
    }
    return reads;
  }

  RegSet PlainWrites(int i) const {
    const TOpCode& e = code_.At(i);
    if (e.OpCode == "cmp" || e.OpCode == "test") return 0;
    if (e.OpCode == "cdq") return kEdx;
    RegSet w = RegisterOf(e.Op1);
    if (e.OpCode == "xchg") w |= RegisterOf(e.Op2);
    return w;
  }

  bool AfterCall(int i) const { return code_.At(i - 1).OpCode == "call"; }

  // A push of a register the routine keeps for its caller, as it found it.
  bool SavesByPush(int i, RegSet written) const {
    const RegSet r = WholeRegister(code_.At(i).Op1);
    return (r & kCalleeSaved) && !((saves_ | written) & r);
  }

  void Save(int i, RegSet r, int32_t place) {
    saved_at_[static_cast<size_t>(Bit(r))] = place;
    saves_ |= r;
    Mark(i, kSave, r);
  }

  // The set-up at the entry: the frame pointer, the room for locals, the
  // registers saved, with the routine's own first instructions and calls
  // among them. It ends where control may arrive from elsewhere, and at
  // the first instruction that is none of these.
  void FindPrologue() {
    RegSet written = 0;
    bool frame_pointer = false;
    // Ends: i only grows, up to the last entry or kReach.
    for (int i = 1; i <= n_ && i <= kReach && Reached(i) && !stack_.JumpedTo(i);
         ++i) {
      const TOpCode& e = code_.At(i);
      const RegSet r1 = WholeRegister(e.Op1), r2 = WholeRegister(e.Op2);
      if (stack_.AlignAt != 0 && i < stack_.AlignAt) {
        // The first argument's address into ecx: a statement.
        written |= kEcx;
        continue;
      }
      if (stack_.AlignAt != 0 && i <= stack_.AlignAt + 1) {
        // The and, and the push of the return address's copy.
        Mark(i, kStackSpace);
      } else if (i == stack_.EcxSaveAt) {
        Save(i, kEcx, stack_.Esp(i) - 4);
      } else if (e.OpCode == "push" && SavesByPush(i, written)) {
        Save(i, r1, stack_.Esp(i) - 4);
      } else if (e.OpCode == "mov" && r1 == kEbp && r2 == kEsp && (saves_ & kEbp) &&
                 !frame_pointer && stack_.FramePointer) {
        frame_pointer = true;
        Mark(i, kFramePointer);
      } else if (std::optional<int32_t> change = EspChange(e); change && *change < 0) {
        // Room right before pushes that save nothing is a call's.
        if (code_.At(i + 1).OpCode == "push" && !SavesByPush(i + 1, written)) return;
        Mark(i, kStackSpace);
      } else if (e.OpCode == "mov" && (r2 & kCalleeSaved) && !((saves_ | written) & r2) &&
                 !(r2 == kEbp && stack_.FramePointer) && Slot(i, 0)) {
        Save(i, r2, *Slot(i, 0));
      } else if (PlainReads(i)) {
        written |= PlainWrites(i);
        if (written & kEsp) return;
        continue;
      } else if (e.OpCode == "call") {
        // Position-independent code fetches its address first; a callee
        // keeps ebx, esi, edi and ebp for its caller.
        written |= kCallerSaved;
        continue;
      } else {
        return;
      }
      prologue_end_ = i;
    }
  }

  // The restores and the release of the frame before a return (or a jump
  // out of the routine at the entry's place), with the routine's own last
  // instructions among them as long as they do not read a register
  // restored before them.
  void FindEpilogue(int ret) {
    RegSet read_after = 0;
    int first = 0;  // the epilogue's first entry that is frame
    bool esp_from_ebp = false;  // an entry below loads esp from ebp
    int reset = 0;              // that entry (a leave too)
    RegSet restored = 0;        // the registers this epilogue restores
    // Ends: j only falls, and stops at the set-up or kReach entries back.
    for (int j = ret - 1; j > prologue_end_ && j >= ret - kReach && Reached(j); --j) {
      const TOpCode& e = code_.At(j);
      const int32_t esp = stack_.Esp(j);
      const RegSet r1 = WholeRegister(e.Op1);
      auto restores = [&](RegSet r, std::optional<int32_t> from) {
        return (r & saves_) && !(r & read_after) && from &&
               saved_at_[static_cast<size_t>(Bit(r))] == *from;
      };
      const std::optional<FrameOperand> from_ebp =
          e.OpCode == "lea" && r1 == kEsp ? ParseFrameOperand(e.Op2) : std::nullopt;
      if (stack_.AlignAt != 0 && e.OpCode == "lea" && r1 == kEsp && e.Op2.starts_with("[ecx") &&
          stack_.Esp(j + 1) == 0) {
        // esp back from the first argument's address, which ecx holds
        // again (the walk found so).
        Mark(j, kStackSpace);
      } else if (e.OpCode == "pop" && restores(r1, esp)) {
        Restore(j, r1, restored);
      } else if (e.OpCode == "mov" && restores(r1, Slot(j, 1))) {
        Restore(j, r1, restored);
      } else if (e.OpCode == "leave" && restores(kEbp, stack_.Ebp(j))) {
        Restore(j, kEbp, restored);
        esp_from_ebp = true;
        reset = j;
      } else if ((e.OpCode == "mov" && r1 == kEsp && e.Op2 == "ebp") ||
                 (from_ebp && from_ebp->OnEbp)) {
        Mark(j, kStackSpace);
        esp_from_ebp = true;
        reset = j;
      } else if (EspChange(e) && *EspChange(e) >= 0 && (!AfterCall(j) || e.OpCode == "lea") &&
                 !esp_from_ebp) {
        // Above esp's load from ebp, an add to esp is the body's (a call's
        // clean-up after a statement of its own). Right after a call, an
        // add is the call's clean-up; an lea is Free Pascal's release of
        // the room (its callees take their stack parameters off).
        Mark(j, kStackSpace);
      } else if (std::optional<RegSet> reads = PlainReads(j)) {
        read_after |= *reads;
        continue;
      } else {
        break;
      }
      first = j;
    }
    // With a frame pointer, esp matters only to address slots, and a call
    // whose callee takes more off the stack than it shows would go
    // unnoticed: the body must leave esp where the set-up left it. gcc's
    // body may leave it above (a clean-up that took room the set-up made)
    // where the epilogue loads esp from ebp first and every register is
    // restored after that, from slots ebp tells.
    const int32_t left = stack_.Esp(first), set = stack_.Esp(prologue_end_ + 1);
    const bool reset_first = first == reset && (saves_ & ~restored) == 0;
    if (stack_.FramePointer && first > 0 && (left < set || (left > set && !reset_first))) {
      trusted_ = false;
    }
  }

  // Entry j restores r, one of the registers its epilogue restores (`here`).
  void Restore(int j, RegSet r, RegSet& here) {
    here |= r;
    Mark(j, kRestore, r);
    restored_ |= r;
  }

  // A save is frame only when the register is restored from its slot and
  // nothing else reads the slot; the others are kept, with their
  // restores, as statements.
  void CheckSaves() {
    // A routine that never returns restores nothing.
    kept_saves_ = returns_ ? static_cast<RegSet>(saves_ & ~restored_) : RegSet{0};
    if ((saves_ & ~kept_saves_) == 0) return;  // no save left to check
    auto may_read = [&](int i) {
      return Reached(i) && kind_[static_cast<size_t>(i)] != kSave &&
             kind_[static_cast<size_t>(i)] != kRestore;
    };
    // The saved registers' slots lie between these two (the second's four
    // bytes included).
    int32_t lowest = INT32_MAX, highest = INT32_MIN;
    // Ends: eight registers.
    for (const std::optional<int32_t>& at : saved_at_) {
      if (!at) continue;
      lowest = std::min(lowest, *at);
      highest = std::max(highest, *at);
    }
    // Ends: one pass over the slots.
    for (const StackFacts::SlotUse& use : stack_.Slots) {
      // The widest operand, ten bytes, first: most slots lie far from
      // every saved register's.
      if (use.Place >= highest + 4 || lowest >= use.Place + 10) continue;
      const int i = use.Entry(), k = use.Operand();
      const TOpCode& e = code_.At(i);
      // A lea reads no slot, nor a mov its first operand.
      if (!may_read(i) || e.OpCode == "lea" || (k == 0 && e.OpCode == "mov")) continue;
      if (Overlaps(use.Place, 10)) {
        ReadsAt(use.Place, OperandSize(k == 0 ? e.Op1 : k == 1 ? e.Op2 : code_.Op3(i)));
      }
    }
    // Ends: one pass over the pops and leaves.
    for (int i : pops_) {
      if (!may_read(i)) continue;
      if (code_.At(i).OpCode == "pop") ReadsAt(stack_.Esp(i), 4);
      if (code_.At(i).OpCode == "leave" && stack_.Ebp(i)) ReadsAt(*stack_.Ebp(i), 4);
    }
  }

  bool Overlaps(int32_t place, int size) const {
    for (const std::optional<int32_t>& at : saved_at_) {
      if (at && place < *at + 4 && *at < place + size) return true;
    }
    return false;
  }

  void ReadsAt(int32_t place, int size) {
    for (int r = 0; r < 8; ++r) {
      const std::optional<int32_t>& at = saved_at_[static_cast<size_t>(r)];
      if (at && place < *at + 4 && *at < place + size) kept_saves_ |= static_cast<RegSet>(1u << r);
    }
  }

  const CodeTable& code_;
  const StackFacts& stack_;
  const std::vector<int>& targets_;
  const int n_;
  std::vector<char> drop_;
  std::vector<Kind> kind_;
  struct Marked {
    int Entry;
    RegSet Register;  // a save's or restore's
  };
  std::vector<Marked> marked_;  // the entries given a kind, in that order
  std::vector<int> pops_;       // the pops and leaves, in order
  std::array<std::optional<int32_t>, 8> saved_at_{};
  RegSet saves_ = 0, restored_ = 0, kept_saves_ = 0;
  int prologue_end_ = 0;  // the set-up's last entry
  bool returns_ = false;
  bool trusted_ = true;
};

}  // namespace

FrameParts FindFrame(const CodeTable& code, const StackFacts& stack,
                     const std::vector<int>& targets) {
  FrameFinder finder(code, stack, targets);
  FrameParts parts;
  parts.Drop = finder.Find();
  parts.Trusted = finder.Trusted();
  return parts;
}

}  // namespace asm2pas
