// A whole program in one run: for every routine NAME.lst (the listing) and
// NAME.pas (a comment block, then what asm2pas prints for NAME.lst,
// converted in-process), pages routines-NNNN.html that show both side by
// side, routine after routine, and an index of all routines as index.txt
// and index.html. The routines are converted on every core, a page at a
// time; one that fails is reported in the index and stops no other.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "objdump_input.h"
#include "translate/reading.h"

namespace asm2pas::objdump {

struct WholeProgramOptions {
  std::string Dir;
  std::string Title;     // names the input in the index
  unsigned Threads = 0;  // 0: one per core
  bool Progress = true;  // a line on stderr every 1000 routines
  // The reading every conversion uses (--extended: the extended one).
  const Reading* Read = &DefaultReading();
};

struct WholeProgramResult {
  size_t Routines = 0;
  size_t Failed = 0;
  size_t Warnings = 0;
  std::vector<std::string> Errors;  // files that could not be written
};

// Writes everything into options.Dir, which must exist.
WholeProgramResult ConvertWholeProgram(const ObjdumpInput& input, const WholeProgramOptions& options);

}  // namespace asm2pas::objdump
