#include "instruction_text.h"

#include "text.h"

namespace asm2pas::objdump {

bool IsPrefixWord(std::string_view w) {
  // Every instruction asks: by length first.
  switch (w.size()) {
    case 2: return w == "cs" || w == "ds" || w == "es" || w == "fs" || w == "gs" || w == "ss";
    case 3: return w == "rep" || w == "bnd";
    case 4: return w == "repz" || w == "repe" || w == "lock";
    case 5: return w == "repnz" || w == "repne";
    case 6: return w == "data16" || w == "data32" || w == "addr16" || w == "addr32";
    case 7: return w == "notrack";
    case 8: return w == "xacquire" || w == "xrelease";
    default: return false;
  }
}

std::pair<std::string_view, std::string_view> MnemonicAndOperands(std::string_view text) {
  text = TrimBlanks(text);
  // Ends: every pass takes one word off the front of `text`.
  for (;;) {
    size_t gap = FindBlank(text);
    if (gap == std::string_view::npos) return {text, {}};
    std::string_view word = text.substr(0, gap);
    std::string_view rest = TrimBlanks(text.substr(gap));
    if (!IsPrefixWord(word)) return {word, rest};
    text = rest;
  }
}

bool IsConditionalJump(std::string_view m) { return m.size() >= 2 && m[0] == 'j' && m != "jmp"; }

bool IsJump(std::string_view m) {
  return (!m.empty() && m[0] == 'j') || m == "loop" || m == "loope" || m == "loopne" ||
         m == "loopz" || m == "loopnz";
}

SplitText Split(std::string_view text) {
  // objdump's "# ..." remarks are annotations, not operands.
  // Ends: every pass looks at the next "#".
  for (size_t hash = FindChar(text, '#'); hash != std::string_view::npos; hash = FindChar(text, '#', hash + 1)) {
    if (hash > 0 && text[hash - 1] == ' ') {
      text = text.substr(0, hash - 1);
      break;
    }
  }
  text = TrimBlanks(text);
  std::vector<std::string_view> prefixes;
  size_t gap;  // after the mnemonic, once the loop ends
  // Ends: every pass takes one word off the front of `text`.
  for (;;) {
    gap = FindBlank(text);
    std::string_view word = text.substr(0, gap);
    if (gap == std::string_view::npos || !IsPrefixWord(word)) break;
    prefixes.push_back(word);
    text = TrimBlanks(text.substr(gap));
  }
  SplitText out;
  out.Mnemonic.assign(text.substr(0, gap));
  // Ends: one pass per character of the mnemonic.
  for (char& c : out.Mnemonic)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (gap != std::string_view::npos) out.Operands = TrimBlanks(text.substr(gap));
  if (size_t comma = FindChar(out.Mnemonic, ','); comma != std::string::npos &&
                                           IsConditionalJump(out.Mnemonic))
    out.Mnemonic.erase(comma);
  for (std::string_view p : prefixes) {
    if (p == "bnd" || p == "notrack") continue;
    if ((p == "rep" || p == "repz" || p == "repe") && out.Mnemonic == "ret") continue;
    if ((p == "cs" || p == "ds") && IsConditionalJump(out.Mnemonic)) continue;
    out.Prefixes.push_back(p);
  }
  return out;
}

std::optional<DirectTarget> ParseDirectTarget(std::string_view operands) {
  size_t gap = FindChar(operands, ' ');
  std::string_view digits = operands.substr(0, gap);
  // Without symbols objdump writes the target as "0x804c3d4".
  if (gap == std::string_view::npos && StartsWith(digits, "0x")) digits.remove_prefix(2);
  std::optional<uint64_t> address = ParseHex(digits);
  if (!address) return std::nullopt;
  DirectTarget out{*address, ""};
  if (gap != std::string_view::npos) {
    std::string_view rest = TrimBlanks(operands.substr(gap));
    if (rest.size() < 2 || rest.front() != '<' || rest.back() != '>') return std::nullopt;
    out.Symbol = rest.substr(1, rest.size() - 2);
  }
  return out;
}

std::vector<std::string_view> SplitOperands(std::string_view operands) {
  std::vector<std::string_view> out;
  ForEachOperand(operands, [&](std::string_view operand) { out.push_back(operand); });
  return out;
}

void AssignJoined(std::string& out, const std::vector<std::string_view>& prefixes, std::string_view mnemonic) {
  out.clear();
  // Ends: one pass per prefix.
  for (std::string_view p : prefixes) out.append(p).append(" ");
  out.append(mnemonic);
}

std::string JoinPrefixes(const std::vector<std::string_view>& prefixes, std::string_view mnemonic) {
  std::string out;
  AssignJoined(out, prefixes, mnemonic);
  return out;
}

std::string_view LastWord(std::string_view mnemonic) {
  size_t gap = mnemonic.rfind(' ');
  return gap == std::string_view::npos ? mnemonic : mnemonic.substr(gap + 1);
}

}  // namespace asm2pas::objdump
