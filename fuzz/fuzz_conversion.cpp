// libFuzzer target over the whole conversion: the input bytes are the
// listing, the output goes to a string, and every run starts from a fresh
// state. A run that breaks one of the output rules aborts, so it counts as
// a finding like a crash, a sanitizer report or a hang.
//
// Besides libFuzzer's byte mutations, a line-aware mutator rewrites whole
// instruction lines in the fixed-column layout: instructions from the
// vocabulary the recognisers key on, jumps aimed at addresses the listing
// holds, and the multi-instruction patterns inserted whole, so that the
// fuzzer reaches the structures and not only the reader.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "driver/conversion.h"
#include "output/sink.h"
#include "listing_builder.h"
#include "output_rules.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace {

using Rng = std::minstd_rand;

size_t Below(Rng& rng, size_t n) { return n == 0 ? 0 : rng() % n; }

const char* const kMnemonics[] = {
    "mov", "xor", "imul", "idiv", "sub", "add", "inc", "dec", "or", "and", "not", "lea",
    "call", "ret", "push", "pop", "cmp", "test", "nop", "jmp", "jz", "jnz", "je", "jne",
    "jl", "jb", "jg", "ja", "jnle", "jle", "jge", "jnl", "jbe", "jae", "jnge", "js"};
const char* const kOperands[] = {
    "eax", "ebx", "ecx", "edx", "esi", "edi", "bl", "bx", "ebp", "esp", "$0A", "$00", "-$08",
    "dword ptr [ebp-$04]", "[ebp-$08]", "byte ptr [ebp+$08]", "dword ptr [$0040C2DC]",
    "[eax+$04]", "[edx+ecx*4+$08]", "fs:[eax]", "dword ptr fs:[eax]", "", "end", "begin"};
// Multi-instruction patterns; "@" stands for a jump target to fill in.
const std::vector<std::vector<const char*>> kPatterns = {
    {"xor eax, eax", "push ebp", "push $00401100", "push dword ptr fs:[eax]",
     "mov fs:[eax], esp"},
    {"xor eax, eax", "pop edx", "pop ecx", "pop ecx", "mov fs:[eax], edx", "push $@"},
    {"ret", "jmp @", "jmp @"},
    {"mov ecx, $10", "sub ecx, $01", "jl @", "inc eax", "dec ecx", "jnz @"},
    {"mov ecx, $10", "sub ecx, edx", "jnle @", "inc eax", "inc ecx", "jnz @"},
    {"mov edx, $01", "mov ecx, $10", "sub ecx, edx", "jl @", "inc ecx", "nop", "dec ecx", "jnz @"},
    {"jmp @", "inc eax", "cmp eax, $05", "jl @"},
    {"cmp eax, $01", "jnz @", "inc eax", "jmp @", "dec eax"},
    {"mov eax, dword ptr [ebp-$04]", "add eax, $04", "sub eax, ebx", "cmp eax, $0A", "jge @"},
    {"test eax, eax", "jz @"},
    {"call $00402000", "mov dword ptr [ebp-$04], eax"},
    {"push ebp", "mov ebp, esp", "add esp, -$08", "push ebx"},
    {"pop ebx", "mov esp, ebp", "pop ebp", "ret"},
};

using asm2pas::testing::Hex8;

// Without its line end: the mutator joins the lines.
std::string MakeLine(uint32_t address, const std::string& instruction) {
  std::string line = asm2pas::testing::Line(address, instruction);
  return line.substr(0, line.size() - asm2pas::format::kLineEnd.size());
}

// The address a line starts with, when its first eight characters are hex.
bool AddressOf(const std::string& line, uint32_t& address) {
  if (line.size() < 8) return false;
  uint32_t value = 0;
  for (size_t k = 0; k < 8; ++k) {
    char c = line[k];
    int d = c >= '0' && c <= '9' ? c - '0'
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
            : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) return false;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  address = value;
  return true;
}

struct Lines {
  std::vector<std::string> Text;
  std::vector<uint32_t> Addresses;  // of the lines that have one

  uint32_t Target(Rng& rng) {
    if (Addresses.empty() || Below(rng, 8) == 0) return static_cast<uint32_t>(rng());
    return Addresses[Below(rng, Addresses.size())] + (Below(rng, 6) == 0 ? 1 : 0);
  }
  uint32_t AddressNear(Rng& rng, size_t at) {
    uint32_t a = 0x00401000;
    if (at > 0 && AddressOf(Text[at - 1], a)) return a + 1 + static_cast<uint32_t>(Below(rng, 3));
    return Addresses.empty() ? a : Addresses[Below(rng, Addresses.size())];
  }
};

std::string RandomInstruction(Rng& rng, Lines& lines) {
  std::string text = kMnemonics[Below(rng, std::size(kMnemonics))];
  if (text[0] == 'j') return text + " " + Hex8(lines.Target(rng));
  size_t operands = Below(rng, 4);
  for (size_t k = 0; k < operands; ++k) {
    text += k == 0 ? " " : ", ";
    text += kOperands[Below(rng, std::size(kOperands))];
  }
  return text;
}

std::string FillTargets(std::string text, Rng& rng, Lines& lines) {
  size_t at = text.find('@');
  if (at != std::string::npos) text.replace(at, 1, Hex8(lines.Target(rng)));
  return text;
}

size_t MutateLines(uint8_t* data, size_t size, size_t max_size, Rng& rng) {
  Lines lines;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  // Ends: start moves past one line end each pass, or the pass is the last.
  while (start <= input.size()) {
    size_t end = input.find("\r\n", start);
    if (end == std::string_view::npos) {
      if (start < input.size()) lines.Text.emplace_back(input.substr(start));
      break;
    }
    lines.Text.emplace_back(input.substr(start, end - start));
    start = end + 2;
  }
  for (const std::string& line : lines.Text) {
    uint32_t a;
    if (AddressOf(line, a)) lines.Addresses.push_back(a);
  }
  std::vector<std::string>& text = lines.Text;
  const size_t at = Below(rng, text.size() + 1);
  switch (Below(rng, 7)) {
    case 0:  // rewrite one instruction, keeping its address
      if (at < text.size()) {
        uint32_t a;
        if (!AddressOf(text[at], a)) a = lines.AddressNear(rng, at);
        text[at] = MakeLine(a, RandomInstruction(rng, lines));
      }
      break;
    case 1:  // a new instruction
      text.insert(text.begin() + static_cast<long>(at),
                  MakeLine(lines.AddressNear(rng, at), RandomInstruction(rng, lines)));
      break;
    case 2:  // a whole pattern, at rising addresses
    {
      const std::vector<const char*>& p = kPatterns[Below(rng, kPatterns.size())];
      uint32_t a = lines.AddressNear(rng, at);
      std::vector<std::string> block;
      for (const char* instruction : p) {
        block.push_back(MakeLine(a, FillTargets(instruction, rng, lines)));
        a += 1 + static_cast<uint32_t>(Below(rng, 5));
      }
      text.insert(text.begin() + static_cast<long>(at), block.begin(), block.end());
      break;
    }
    case 3:  // drop a line
      if (at < text.size()) text.erase(text.begin() + static_cast<long>(at));
      break;
    case 4:  // copy a line elsewhere (its address then occurs twice)
      if (!text.empty()) {
        std::string copy = text[Below(rng, text.size())];
        text.insert(text.begin() + static_cast<long>(at), copy);
      }
      break;
    case 5:  // swap two lines (addresses fall)
      if (text.size() >= 2) std::swap(text[Below(rng, text.size())], text[Below(rng, text.size())]);
      break;
    default:  // aim a jump somewhere else
      for (size_t tries = 0; tries < 8 && !text.empty(); ++tries) {
        std::string& line = text[Below(rng, text.size())];
        constexpr size_t kAt = asm2pas::format::kMnemonicColumn - 1;
        if (line.size() > kAt + 1 && line[kAt] == 'j') {
          size_t blank = line.find(' ', kAt);
          if (blank != std::string::npos) line = line.substr(0, blank + 1) + Hex8(lines.Target(rng));
          break;
        }
      }
      break;
  }
  std::string joined;
  for (const std::string& line : text) joined.append(line).append(asm2pas::format::kLineEnd);
  if (joined.size() > max_size) return LLVMFuzzerMutate(data, size, max_size);
  std::memcpy(data, joined.data(), joined.size());
  return joined.size();
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size,
                                          unsigned int seed) {
  Rng rng(seed);
  if (Below(rng, 3) == 0) return LLVMFuzzerMutate(data, size, max_size);
  return MutateLines(data, size, max_size, rng);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // Both readings, each keeping the rules.
  for (const asm2pas::Reading* reading : {&asm2pas::DefaultReading(), &asm2pas::ExtendedReading()}) {
    asm2pas::StringSink out;
    asm2pas::ConversionResult result = asm2pas::ConvertListing(input, "fuzz.lst", out, *reading);
    std::string broken = asm2pas::testing::CheckRun(input, "fuzz.lst", out.Text(), result,
                                                  asm2pas::testing::MaxInstructions(input));
    if (!broken.empty()) {
      std::fprintf(stderr, "output rule broken (%s reading): %s\n", reading->Name(),
                   broken.c_str());
      std::abort();
    }
  }
  return 0;
}
