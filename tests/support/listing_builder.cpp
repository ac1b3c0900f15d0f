#include "listing_builder.h"

#include "driver/run_state.h"
#include "listing/reader.h"

namespace asm2pas::testing {

std::string Line(uint32_t address, std::string_view instruction) {
  return format::ListingLine(address, {}, instruction);
}

std::string RawLine(std::string_view head, std::string_view instruction) {
  std::string line(head);
  if (line.size() < format::kMnemonicColumn - 1) line.resize(format::kMnemonicColumn - 1, ' ');
  return line.append(instruction).append(format::kLineEnd);
}

std::string ListingOf(std::initializer_list<std::string_view> instructions, uint32_t first) {
  std::string text;
  for (std::string_view ins : instructions) text += Line(first++, ins);
  return text;
}

std::unique_ptr<ReadListing> Read(std::string_view text) {
  auto read = std::make_unique<ReadListing>();
  VarRegistry registry(read->Vars);
  ListingReader reader(read->Code, registry, read->Diagnostics);
  reader.Feed(text);
  reader.Finish();
  read->Failed = reader.Failed();
  return read;
}

}  // namespace asm2pas::testing
