#include "listing/code_table.h"

#include <utility>

namespace asm2pas {

void CodeTable::Append(TOpCode entry) {
  uint32_t address = entry.Address;
  entries_.push_back(std::move(entry));
  // emplace keeps an existing mapping, so the index answers the first entry
  // with an address, as a scan from entry 1 would.
  first_.emplace(address, CodeCount());
}

}  // namespace asm2pas
