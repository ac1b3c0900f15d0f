// One whole conversion: listing bytes in, generated source out to a sink,
// with the exit status and the diagnostics the run produced. The tool, the
// tests, the benchmarks, the fuzzer and asm2pas-listing all go through here.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/diagnostic.h"
#include "output/sink.h"
#include "translate/reading.h"

namespace asm2pas {

constexpr std::string_view kToolName = "asm2pas";

struct ConversionResult {
  int Status = 0;
  // Warnings first, then what ended or failed the run (one reading or
  // write error, or the reports of output cut by the limits).
  std::vector<Diagnostic> Diagnostics;
};

// The run's stderr lines, each `asm2pas: FILE[:LINE]: message`.
std::vector<std::string> Messages(const ConversionResult& result, std::string_view file_name);

// Incremental form, so that the tool can feed a file in blocks.
class Conversion {
 public:
  Conversion(std::string file_name, Sink& out, const Reading& reading = DefaultReading());
  ~Conversion();
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  // Feeds listing bytes; false once the run has ended with an error.
  bool Feed(std::string_view bytes);
  // Reports a failure to open or read the listing (the run ends with it).
  void FailRead(Diagnostic error);
  // Translates what was read and gives the result.
  ConversionResult Finish();
  // After Finish: every generated name with the operand it stands for
  // (size keyword stripped), in order of registration.
  std::vector<std::pair<std::string, std::string>> Legend() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

ConversionResult ConvertListing(std::string_view bytes, const std::string& file_name, Sink& out,
                                const Reading& reading = DefaultReading());

}  // namespace asm2pas
