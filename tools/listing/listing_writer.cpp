#include "listing_writer.h"

#include <algorithm>
#include <cctype>

#include "listing/format.h"
#include "routine_rules.h"
#include "text.h"

namespace asm2pas::objdump {

namespace {

// Control characters (a symbol may hold any byte) as "?": a listing line
// holds no line end but its own.
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (IsControl(c)) c = '?';
  return out;
}

bool HasControl(std::string_view text) { return std::any_of(text.begin(), text.end(), IsControl); }

}  // namespace

std::string FormatListingLine(const ListingInstruction& ins) {
  // The reader rejects addresses beyond 32 bits.
  std::string line =
      HasControl(ins.Mnemonic) || HasControl(ins.Operands)
          ? format::ListingLine(static_cast<uint32_t>(ins.Address), ins.Bytes, Printable(ins.Mnemonic),
                                Printable(ins.Operands))
          : format::ListingLine(static_cast<uint32_t>(ins.Address), ins.Bytes, ins.Mnemonic, ins.Operands);
  // asm2pas skips lines that begin with "*": the filler stays visible here.
  if (ins.Padding) line.insert(0, "* padding: ");
  if (ins.OutOfStep) line.insert(0, "* out of step: ");
  return line;
}

RoutineListing ConvertRoutine(const Routine& routine, const SymbolTable& symbols) {
  RoutineListing out;
  for (const Note& note : routine.Notes) out.Warnings.push_back(routine.Name + ": " + note.Text);
  std::vector<ListingInstruction> lines;
  lines.reserve(routine.Instructions.size());
  out.Text.reserve(routine.Instructions.size() * 64);
  // Ends: one pass per instruction of the routine, and again below.
  for (const SourceInstruction& source : routine.Instructions)
    lines.push_back(RewriteInstruction(source, routine.Section, symbols));
  ApplyRoutineRules(lines);
  for (const ListingInstruction& ins : lines) {
    if (!ins.Warning.empty())
      out.Warnings.push_back(routine.Name + ": " + Hex8(ins.Address) + ": " + ins.Warning);
    out.Text += FormatListingLine(ins);
  }
  return out;
}

namespace {

std::string BaseName(const std::string& routine_name) {
  std::string out;
  for (char c : routine_name) {
    bool keep = std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '@' ||
                c == '+' || c == '-';
    out += keep ? c : '_';
  }
  if (out.empty() || out.front() == '.') out.insert(out.begin(), '_');
  return out;
}

}  // namespace

std::string FileNameFor(const std::string& routine_name) { return BaseName(routine_name) + ".lst"; }

std::vector<std::string> BaseFileNames(const std::vector<Routine>& routines,
                                       const std::set<std::string>& reserved) {
  std::multiset<std::string> names(reserved.begin(), reserved.end());
  for (const Routine& r : routines) names.insert(BaseName(r.Name));
  std::set<std::string> used = reserved;
  std::vector<std::string> out;
  out.reserve(routines.size());
  for (const Routine& r : routines) {
    std::string file = BaseName(r.Name);
    if (names.count(file) > 1) file = BaseName(r.Name + "-" + Hex8(r.Address));
    for (int n = 2; used.count(file); ++n)  // ends: `used` is finite
      file = BaseName(r.Name + "-" + Hex8(r.Address) + "-" + std::to_string(n));
    if (!r.Instructions.empty()) used.insert(file);  // no file is written for an empty one
    out.push_back(file);
  }
  return out;
}

}  // namespace asm2pas::objdump
