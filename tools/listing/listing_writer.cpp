#include "listing_writer.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
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

void ReplaceControls(char* begin, char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    // Ends: every pass looks at the next eight characters. A word without
    // a byte below 0x20 or one of 0x7F is left alone at once.
    for (; begin + 8 <= end; begin += 8) {
      uint64_t w = LoadWord(begin);
      if (((w - kOnes * 0x20) & ~w & kHighs) == 0 && ZeroBytes(w ^ (kOnes * 0x7F)) == 0) continue;
      for (char* c = begin; c < begin + 8; ++c)  // Ends: eight characters
        if (IsControl(*c)) *c = '?';
    }
  }
  // Ends: one pass per character left.
  for (; begin < end; ++begin)
    if (IsControl(*begin)) *begin = '?';
}

}  // namespace

void AppendListingLine(std::string& out, const ListingInstruction& ins) {
  // asm2pas skips lines that begin with "*": the filler stays visible here.
  if (ins.OutOfStep) out += "* out of step: ";
  if (ins.Padding) out += "* padding: ";
  // The columns of format::ListingLine, laid out in place: the address,
  // the bytes (cut and marked ".." when they would reach the mnemonic),
  // blanks up to the mnemonic, the mnemonic and the operands after a
  // blank. The reader rejects addresses beyond 32 bits.
  constexpr size_t kBytesWidth = format::kMnemonicColumn - format::kBytesColumn;
  constexpr size_t kText = format::kMnemonicColumn - 1;
  std::string_view bytes = ins.Bytes;
  bool cut = bytes.size() > kBytesWidth;
  if (cut) bytes = bytes.substr(0, kBytesWidth - 2);
  size_t text = ins.Mnemonic.size() + (ins.Operands.empty() ? 0 : 1 + ins.Operands.size());
  size_t line = out.size();
  out.resize(line + kText + text + format::kLineEnd.size(), ' ');
  char* p = out.data() + line;
  std::string address = format::Hex8(static_cast<uint32_t>(ins.Address));
  std::memcpy(p, address.data(), format::kAddressDigits);
  std::memcpy(p + format::kBytesColumn - 1, bytes.data(), bytes.size());
  if (cut) std::memcpy(p + format::kBytesColumn - 1 + bytes.size(), "..", 2);
  char* t = p + kText;
  std::memcpy(t, ins.Mnemonic.data(), ins.Mnemonic.size());
  if (!ins.Operands.empty()) std::memcpy(t + ins.Mnemonic.size() + 1, ins.Operands.data(), ins.Operands.size());
  ReplaceControls(t, t + text);
  std::memcpy(t + text, format::kLineEnd.data(), format::kLineEnd.size());
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
