#include "operands.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <set>
#include <vector>

#include "objdump_line.h"

namespace asm2pas::objdump {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t'; }
bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  std::string out;
  char buf[4];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    out += buf;
  }
  return out;
}

// Prefix words objdump writes before a mnemonic.
bool IsPrefixWord(std::string_view w) {
  static const char* const kPrefixes[] = {
      "rep",    "repz",    "repe",    "repnz",  "repne",  "lock",     "bnd",      "notrack",
      "data16", "data32",  "addr16",  "addr32", "cs",     "ds",       "es",       "fs",
      "gs",     "ss",      "xacquire", "xrelease"};
  for (const char* p : kPrefixes)
    if (w == p) return true;
  return false;
}

bool IsConditionalJump(std::string_view m) { return m.size() >= 2 && m[0] == 'j' && m != "jmp"; }

// Instructions that carry a jump target; asm2pas itself treats every
// mnemonic beginning with "j" as a jump.
bool IsJump(std::string_view m) {
  return (!m.empty() && m[0] == 'j') || m == "loop" || m == "loope" || m == "loopne" ||
         m == "loopz" || m == "loopnz";
}

bool IsPcRelative(const Relocation& r) {
  return r.Type == "R_386_PC32" || r.Type == "R_386_PLT32" || r.Type == "R_386_PC16" ||
         r.Type == "R_386_PC8";
}

struct SplitText {
  std::vector<std::string> Prefixes;  // kept ones only
  std::string Mnemonic;
  std::string Operands;  // as objdump wrote them, trimmed
};

// "rep stos DWORD PTR es:[edi],eax" -> prefixes, mnemonic, operands. Hint
// prefixes that change nothing the instruction does are dropped: bnd and
// notrack everywhere, rep before ret, cs and ds before a conditional jump,
// and the ",pt"/",pn" hints after one.
SplitText Split(std::string_view text) {
  // objdump's "# ..." remarks are annotations, not operands.
  if (size_t hash = text.find(" #"); hash != std::string_view::npos) text = text.substr(0, hash);
  text = Trim(text);
  std::vector<std::string> prefixes;
  // Ends: every pass takes one word off the front of `text`.
  for (;;) {
    size_t gap = text.find_first_of(" \t");
    std::string_view word = text.substr(0, gap);
    if (gap == std::string_view::npos || !IsPrefixWord(word)) break;
    prefixes.emplace_back(word);
    text = Trim(text.substr(gap));
  }
  size_t gap = text.find_first_of(" \t");
  SplitText out;
  out.Mnemonic = Lower(text.substr(0, gap));
  if (gap != std::string_view::npos) out.Operands = std::string(Trim(text.substr(gap)));
  if (size_t comma = out.Mnemonic.find(','); comma != std::string::npos &&
                                           IsConditionalJump(out.Mnemonic))
    out.Mnemonic.erase(comma);
  for (const std::string& p : prefixes) {
    if (p == "bnd" || p == "notrack") continue;
    if ((p == "rep" || p == "repz" || p == "repe") && out.Mnemonic == "ret") continue;
    if ((p == "cs" || p == "ds") && IsConditionalJump(out.Mnemonic)) continue;
    out.Prefixes.push_back(p);
  }
  return out;
}

// "20 <sum_to+0x20>" or "20": the target and the symbol text shown, if any.
struct DirectTarget {
  uint64_t Address = 0;
  std::string Symbol;  // without the angle brackets; may be empty
};

std::optional<DirectTarget> ParseDirectTarget(std::string_view operands) {
  size_t gap = operands.find(' ');
  std::optional<uint64_t> address = ParseHex(operands.substr(0, gap));
  if (!address) return std::nullopt;
  DirectTarget out{*address, ""};
  if (gap != std::string_view::npos) {
    std::string_view rest = Trim(operands.substr(gap));
    if (rest.size() < 2 || rest.front() != '<' || rest.back() != '>') return std::nullopt;
    out.Symbol = std::string(rest.substr(1, rest.size() - 2));
  }
  return out;
}

// "helper", "foo+0x10" -> "foo+$10": a symbol with its offset in "$" form.
std::string SymbolText(std::string_view symbol) {
  std::string out;
  size_t i = 0;
  // Ends: every pass consumes at least one character.
  while (i < symbol.size()) {
    if ((symbol[i] == '+' || symbol[i] == '-') && symbol.substr(i + 1, 2) == "0x") {
      size_t end = i + 3;
      while (end < symbol.size() && IsHexDigit(symbol[end])) ++end;
      if (std::optional<uint64_t> v = ParseHex(symbol.substr(i + 3, end - i - 3))) {
        out += symbol[i];
        out += DollarNumber(*v);
        i = end;
        continue;
      }
    }
    out += symbol[i++];
  }
  return out;
}

// A symbol plus a signed byte offset, as "name", "name+$10" or "name-$04".
std::string SymbolPlus(std::string_view symbol, int64_t offset) {
  std::string out = SymbolText(symbol);
  if (offset > 0) out.append("+").append(DollarNumber(static_cast<uint64_t>(offset)));
  if (offset < 0) out.append("-").append(DollarNumber(static_cast<uint64_t>(-offset)));
  return out;
}

// The offset that the displayed placeholder adds to a relocation's symbol:
// the linker puts symbol + addend - place where objdump shows next + addend.
int64_t RelocOffset(uint64_t displayed, const Relocation& r) {
  return static_cast<int64_t>(displayed) - static_cast<int64_t>(r.Offset);
}

const Relocation* FirstPcReloc(const SourceInstruction& ins) {
  for (const Relocation& r : ins.Relocs)
    if (IsPcRelative(r)) return &r;
  return nullptr;
}

// Commas at bracket depth 0 separate operands.
std::vector<std::string_view> SplitOperands(std::string_view operands) {
  std::vector<std::string_view> out;
  if (Trim(operands).empty()) return out;
  int depth = 0;
  size_t start = 0;
  // Ends: one pass per character of the operand text.
  for (size_t i = 0; i < operands.size(); ++i) {
    char c = operands[i];
    if (c == '[' || c == '(' || c == '<') ++depth;
    if ((c == ']' || c == ')' || c == '>') && depth > 0) --depth;
    if (c == ',' && depth == 0) {
      out.push_back(Trim(operands.substr(start, i - start)));
      start = i + 1;
    }
  }
  out.push_back(Trim(operands.substr(start)));
  return out;
}

// The parts of an absolute operand, "DWORD PTR ds:0x804a01c": size keyword
// (with its trailing blank), segment, address.
struct AbsoluteOperand {
  std::string Size;
  std::string Segment;
  uint64_t Address = 0;
};

std::optional<AbsoluteOperand> ParseAbsolute(std::string_view lowered) {
  AbsoluteOperand out;
  if (size_t ptr = lowered.find(" ptr "); ptr != std::string_view::npos) {
    out.Size = std::string(lowered.substr(0, ptr + 5));
    lowered.remove_prefix(ptr + 5);
  }
  if (lowered.size() < 6 || lowered[2] != ':' || lowered[1] != 's' ||
      std::string_view("cdefgs").find(lowered[0]) == std::string_view::npos ||
      lowered.substr(3, 2) != "0x")
    return std::nullopt;
  std::optional<uint64_t> address = ParseHex(lowered.substr(5));
  if (!address) return std::nullopt;
  out.Segment = std::string(lowered.substr(0, 2));
  out.Address = *address;
  return out;
}

std::string AbsoluteText(const AbsoluteOperand& a, const std::string& inside) {
  std::string out = a.Size;
  if (a.Segment != "ds") out += a.Segment + ":";
  return out + "[" + inside + "]";
}

// The relocation that patches the four address bytes of an absolute
// operand: its in-place bytes hold the address objdump shows. Without the
// raw bytes the first absolute relocation is taken.
const Relocation* AbsoluteReloc(const SourceInstruction& ins, uint64_t shown) {
  for (const Relocation& r : ins.Relocs) {
    if (r.Type != "R_386_32") continue;
    if (ins.Bytes.empty()) return &r;
    if (r.Offset < ins.Address || r.Offset - ins.Address + 4 > ins.Bytes.size()) continue;
    size_t at = static_cast<size_t>(r.Offset - ins.Address);
    uint64_t value = static_cast<uint64_t>(ins.Bytes[at]) | static_cast<uint64_t>(ins.Bytes[at + 1]) << 8 |
                     static_cast<uint64_t>(ins.Bytes[at + 2]) << 16 |
                     static_cast<uint64_t>(ins.Bytes[at + 3]) << 24;
    if (value == shown) return &r;
  }
  return nullptr;
}

// The opcode byte after the prefixes; 0 when the bytes are not known.
uint8_t Opcode(const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) {
    switch (b) {
      case 0x66: case 0x67: case 0xF0: case 0xF2: case 0xF3:
      case 0x26: case 0x2E: case 0x36: case 0x3E: case 0x64: case 0x65:
        continue;
      default:
        return b;
    }
  }
  return 0;
}

// An immediate that the processor sign-extends from one byte (opcodes 83,
// 6B and 6A) and that is negative: objdump shows 0xfffffff8, the listing
// -$08. Without the raw bytes, eight-digit values from ffffff80 up are
// taken for such immediates.
std::optional<std::string> NegativeImmediate(std::string_view operand, const SourceInstruction& ins) {
  std::string lowered = Lower(Trim(operand));
  if (lowered.size() < 3 || lowered.substr(0, 2) != "0x") return std::nullopt;
  std::optional<uint64_t> value = ParseHex(std::string_view(lowered).substr(2));
  if (!value) return std::nullopt;
  if (ins.Bytes.empty()) {
    if (lowered.size() == 10 && *value >= 0xFFFFFF80u && *value <= 0xFFFFFFFFu)
      return std::string("-").append(DollarNumber(0x100000000u - *value));
    return std::nullopt;
  }
  uint8_t op = Opcode(ins.Bytes);
  if (op != 0x83 && op != 0x6B && op != 0x6A) return std::nullopt;
  uint8_t last = ins.Bytes.back();
  if (last < 0x80 || (*value & 0xFF) != last) return std::nullopt;
  return std::string("-").append(DollarNumber(0x100u - last));
}

// Every operand of an instruction that is no jump or call target. An
// absolute operand that a relocation fills in gets the relocation's symbol:
// in an object file its address is not known yet, and the symbol keeps
// different globals apart.
std::vector<std::string> RewriteOperands(std::string_view operands, const SourceInstruction& ins) {
  std::vector<std::string_view> raw = SplitOperands(operands);
  std::vector<std::string> ops;
  for (std::string_view op : raw) {
    std::optional<AbsoluteOperand> a = ParseAbsolute(Lower(op));
    const Relocation* reloc = a ? AbsoluteReloc(ins, a->Address) : nullptr;
    if (reloc)
      ops.push_back(AbsoluteText(*a, std::string("$").append(SymbolPlus(reloc->Symbol, static_cast<int64_t>(a->Address)))));
    else
      ops.push_back(RewriteOperand(op));
  }
  if (!raw.empty())
    if (std::optional<std::string> negative = NegativeImmediate(raw.back(), ins)) ops.back() = *negative;
  return ops;
}

std::string_view LastWord(std::string_view mnemonic) {
  size_t gap = mnemonic.rfind(' ');
  return gap == std::string_view::npos ? mnemonic : mnemonic.substr(gap + 1);
}

// The instructions compilers and assemblers fill alignment gaps with: nop
// in every form, xchg ax, ax, int3, and moves and lea that leave a register
// as it was (mov edi, edi; lea esi, [esi+eiz+$00]).
bool IsPadding(const ListingInstruction& ins) {
  std::string_view m = LastWord(ins.Mnemonic);
  if (m == "nop" || m == "int3") return true;
  std::string_view ops = ins.Operands;
  size_t comma = ops.find(", ");
  if (comma == std::string_view::npos) return false;
  std::string_view dest = ops.substr(0, comma);
  std::string_view src = ops.substr(comma + 2);
  if ((m == "xchg" || m == "mov") && ins.Mnemonic == m) return dest == src;
  if (m != "lea" || ins.Mnemonic != m || src.size() < 2 || src.front() != '[' || src.back() != ']')
    return false;
  src = src.substr(1, src.size() - 2);
  if (src.substr(0, dest.size()) != dest) return false;
  src.remove_prefix(dest.size());
  if (src.substr(0, 4) == "+eiz") src.remove_prefix(4);
  if (src.substr(0, 2) == "+$") {
    src.remove_prefix(2);
    if (src.empty() || src.find_first_not_of('0') != std::string_view::npos) return false;
    return true;
  }
  return src.empty();
}

std::string JoinOperands(const std::vector<std::string>& ops) {
  std::string out;
  for (size_t i = 0; i < ops.size(); ++i) {
    if (i) out += ", ";
    out += ops[i];
  }
  return out;
}

std::string JoinPrefixes(const std::vector<std::string>& prefixes, const std::string& mnemonic) {
  std::string out;
  for (const std::string& p : prefixes) out += p + " ";
  return out + mnemonic;
}

}  // namespace

SymbolTable CollectSymbols(const ObjdumpInput& input) {
  SymbolTable table;
  for (const Routine& r : input.Routines) table.emplace(std::make_pair(r.Section, r.Name), r.Address);
  return table;
}

std::string DollarNumber(uint64_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(value));
  std::string digits = buf;
  size_t width = digits.size() <= 2 ? 2 : digits.size() <= 4 ? 4 : digits.size() <= 8 ? 8 : digits.size();
  std::string out = "$";
  out.append(width - digits.size(), '0').append(digits);
  return out;
}

std::string JumpName(std::string_view mnemonic) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"je", "jz"}, {"jne", "jnz"}, {"jg", "jnle"}, {"jge", "jnl"}, {"ja", "jnbe"}, {"jae", "jnb"}};
  for (const auto& [from, to] : kNames)
    if (mnemonic == from) return to;
  return std::string(mnemonic);
}

std::string RewriteOperand(std::string_view operand) {
  // Annotations such as " <g_total>" are objdump's, not the operand's.
  std::string text;
  {
    std::string_view rest = Trim(operand);
    // Ends: every pass moves past one annotation or copies the rest.
    for (;;) {
      size_t open = rest.find(" <");
      size_t close = open == std::string_view::npos ? open : rest.find('>', open);
      if (close == std::string_view::npos) {
        text += rest;
        break;
      }
      text += rest.substr(0, open);
      rest = rest.substr(close + 1);
    }
  }
  std::string lowered = Lower(Trim(text));
  if (std::optional<AbsoluteOperand> a = ParseAbsolute(lowered))
    return AbsoluteText(*a, std::string("$").append(Hex8(a->Address)));
  // objdump writes the count of a shift by one in decimal ("sar eax,1").
  if (!lowered.empty() && lowered.size() <= 9 &&
      lowered.find_first_not_of("0123456789") == std::string::npos)
    return DollarNumber(std::stoull(lowered));

  std::string out;
  size_t i = 0;
  // Ends: every pass consumes at least one character.
  while (i < lowered.size()) {
    char c = lowered[i];
    bool word_start = i == 0 || !IsWordChar(lowered[i - 1]);
    if (c == '0' && word_start && i + 2 < lowered.size() && lowered[i + 1] == 'x' &&
        IsHexDigit(lowered[i + 2])) {
      size_t end = i + 2;
      while (end < lowered.size() && IsHexDigit(lowered[end])) ++end;
      if (std::optional<uint64_t> v = ParseHex(std::string_view(lowered).substr(i + 2, end - i - 2))) {
        out += DollarNumber(*v);
        i = end;
        continue;
      }
    }
    // "[eax+edx*1]": a scale of one says nothing.
    if (c == '*' && i + 1 < lowered.size() && lowered[i + 1] == '1' &&
        (i + 2 == lowered.size() || !std::isdigit(static_cast<unsigned char>(lowered[i + 2])))) {
      i += 2;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

ListingInstruction RewriteInstruction(const SourceInstruction& ins, const std::string& section,
                                      const SymbolTable& symbols) {
  ListingInstruction out;
  out.Address = ins.Address;
  out.Bytes = HexBytes(ins.Bytes);
  SplitText split = Split(ins.Text);
  const std::string& m = split.Mnemonic;
  auto ordinary_operands = [&]() { return RewriteOperands(split.Operands, ins); };

  if (IsJump(m)) {
    std::string name = JumpName(m);
    std::optional<DirectTarget> target = ParseDirectTarget(split.Operands);
    const Relocation* reloc = FirstPcReloc(ins);
    std::string shown;  // what the unfollowable jump's operand becomes
    std::string why;
    if (target && !reloc) {
      if (target->Address <= 0xFFFFFFFFu) {
        out.Mnemonic = JoinPrefixes(split.Prefixes, name);
        out.Operands = Hex8(target->Address);
        return out;
      }
      shown = DollarNumber(target->Address);
      why = "its target does not fit in 32 bits";
    } else if (target && reloc) {
      // An object file: the displayed target is a placeholder the linker
      // fills in; a routine of the same section gives the real address.
      int64_t offset = RelocOffset(target->Address, *reloc);
      auto known = symbols.find(std::make_pair(section, reloc->Symbol));
      if (known != symbols.end()) {
        int64_t address = static_cast<int64_t>(known->second) + offset;
        if (address >= 0 && address <= 0xFFFFFFFF) {
          out.Mnemonic = JoinPrefixes(split.Prefixes, name);
          out.Operands = Hex8(static_cast<uint64_t>(address));
          return out;
        }
      }
      shown = SymbolPlus(reloc->Symbol, offset);
      why = "it jumps to " + shown + ", whose address the input does not give";
    } else {
      shown = JoinOperands(ordinary_operands());
      why = "its target is not a fixed address";
    }
    out.Mnemonic = JoinPrefixes(split.Prefixes, "i" + name);
    out.Operands = shown;
    std::string original = Lower(JoinPrefixes(split.Prefixes, m)) + (split.Operands.empty() ? "" : " " + split.Operands);
    out.Warning = "'" + original + "' written as '" + out.Mnemonic + (shown.empty() ? "" : " " + shown) +
                  "': " + why + "; asm2pas takes only jumps to a bare address, so it shows this one "
                  "as a comment line and does not follow it";
    return out;
  }

  out.Mnemonic = JoinPrefixes(split.Prefixes, m);
  if (m == "call") {
    std::optional<DirectTarget> target = ParseDirectTarget(split.Operands);
    if (!target) {
      out.Operands = JoinOperands(ordinary_operands());
      return out;
    }
    if (const Relocation* reloc = FirstPcReloc(ins)) {
      out.Operands = SymbolPlus(reloc->Symbol, RelocOffset(target->Address, *reloc));
      return out;
    }
    if (!ins.Bytes.empty() && target->Address > ins.Address &&
        target->Address < ins.Address + ins.Bytes.size()) {
      out.Operands = "$" + Hex8(target->Address);
      out.Warning = "the call's target is not resolved (an object file disassembled without "
                    "relocations); written as call " + out.Operands +
                    "; disassemble with objdump -dr -M intel to get the name of the routine it calls";
      return out;
    }
    // A symbol objdump shows names the target; a section name with an
    // offset (".text+0x40") is no name.
    if (!target->Symbol.empty() && target->Symbol.front() != '.')
      out.Operands = SymbolText(target->Symbol);
    else
      out.Operands = "$" + Hex8(target->Address);
    return out;
  }

  out.Operands = JoinOperands(ordinary_operands());
  return out;
}

void ApplyRoutineRules(std::vector<ListingInstruction>& routine) {
  std::set<std::string> targets;
  for (const ListingInstruction& ins : routine)
    if (IsJump(ins.Mnemonic)) targets.insert(ins.Operands);

  // Filler after a ret or jmp that no jump reaches. Ends: one pass per
  // instruction of the routine.
  bool after_transfer = false;
  for (ListingInstruction& ins : routine) {
    if (after_transfer && IsPadding(ins) && !targets.count(Hex8(ins.Address))) {
      ins.Padding = true;
      continue;
    }
    std::string_view last = LastWord(ins.Mnemonic);
    after_transfer = last == "ret" || last == "jmp" || last == "ijmp";
  }
  // Ends: one pass per instruction of the routine.
  for (size_t i = 1; i < routine.size(); ++i) {
    ListingInstruction& ins = routine[i];
    const ListingInstruction& before = routine[i - 1];
    if (ins.Mnemonic != "js" && ins.Mnemonic != "jns") continue;
    if (before.Mnemonic != "cmp" || before.Operands.size() < 5 ||
        before.Operands.compare(before.Operands.size() - 5, 5, ", $00") != 0)
      continue;
    if (targets.count(Hex8(ins.Address))) continue;  // flags from elsewhere may arrive
    ins.Mnemonic = ins.Mnemonic == "js" ? "jl" : "jnl";
  }
}

}  // namespace asm2pas::objdump
