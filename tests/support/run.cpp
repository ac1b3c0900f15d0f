#include "run.h"

#include "output/sink.h"

namespace asm2pas::testing {

Outcome Convert(std::string_view input, const std::string& file_name, const Reading& reading) {
  Outcome o;
  StringSink out;
  o.Result = ConvertListing(input, file_name, out, reading);
  o.Out = out.Text();
  o.Messages = Messages(o.Result, file_name);
  o.Lines = SplitLines(o.Out);
  return o;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t k = 0;
  // Ends: k moves past one line each pass.
  while (k < text.size()) {
    size_t eol = text.find("\r\n", k);
    if (eol == std::string_view::npos) break;
    lines.emplace_back(text.substr(k, eol - k));
    k = eol + 2;
  }
  return lines;
}

}  // namespace asm2pas::testing
