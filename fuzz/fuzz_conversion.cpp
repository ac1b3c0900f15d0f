// libFuzzer target over the whole conversion: the input bytes are the
// listing, the output goes to a string, and every run starts from a fresh
// state. A run that breaks one of the output rules aborts, so it counts as
// a finding like a crash, a sanitizer report or a hang.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "driver/conversion.h"
#include "output/sink.h"
#include "output_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  asm2pas::StringSink out;
  asm2pas::ConversionResult result = asm2pas::ConvertListing(input, "fuzz.lst", out);
  std::string broken = asm2pas::rules::CheckRun(input, "fuzz.lst", out.Text(), result,
                                                asm2pas::rules::MaxInstructions(input));
  if (!broken.empty()) {
    std::fprintf(stderr, "output rule broken: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}
