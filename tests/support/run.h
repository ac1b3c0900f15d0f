// Runs a whole conversion in-process for a test: the output, the result,
// the stderr lines and the output split into lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "driver/conversion.h"

namespace asm2pas::testing {

struct Outcome {
  std::string Out;
  ConversionResult Result;
  std::vector<std::string> Messages;  // as the tool prints them
  std::vector<std::string> Lines;     // the output's lines, without CR LF
};

Outcome Convert(std::string_view input, const std::string& file_name = "t.lst",
                const Reading& reading = DefaultReading());

// The lines of a CR LF text, without their line ends; a last line without
// one is left out.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace asm2pas::testing
