// One whole conversion: listing bytes in, generated source out to a sink,
// with the exit status and the stderr lines the run produced. The tool, the
// tests, the benchmarks and the fuzzer all go through here.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "output/sink.h"

namespace asm2pas {

struct ConversionResult {
  int Status = 0;
  std::vector<std::string> Messages;  // complete lines for stderr
};

// Incremental form, so that the tool can feed a file in blocks.
class Conversion {
 public:
  Conversion(std::string file_name, Sink& out);
  ~Conversion();
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  // Feeds listing bytes; false once the run has ended with an error.
  bool Feed(std::string_view bytes);
  // Reports a failure to read the listing (the run ends with it).
  void FailRead(const std::string& cause);
  // Translates what was read and gives the result.
  ConversionResult Finish();
  // After Finish: every generated name with the operand it stands for
  // (size keyword stripped), in order of registration.
  std::vector<std::pair<std::string, std::string>> Legend() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

ConversionResult ConvertListing(std::string_view bytes, const std::string& file_name,
                                Sink& out);

}  // namespace asm2pas
