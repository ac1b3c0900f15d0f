// What the extended reading knows of a routine's control and data flow
// before it translates: where every jump goes, which jumps come to every
// entry (so a structure can check that it is entered only at its start),
// and which registers are live before every entry (so a load a condition
// reads can be left out only when nothing else reads it).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "listing/code_table.h"
#include "translate/trim_frame.h"

namespace asm2pas {

// The general registers as bits: eax, ecx, edx, ebx, esp, ebp, esi, edi.
using RegSet = uint8_t;
constexpr RegSet kAllRegs = 0xFF;

// The register family a whole operand names (eax, ax, al, ah -> eax's
// bit), or 0.
RegSet RegisterOf(std::string_view operand);
// The registers an operand reads: the register itself, or those of an
// address expression.
RegSet RegistersIn(std::string_view operand);

struct RoutineFacts {
  BodyRange Body;
  // Per entry (index 0 unused): the entry a jump goes to, 0 when the entry
  // is no jump or its target is no entry.
  std::vector<int> Target;
  std::vector<char> IsJmp;  // per entry: an unconditional jmp
  // Per entry: how many jumps come to it, and the first and last entry
  // they come from.
  std::vector<int> Incoming;
  std::vector<int> FirstSource;
  std::vector<int> LastSource;
  // Whether entry i is an entry of the table no jump comes to.
  bool NoJumpTo(int i) const {
    return i >= 1 && static_cast<size_t>(i) < Incoming.size() &&
           Incoming[static_cast<size_t>(i)] == 0;
  }
  // Per entry: the registers that may be read, on some path from the
  // entry on, before they are written.
  std::vector<RegSet> LiveIn;
  // The routine jumps through a pointer (ijmp): entries after a jmp or a
  // ret may be reached from places no jump shows.
  bool JumpsIndirectly = false;
  // Per entry: how many entries on the next jump stands (0: the entry is
  // one), and how many on the first entry that is no step of a condition
  // before its jump (IsConditionStep); each at most kFar. A recogniser that
  // looks ahead for a condition's jump reads them instead of the entries.
  static constexpr uint8_t kFar = 255;
  std::vector<uint8_t> ToJump;
  std::vector<uint8_t> ToNoStep;

  // Per entry: whether an exit may be read from it: it is a return, or the
  // first jump at most kExitReach entries on goes where a tail of at most
  // three moves before the exit may start (execution from there, or from
  // one of the three entries after it, goes on as from the exit). Empty
  // where the body has no exit.
  static constexpr int kExitReach = 12;
  std::vector<char> MayExit;
  bool MayExitFrom(int i) const {
    return i >= 1 && static_cast<size_t>(i) < MayExit.size() && MayExit[static_cast<size_t>(i)];
  }

  // Whether the entries from..to are entered only at `from` (by falling
  // into it or by jumps): no jump from outside them comes to any other.
  bool EnteredOnlyAtStart(int from, int to) const;
  // Whether jumps from entries from..to stay within from..to or go to
  // `exit` (or leave the routine at Body.Exit).
  bool LeavesOnlyTo(int from, int to, int exit) const;
  // The registers live after entry i when it falls through or jumps.
  RegSet LiveAfter(int i) const;
  // The entry where execution goes on from entry i: i itself, or, for a
  // jmp, where its chain of jmps ends. Inline, as the recognisers ask it
  // at almost every step.
  int Resolve(int i) const {
    // Ends: at most 64 steps along a chain of jmps.
    for (int steps = 0; steps < 64 && i >= 1 && static_cast<size_t>(i) < IsJmp.size() &&
                        IsJmp[static_cast<size_t>(i)] && Target[static_cast<size_t>(i)] != 0;
         ++steps) {
      i = Target[static_cast<size_t>(i)];
    }
    return i;
  }
  // Whether jumping to entry a does what jumping to entry b does (0 for
  // either: no).
  bool SamePlace(int a, int b) const {
    return a >= 1 && b >= 1 && (a == b || Resolve(a) == Resolve(b));
  }
};

// Whether an instruction may stand in a condition before its jump: a
// load, a step or a comparison (mov, cmp, test, or, and, add, sub, movzx,
// movsx).
bool IsConditionStep(std::string_view mnemonic);

// `targets`: every jump's target entry by position (-1: none) as the
// passes kept them (taken over as Target), or empty, when they are looked
// up here.
RoutineFacts AnalyseFlow(const CodeTable& code, BodyRange body, std::vector<int> targets);

}  // namespace asm2pas
