#include "listing_writer.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "listing/format.h"
#include "routine_rules.h"
#include "text.h"

namespace asm2pas::objdump {

namespace {

// Control characters (a symbol may hold any byte) as "?": a listing line
// holds no line end but its own.
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

}  // namespace

void AppendListingLine(std::string& out, const ListingInstruction& ins) {
  // asm2pas skips lines that begin with "*": the filler stays visible here.
  if (ins.OutOfStep) out += "* out of step: ";
  if (ins.Padding) out += "* padding: ";
  // The columns of format::ListingLine, laid out in place. The reader
  // rejects addresses beyond 32 bits.
  constexpr size_t kBytesWidth = format::kMnemonicColumn - format::kBytesColumn;
  size_t line = out.size();
  out += format::Hex8(static_cast<uint32_t>(ins.Address));
  out.append(format::kBytesColumn - 1 - format::kAddressDigits, ' ');
  std::string_view bytes = ins.Bytes;
  if (bytes.size() > kBytesWidth)
    out.append(bytes.substr(0, kBytesWidth - 2)).append("..");
  else
    out.append(bytes);
  out.append(format::kMnemonicColumn - 1 - (out.size() - line), ' ');
  size_t text = out.size();
  out.append(ins.Mnemonic);
  if (!ins.Operands.empty()) out.append(" ").append(ins.Operands);
  // Ends: one pass per character of the mnemonic and operands.
  for (size_t i = text; i < out.size(); ++i)
    if (IsControl(out[i])) out[i] = '?';
  out.append(format::kLineEnd);
}

std::string FormatListingLine(const ListingInstruction& ins) {
  std::string line;
  AppendListingLine(line, ins);
  return line;
}

void ListingWriter::Write(const Routine& routine, RoutineListing& out) {
  out.Text.clear();
  out.Warnings.clear();
  for (const Note& note : routine.Notes) out.Warnings.push_back(routine.Name + ": " + note.Text);
  if (lines_.size() < routine.Instructions.size()) lines_.resize(routine.Instructions.size());
  std::span<ListingInstruction> lines(lines_.data(), routine.Instructions.size());
  out.Text.reserve(routine.Instructions.size() * 64);
  // Ends: one pass per instruction of the routine, and again below.
  for (size_t i = 0; i < lines.size(); ++i)
    RewriteInstruction(routine.Instructions[i], routine.Section, symbols_, lines[i]);
  ApplyRoutineRules(lines);
  for (const ListingInstruction& ins : lines) {
    if (!ins.Warning.empty())
      out.Warnings.push_back(routine.Name + ": " + Hex8(ins.Address) + ": " + ins.Warning);
    AppendListingLine(out.Text, ins);
  }
}

RoutineListing ConvertRoutine(const Routine& routine, const SymbolTable& symbols) {
  RoutineListing out;
  ListingWriter(symbols).Write(routine, out);
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
  std::vector<std::string> base;
  base.reserve(routines.size());
  std::unordered_map<std::string, size_t> count;  // routines (and reserved names) by base name
  for (const std::string& name : reserved) ++count[name];
  // Ends: one pass per routine.
  for (const Routine& r : routines) ++count[base.emplace_back(BaseName(r.Name))];
  std::unordered_set<std::string> used(reserved.begin(), reserved.end());
  std::vector<std::string> out;
  out.reserve(routines.size());
  // Ends: one pass per routine.
  for (size_t i = 0; i < routines.size(); ++i) {
    const Routine& r = routines[i];
    std::string file = std::move(base[i]);
    if (count[file] > 1) file = BaseName(r.Name + "-" + Hex8(r.Address));
    for (int n = 2; used.count(file); ++n)  // ends: `used` is finite
      file = BaseName(r.Name + "-" + Hex8(r.Address) + "-" + std::to_string(n));
    if (!r.Instructions.empty()) used.insert(file);  // no file is written for an empty one
    out.push_back(std::move(file));
  }
  return out;
}

}  // namespace asm2pas::objdump
