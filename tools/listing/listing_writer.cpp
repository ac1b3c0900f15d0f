#include "listing_writer.h"

#include <cctype>

#include "objdump_line.h"

namespace asm2pas::objdump {
namespace {

constexpr size_t kBytesColumns = 24;  // columns 11 to 34

}  // namespace

std::string FormatListingLine(const ListingInstruction& ins) {
  std::string bytes = ins.Bytes;
  if (bytes.size() > kBytesColumns) bytes = bytes.substr(0, kBytesColumns - 2) + "..";
  std::string line = Hex8(ins.Address) + "  " + bytes;
  line.append(34 - line.size(), ' ');
  line += ins.Mnemonic;
  if (!ins.Operands.empty()) line += " " + ins.Operands;
  // asm2pas skips lines that begin with "*": the filler stays visible here.
  if (ins.Padding) line = "* padding: " + line;
  return line + "\r\n";
}

RoutineListing ConvertRoutine(const Routine& routine, const SymbolTable& symbols) {
  RoutineListing out;
  for (const std::string& note : routine.Notes) out.Warnings.push_back(routine.Name + ": " + note);
  std::vector<ListingInstruction> lines;
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

std::string FileNameFor(const std::string& routine_name) {
  std::string out;
  for (char c : routine_name) {
    bool keep = std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '@' ||
                c == '+' || c == '-';
    out += keep ? c : '_';
  }
  if (out.empty() || out.front() == '.') out.insert(out.begin(), '_');
  return out + ".lst";
}

}  // namespace asm2pas::objdump
