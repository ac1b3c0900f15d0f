// The capacities of a run, named once: the tables hold this much, and the
// diagnostics that report a limit quote these numbers.
#pragma once

namespace asm2pas {

constexpr int kCodeCapacity = 10000;   // instruction lines of a listing
constexpr int kVarsCapacity = 2000;    // distinct variable operands
constexpr int kLinesCapacity = 10000;  // output lines of a run
constexpr int kLabelsCapacity = 1000;  // deferred texts ("end;" of a try)
constexpr int kMaxConds = 50;          // conditions of one if or while

}  // namespace asm2pas
