#include "generators.h"

#include <algorithm>

namespace asm2pas::testing {

std::string RandomBytes(Rng& rng, size_t length) {
  static const std::string kCommon =
      "0123456789ABCDEFabcdef $,[]+-*|jmpovxrecaldbsi:\t\r\n\r\n\x1a";
  std::string bytes;
  bytes.reserve(length);
  // Ends: one byte per pass, `length` passes.
  for (size_t k = 0; k < length; ++k) {
    if (rng.Chance(80)) {
      bytes += kCommon[rng.Below(static_cast<uint32_t>(kCommon.size()))];
    } else {
      bytes += static_cast<char>(rng.Below(256));
    }
  }
  return bytes;
}

namespace {

// An instruction whose jump operand is filled in once every address is
// known: the address of entry `Target` (an index into the program), or an
// address that is in no entry when Target is -1.
struct Pending {
  std::string Text;  // the instruction, with its jump operand left off
  int Target = -2;   // -2: no jump operand to fill in
};

const std::vector<std::string>& Operands() {
  static const std::vector<std::string> kOperands = {
      "eax", "ebx", "ecx", "edx", "esi", "edi", "bl", "bx", "ebp", "esp",
      "dword ptr [ebp-$04]", "[ebp-$04]", "byte ptr [ebp-$08]", "[ebp+$08]",
      "dword ptr [$0040C2DC]", "[$0040C2DC+eax*4]", "[eax+$04]", "[edx+ecx*4+$08]",
      "$0A", "$00", "-$08", "$FFFFFFFF", "", "eax ", " end", "begin", "try",
      "fs:[eax]", "dword ptr fs:[eax]", "EDI", "0040100A",
  };
  return kOperands;
}

const std::vector<std::string>& Jumps() {
  static const std::vector<std::string> kJumps = {
      "jz", "jnz", "je", "jne", "jl", "jb", "jg", "ja", "jnle", "jle", "jbe",
      "jnl", "jge", "jae", "jmp", "js", "jnge",
  };
  return kJumps;
}

const std::vector<std::string>& Statements() {
  static const std::vector<std::string> kStatements = {
      "mov", "xor", "imul", "idiv", "sub", "add", "inc", "dec", "or", "and",
      "not", "lea", "call", "ret", "push", "pop", "cmp", "test", "nop", "movzx", "MOV",
  };
  return kStatements;
}

std::string Instruction(Rng& rng, const std::string& mnemonic) {
  int operands = static_cast<int>(rng.Below(4));
  std::string text = mnemonic;
  for (int k = 0; k < operands; ++k) {
    text += k == 0 ? " " : ", ";
    text += rng.Pick(Operands());
  }
  return text;
}

// Appends one pattern to the program of `count` instructions.
void AddPattern(Rng& rng, std::vector<Pending>& p, int count) {
  // The target of an instruction about to be appended.
  auto target = [&]() -> int {
    const int self = static_cast<int>(p.size());
    uint32_t pick = rng.Below(10);
    if (pick == 0) return -1;                                         // nowhere
    if (pick == 1) return self;                                       // itself
    if (pick <= 5) return self + 1 + static_cast<int>(rng.Below(12)); // a little ahead
    if (pick <= 7) return std::max(0, self - static_cast<int>(rng.Below(12)));  // back
    return static_cast<int>(rng.Below(static_cast<uint32_t>(count)));  // anywhere
  };
  auto jump = [&](const std::string& mnemonic) { p.push_back({mnemonic + " ", target()}); };
  switch (rng.Below(15)) {
    case 0:  // a condition, often followed by another
      p.push_back({"cmp " + rng.Pick(Operands()) + ", " + rng.Pick(Operands())});
      jump(rng.Pick(Jumps()));
      break;
    case 1:
      p.push_back({rng.Chance(50) ? "test eax, eax" : "or ebx, ebx"});
      jump(rng.Chance(50) ? "jz" : "jnz");
      break;
    case 2:  // load then compare, with an add/sub chain now and then
      p.push_back({"mov eax, " + rng.Pick(Operands())});
      while (rng.Chance(40)) p.push_back({rng.Chance(50) ? "add eax, $04" : "sub eax, ebx"});
      p.push_back({rng.Chance(80) ? "cmp eax, $0A" : "cmp $0A, eax"});
      jump(rng.Pick(Jumps()));
      break;
    case 3:  // a jmp anywhere: a while, an else part, or nothing
      jump("jmp");
      break;
    case 4: {  // a counted loop's set-up or its closing
      p.push_back({"mov ecx, $10"});
      if (rng.Chance(50)) p.push_back({"mov edx, $01"});
      p.push_back({rng.Chance(80) ? "sub ecx, edx" : "sub edx, ecx"});
      jump(rng.Chance(50) ? "jl" : "jnle");
      if (rng.Chance(50)) p.push_back({rng.Chance(50) ? "inc ecx" : "dec ecx"});
      break;
    }
    case 5:
      p.push_back({rng.Chance(50) ? "dec ecx" : "inc ecx"});
      jump("jnz");
      break;
    case 6: {  // an exception-frame set-up, sometimes cut short
      const char* seq[] = {"xor eax, eax", "push ebp", "push $00401100",
                           "push dword ptr fs:[eax]", "mov fs:[eax], esp"};
      int n = rng.Chance(70) ? 5 : static_cast<int>(rng.Below(5));
      for (int k = 0; k < n; ++k) p.push_back({seq[k]});
      break;
    }
    case 7: {  // a tear-down, pushing where its end; goes
      const char* seq[] = {"xor eax, eax", "pop edx", "pop ecx", "pop ecx", "mov fs:[eax], edx"};
      int n = rng.Chance(70) ? 5 : static_cast<int>(rng.Below(5));
      for (int k = 0; k < n; ++k) p.push_back({seq[k]});
      if (n == 5) {
        if (rng.Chance(80)) {
          p.push_back({"push $", target()});
        } else {
          p.push_back({rng.Chance(50) ? "push 4198400" : "push 0040100A"});
        }
      }
      break;
    }
    case 8:  // the end of a finally part
      p.push_back({"ret"});
      if (rng.Chance(70)) jump("jmp");
      if (rng.Chance(70)) jump("jmp");
      break;
    case 9:
      p.push_back({"call " + rng.Pick(Operands())});
      if (rng.Chance(60)) p.push_back({"mov " + rng.Pick(Operands()) + ", eax"});
      break;
    case 10: {  // frame pieces, which the trimming looks for at both ends
      const char* pieces[] = {"push ebp", "mov ebp, esp", "add esp, -$08", "push ebx",
                              "pop ebx", "mov esp, ebp", "pop ebp", "push esi", "pop esi"};
      p.push_back({pieces[rng.Below(9)]});
      break;
    }
    case 11: {  // a whole counted loop, its body made of further patterns
      bool up = rng.Chance(50);
      p.push_back({"mov ecx, $10"});
      p.push_back({"sub ecx, $01"});
      const size_t guard = p.size();
      p.push_back({up ? "jl " : "jnle ", 0});
      const int top = static_cast<int>(p.size());
      int body = static_cast<int>(rng.Below(3));
      for (int k = 0; k < body; ++k) AddPattern(rng, p, count);
      p.push_back({up ? "dec ecx" : "inc ecx"});
      p.push_back({"jnz ", top});
      p[guard].Target = static_cast<int>(p.size());  // the first entry after the loop
      break;
    }
    case 12: {  // a whole while loop: jmp to its test, which jumps back
      const size_t jmp = p.size();
      p.push_back({"jmp ", 0});
      const int top = static_cast<int>(p.size());
      int body = static_cast<int>(rng.Below(3));
      for (int k = 0; k < body; ++k) AddPattern(rng, p, count);
      p[jmp].Target = static_cast<int>(p.size());
      p.push_back({"cmp eax, " + rng.Pick(Operands())});
      p.push_back({rng.Pick(Jumps()) + " ", top});
      break;
    }
    default:
      p.push_back({Instruction(rng, rng.Pick(Statements()))});
      break;
  }
}

}  // namespace

Listing RandomProgram(Rng& rng, int count, bool wild_addresses) {
  std::vector<Pending> program;
  // Ends: every pattern adds at least one instruction.
  while (static_cast<int>(program.size()) < count) AddPattern(rng, program, count);
  program.resize(static_cast<size_t>(count));

  std::vector<uint32_t> addresses;
  uint32_t address = rng.Chance(10) ? 0x7FFFFFF0u + rng.Below(32) : 0x00401000u;
  for (int k = 0; k < count; ++k) {
    addresses.push_back(address);
    if (!wild_addresses) {
      address += 1 + rng.Below(6);
    } else {
      switch (rng.Below(4)) {
        case 0: break;                                        // the same again
        case 1: address -= rng.Below(16); break;              // falling
        case 2: address = 0x00401000u + rng.Below(24); break; // an earlier one
        default: address += 1 + rng.Below(6); break;
      }
    }
  }

  Listing listing;
  for (int k = 0; k < count; ++k) {
    const Pending& instruction = program[static_cast<size_t>(k)];
    std::string text = instruction.Text;
    if (instruction.Target == -1) {
      text += Hex8(0x00300000u + rng.Below(4096));  // in no entry
    } else if (instruction.Target >= 0) {
      int t = instruction.Target < count ? instruction.Target : count - 1;
      text += Hex8(addresses[static_cast<size_t>(t)]);
    }
    listing.Add(addresses[static_cast<size_t>(k)], text);
  }
  return listing;
}

}  // namespace asm2pas::testing
