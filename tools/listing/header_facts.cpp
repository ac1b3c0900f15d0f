#include "header_facts.h"

#include <optional>

#include "text.h"

namespace asm2pas::objdump {
namespace {

// "[  12] ..." -> 12 and what follows the bracket.
std::optional<uint64_t> BracketNumber(std::string_view s, std::string_view* rest) {
  if (s.empty() || s.front() != '[') return std::nullopt;
  size_t close = s.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view digits = TrimBlanks(s.substr(1, close - 1));
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos ||
      digits.size() > 9)
    return std::nullopt;
  *rest = TrimBlanks(s.substr(close + 1));
  return std::stoull(std::string(digits));
}

// What follows "+base[   1]" when the line has it.
std::string_view AfterBase(std::string_view rest) {
  if (!StartsWith(rest, "+base[")) return rest;
  size_t close = rest.find(']');
  return close == std::string_view::npos ? std::string_view() : TrimBlanks(rest.substr(close + 1));
}

}  // namespace

void HeaderFacts::Take(std::string_view line) {
  std::string_view t = TrimSpace(line);
  if (t.empty()) {
    table_ = Table::None;
    return;
  }
  if (StartsWith(t, "start address 0x")) {
    entry_ = ParseHex(t.substr(16));
  } else if (StartsWith(t, "ImageBase")) {
    if (std::optional<uint64_t> base = ParseHex(TrimSpace(t.substr(9)))) image_base_ = *base;
  } else if (StartsWith(t, "Export Address Table --")) {
    table_ = Table::Addresses;
  } else if (StartsWith(t, "[Ordinal/Name Pointer] Table")) {
    table_ = Table::Names;
  } else if (table_ != Table::None) {
    std::string_view rest;
    std::optional<uint64_t> index = BracketNumber(t, &rest);
    if (!index) return;
    rest = AfterBase(rest);
    if (table_ == Table::Addresses) {
      // "14b0 Export RVA"; a forwarder names a routine of another file.
      size_t gap = rest.find(' ');
      std::optional<uint64_t> rva = ParseHex(rest.substr(0, gap));
      if (rva && rest.find("Export RVA") != std::string_view::npos) rvas_[*index] = *rva;
    } else {
      // "dll_add", or "0000 dll_add" with a hint before the name.
      size_t gap = rest.rfind(' ');
      names_[*index] = std::string(gap == std::string_view::npos ? rest : rest.substr(gap + 1));
    }
  }
}

void HeaderFacts::Finish(ObjdumpInput& out) {
  if (entry_) out.Entries.push_back(*entry_);
  for (const auto& [index, name] : names_) {
    auto rva = rvas_.find(index);
    if (rva != rvas_.end() && !name.empty())
      out.Exports.push_back(Export{name, image_base_ + rva->second});
  }
  *this = HeaderFacts();
}

}  // namespace asm2pas::objdump
