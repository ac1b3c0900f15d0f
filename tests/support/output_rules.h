// The rules every run must keep, whatever the listing: it ends with status
// 0 or 1; stdout is whole CR LF lines, at most 10000 of them; a failure
// while reading leaves stdout empty; a complete run is framed by "begin"
// and "end;"; output cut short is reported and fails the run; and the
// diagnostics are of the kinds such a run can give, each one line.
#pragma once

#include <string>
#include <string_view>

#include "driver/conversion.h"

namespace asm2pas::testing {

// Checks one run of ConvertListing on `input` (named `file_name`) that gave
// `out` and `result`. `instructions` is the number of instruction lines the
// listing holds, or -1 when the caller does not know it. Returns an empty
// text when every rule holds, else what broke.
std::string CheckRun(std::string_view input, const std::string& file_name,
                     const std::string& out, const ConversionResult& result,
                     long instructions = -1);

// At least the number of instruction lines `input` can hold: the lines
// the reader sees before a code 26.
long MaxInstructions(std::string_view input);

// Number of output lines (CR LF pairs) in `out`.
long CountLines(std::string_view out);

}  // namespace asm2pas::testing
