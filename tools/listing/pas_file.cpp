#include "pas_file.h"

#include "text.h"

namespace asm2pas::objdump {

std::string CommentSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '{' || c == '}' || c == '#' || u < 0x20 || u == 0x7F)
      out.append("#").append(std::to_string(u));
    else
      out += c;
  }
  return out;
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
  std::vector<std::string_view> lines;
  size_t pos = 0;
  // Ends: every pass moves past one line end, or to the end.
  while (pos < output.size()) {
    size_t end = output.find("\r\n", pos);
    if (end == std::string_view::npos) end = output.size();
    lines.push_back(output.substr(pos, end - pos));
    pos = end + 2;
  }
  OutputShare share;
  if (lines.size() < 2) return share;
  // Ends: one pass per line between the outer begin and end;.
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    ++share.Lines;
    if (!StartsWith(TrimBlanks(lines[i]), "//")) ++share.Statements;
  }
  return share;
}

}  // namespace asm2pas::objdump
