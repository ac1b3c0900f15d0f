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

namespace asm2pas {

constexpr int kVarsCapacity = 2000;

enum TOperandKind : uint8_t { okGlobal = 0, okLocal = 1, okNone = 2 };

struct TVar {
  std::string Name;     // operand text, trimmed, size keyword stripped
  std::string NewName;  // Global_XXXX or Local_XXXX
  uint8_t Size = 4;
  uint8_t Reserved = 0;
  uint8_t Kind = okNone;
};

// Hashes names as views, so that an operand is looked up without copying
// it into a string first.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

struct VarTable {
  std::vector<TVar> Vars;  // Vars[k - 1] is entry k
  // Name -> one-based index
  std::unordered_map<std::string, int, NameHash, std::equal_to<>> ByName;
  int32_t GlobalSeq = 0;
  int32_t LocalSeq = 0;
  // Distinct variable operands refused because the table was full.
  std::unordered_set<std::string> Refused;

  int VarCount() const { return static_cast<int>(Vars.size()); }
};

std::string StripPtr(std::string_view operand);
TOperandKind OperandKind(std::string_view operand);
uint8_t OperandSize(std::string_view operand);
std::string MakeVarName(VarTable& vars, std::string_view operand);
int FindVar(const VarTable& vars, std::string_view operand);
void AddVar(VarTable& vars, std::string_view operand);
std::string VarName(const VarTable& vars, std::string_view operand);
// VarName applied to an operand in place.
void SubstituteName(const VarTable& vars, std::string& operand);

}  // namespace asm2pas
