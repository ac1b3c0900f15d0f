// Operand naming: which operand texts are variables (frame slots, absolute
// memory, register variables), their registration in order of first
// appearance, and the generated Local_/Global_ names that replace them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/limits.h"

namespace asm2pas {

// Hashes texts as views, so that a lookup needs no copy of its key.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

enum TOperandKind : uint8_t { okGlobal = 0, okLocal = 1, okNone = 2 };

struct TVar {
  std::string Name;     // operand text, trimmed, size keyword stripped
  std::string NewName;  // Global_XXXX or Local_XXXX
  uint8_t Size = 4;
  uint8_t Reserved = 0;
  uint8_t Kind = okNone;
};

struct VarTable {
  std::vector<TVar> Vars;  // Vars[k - 1] is entry k
  // Name -> one-based index: open addressing over the names, 0 for an
  // empty slot. Twice the capacity, so it is never more than half full.
  std::vector<int> ByName;
  int32_t GlobalSeq = 0;
  int32_t LocalSeq = 0;
  // Distinct variable operands refused because the table was full.
  std::unordered_set<std::string> Refused;
  // Some name lacks every mark of a variable and is no register's: an
  // operand of no variable kind may then still name a variable.
  bool OddNames = false;
  // Registers that are variables are named inside memory operands as well
  // ([ebx+$04] reads [Local_0001+$04]), so that one register has one name
  // everywhere. Off in the default reading.
  bool NamesInside = false;
  // The memory operands so named, by their trimmed text: the names given
  // out are views into these.
  mutable std::unordered_map<std::string, std::string, TextHash, std::equal_to<>> Inside;
  // The variables whose operand is a whole 32-bit register, as
  // RegisterVariables found them when the table had `RegistersFoundAt`
  // entries.
  mutable std::vector<int> Registers;
  mutable int RegistersFoundAt = -1;

  int VarCount() const { return static_cast<int>(Vars.size()); }
};

std::string StripPtr(std::string_view operand);
TOperandKind OperandKind(std::string_view operand);
uint8_t OperandSize(std::string_view operand);
std::string MakeVarName(VarTable& vars, std::string_view operand);
int FindVar(const VarTable& vars, std::string_view operand);
// The one-based indexes of the variables whose operand is a whole 32-bit
// register (a saved register the reading names): few, found once for each
// size of the table.
const std::vector<int>& RegisterVariables(const VarTable& vars);

// What the reading learns about an operand's variable, kept with the
// operand so that the translation need not look it up again (the table is
// complete by then, and an answer given here does not change as it grows):
// the one-based index of its variable, or one of these.
constexpr int16_t kLookUp = 0;           // not known: look it up
constexpr int16_t kNotAVar = -1;         // names no variable
constexpr int16_t kUnlessOddNames = -2;  // names none unless the table has odd names

// Registers the operand if it is a new variable; gives the hint for it.
int16_t AddVar(VarTable& vars, std::string_view operand);
// The same for an operand a reading knows to be a variable of this kind
// (okGlobal or okLocal) though its text bears no mark of one: a stack slot
// named by its place, for one.
int16_t AddVarOfKind(VarTable& vars, std::string_view operand, TOperandKind kind);
// The variable's generated name, or else the operand trimmed (a view into
// the operand), with NamesInside its registers named. The name is a view
// into the table, valid while the table takes no further entries: the
// reading registers them all before the translation asks for any name.
std::string_view VarName(const VarTable& vars, std::string_view operand);
// VarName of the text when it names a variable; otherwise the text with
// every register in it that is a variable (ebx, esi, edi, bx, bl standing
// as words) replaced by that variable's name.
std::string NameRegisters(const VarTable& vars, std::string_view text);
// VarName applied to an operand in place: the view is pointed at the name
// or at the trimmed operand.
void SubstituteName(const VarTable& vars, std::string_view& operand);
// The same, for the operand the reading gave this hint for.
void SubstituteName(const VarTable& vars, std::string_view& operand, int16_t hint);

}  // namespace asm2pas
