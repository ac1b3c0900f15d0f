#include "pas_file.h"

#include "text.h"

namespace asm2pas::objdump {

std::string CommentSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t run = 0;  // the first character not yet copied
  // Ends: one pass per character; the plain ones are copied in runs.
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char u = static_cast<unsigned char>(text[i]);
    if (u != '{' && u != '}' && u != '#' && u >= 0x20 && u != 0x7F) continue;
    out.append(text.substr(run, i - run)).append("#").append(std::to_string(u));
    run = i + 1;
  }
  return out.append(text.substr(run));
}

std::string PasHeader(const PasHeading& h) {
  std::string out = "{ routine " + CommentSafe(h.Routine) + "\r\n";
  out += "  addresses " + Hex8(h.First) + " to " + Hex8(h.Last) + ", " + std::to_string(h.Instructions) +
         " instructions\r\n";
  if (h.Legend.empty()) {
    out += "  no generated names\r\n";
  } else {
    out += "  generated names:\r\n";
    for (const auto& [name, operand] : h.Legend)
      out += "    " + CommentSafe(name) + " = " + CommentSafe(operand) + "\r\n";
  }
  return out + "}\r\n";
}

OutputShare CountOutput(std::string_view output) {
  OutputShare share;
  size_t line = 0;                // lines seen
  bool last_is_statement = false;  // the line seen last
  size_t pos = 0;
  // Ends: every pass moves past one line end, or to the end. A line counts
  // once the line after it is seen: the outer begin and end; do not.
  while (pos < output.size()) {
    size_t end = FindPair(output, '\r', '\n', pos);
    if (end == std::string_view::npos) end = output.size();
    if (line++ >= 2) {
      ++share.Lines;
      share.Statements += last_is_statement;
    }
    last_is_statement = !StartsWith(TrimBlanks(output.substr(pos, end - pos)), "//");
    pos = end + 2;
  }
  return share;
}

}  // namespace asm2pas::objdump
