// Reads the facts a whole-program run needs from the header text objdump
// prints before the disassembly with -f and -p: the entry point ("start
// address 0x...") and, for a PE file, the image base and the export table
// (names and addresses of the exported routines). Ignores everything else.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "objdump_input.h"

namespace asm2pas::objdump {

class HeaderFacts {
 public:
  // One header line, without its line end.
  void Take(std::string_view line);
  // Adds what one file's headers said to `out`; ready for the next file.
  void Finish(ObjdumpInput& out);

 private:
  enum class Table { None, Addresses, Names };
  Table table_ = Table::None;
  std::optional<uint64_t> entry_;
  uint64_t image_base_ = 0;
  std::map<uint64_t, uint64_t> rvas_;        // export index -> address relative to the image
  std::map<uint64_t, std::string> names_;    // export index -> name
};

}  // namespace asm2pas::objdump
