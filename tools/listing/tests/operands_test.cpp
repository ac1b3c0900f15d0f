// The rewriting rules from objdump's text to listing operands: the subtle
// part of asm2pas-listing, so each rule is pinned by the cases that broke
// or nearly broke it.
#include <gtest/gtest.h>

#include "operands.h"
#include "rewrite.h"
#include "routine_rules.h"
#include "text.h"

namespace asm2pas::objdump {
namespace {

SourceInstruction Ins(uint64_t address, std::initializer_list<uint8_t> bytes, std::string_view text,
                      std::vector<Relocation> relocs = {}) {
  SourceInstruction ins;
  ins.Address = address;
  ins.Bytes = bytes;
  ins.Text = text;
  ins.Relocs = std::move(relocs);
  return ins;
}

// Mnemonic and operands as one text, "mnemonic operands".
std::string Rewrite(const SourceInstruction& ins, const SymbolTable& symbols = {}) {
  ListingInstruction out = RewriteInstruction(ins, ".text", symbols);
  return out.Operands.empty() ? out.Mnemonic : out.Mnemonic + " " + out.Operands;
}

TEST(Operands, NumbersAndJumpNames) {
  EXPECT_EQ(DollarNumber(0), "$00");
  EXPECT_EQ(DollarNumber(0xA), "$0A");
  EXPECT_EQ(DollarNumber(0x12C), "$012C");
  EXPECT_EQ(DollarNumber(0x12345), "$00012345");
  EXPECT_EQ(DollarNumber(0x804A01C), "$0804A01C");
  for (auto [from, to] : {std::pair{"je", "jz"}, {"jne", "jnz"}, {"jg", "jnle"}, {"jge", "jnl"},
                          {"ja", "jnbe"}, {"jae", "jnb"}, {"jl", "jl"}, {"jle", "jle"},
                          {"jb", "jb"}, {"jbe", "jbe"}, {"js", "js"}, {"jmp", "jmp"}})
    EXPECT_EQ(JumpName(from), to) << from;
}

TEST(Operands, PlainOperands) {
  EXPECT_EQ(RewriteOperand("DWORD PTR [ebp-0x4]"), "dword ptr [ebp-$04]");
  EXPECT_EQ(RewriteOperand("BYTE PTR [ebp-0x12c]"), "byte ptr [ebp-$012C]");
  EXPECT_EQ(RewriteOperand("[eax+edx*1]"), "[eax+edx]");
  EXPECT_EQ(RewriteOperand("[eax+edx*4+0x8]"), "[eax+edx*4+$08]");
  EXPECT_EQ(RewriteOperand("[esi+eiz*1+0x0]"), "[esi+eiz+$00]");
  EXPECT_EQ(RewriteOperand("DWORD PTR es:[edi]"), "dword ptr es:[edi]");
  EXPECT_EQ(RewriteOperand("st(1)"), "st(1)");
  EXPECT_EQ(RewriteOperand("1"), "$01");  // a shift by one
  EXPECT_EQ(RewriteOperand("0x10:0x1234"), "$10:$1234");
  EXPECT_EQ(RewriteOperand("eax <weird>"), "eax");
}

TEST(Operands, AbsoluteOperandsGoInBrackets) {
  EXPECT_EQ(RewriteOperand("ds:0x804a01c"), "[$0804A01C]");
  EXPECT_EQ(RewriteOperand("DWORD PTR ds:0x804a01c"), "dword ptr [$0804A01C]");
  EXPECT_EQ(RewriteOperand("gs:0x14"), "gs:[$00000014]");
  // A segment with a register inside brackets is no absolute address.
  EXPECT_EQ(RewriteOperand("DWORD PTR ds:[esi]"), "dword ptr ds:[esi]");
  EXPECT_EQ(Rewrite(Ins(0x32, {0xA1, 0x1C, 0xA0, 0x04, 0x08}, "mov    eax,ds:0x804a01c")),
            "mov eax, [$0804A01C]");
}

TEST(Operands, OnlyImmediatesSignExtendedFromOneByteTurnNegative) {
  EXPECT_EQ(Rewrite(Ins(0, {0x83, 0xC4, 0xF8}, "add    esp,0xfffffff8")), "add esp, -$08");
  EXPECT_EQ(Rewrite(Ins(0, {0x6A, 0xF8}, "push   0xfffffff8")), "push -$08");
  EXPECT_EQ(Rewrite(Ins(0, {0x6B, 0xC2, 0xF4}, "imul   eax,edx,0xfffffff4")), "imul eax, edx, -$0C");
  EXPECT_EQ(Rewrite(Ins(0, {0x66, 0x83, 0xC0, 0xF8}, "add    ax,0xfff8")), "add ax, -$08");
  EXPECT_EQ(Rewrite(Ins(0, {0x83, 0x7D, 0x08, 0x80}, "cmp    DWORD PTR [ebp+0x8],0xffffff80")),
            "cmp dword ptr [ebp+$08], -$80");
  // A full 32-bit immediate says what it says.
  EXPECT_EQ(Rewrite(Ins(0, {0xB8, 0xF8, 0xFF, 0xFF, 0xFF}, "mov    eax,0xfffffff8")),
            "mov eax, $FFFFFFF8");
  EXPECT_EQ(Rewrite(Ins(0, {0x83, 0xEC, 0x10}, "sub    esp,0x10")), "sub esp, $10");
  // Without the raw bytes only the value can tell.
  EXPECT_EQ(Rewrite(Ins(0, {}, "add    esp,0xfffffff8")), "add esp, -$08");
  EXPECT_EQ(Rewrite(Ins(0, {}, "and    eax,0xffff0000")), "and eax, $FFFF0000");
}

TEST(Operands, PrefixesKeptAndHintsDropped) {
  EXPECT_EQ(Rewrite(Ins(0, {0xF3, 0xAB}, "rep stos DWORD PTR es:[edi],eax")),
            "rep stos dword ptr es:[edi], eax");
  EXPECT_EQ(Rewrite(Ins(0, {0xF0, 0xFF, 0x00}, "lock inc DWORD PTR [eax]")), "lock inc dword ptr [eax]");
  EXPECT_EQ(Rewrite(Ins(0, {0xF3, 0xC3}, "repz ret")), "ret");
  EXPECT_EQ(Rewrite(Ins(0x5C, {0xF2, 0xEB, 0xA1}, "bnd jmp 0 <f>")), "jmp 00000000");
  EXPECT_EQ(Rewrite(Ins(0, {0x3E, 0x74, 0x05}, "ds je 7 <f+0x7>")), "jz 00000007");
  EXPECT_EQ(Rewrite(Ins(0, {0x74, 0x05}, "je,pt  7 <f+0x7>")), "jz 00000007");
}

TEST(Operands, DirectJumpsGetBareTargets) {
  EXPECT_EQ(Rewrite(Ins(0x14, {0xEB, 0x0A}, "jmp    20 <sum_to+0x20>")), "jmp 00000020");
  EXPECT_EQ(Rewrite(Ins(0x4F, {0x74, 0xAF}, "je     0 <f>")), "jz 00000000");
  EXPECT_EQ(Rewrite(Ins(0x8049000, {}, "jg     8049100")), "jnle 08049100");
  EXPECT_EQ(Rewrite(Ins(0x8049000, {}, "jmp    8049030 <puts@plt>")), "jmp 08049030");
  EXPECT_EQ(Rewrite(Ins(0x53, {0xE2, 0xFF}, "loop   54 <f+0x54>")), "loop 00000054");
}

TEST(Operands, JumpsAsm2pasCannotFollowAreRenamedAndReported) {
  for (auto [text, expected] :
       {std::pair{"jmp    eax", "ijmp eax"},
        {"notrack jmp eax", "ijmp eax"},
        {"jmp    DWORD PTR [eax*4+0x8049100]", "ijmp dword ptr [eax*4+$08049100]"},
        {"jmp    DWORD PTR ds:0x804c00c", "ijmp dword ptr [$0804C00C]"},
        {"jmp    0x10:0x1234", "ijmp $10:$1234"}}) {
    ListingInstruction out = RewriteInstruction(Ins(0x19, {}, text), ".text", {});
    EXPECT_EQ(out.Mnemonic + " " + out.Operands, expected) << text;
    EXPECT_NE(out.Warning.find("written as '" + std::string(expected) + "'"), std::string::npos)
        << out.Warning;
  }
  // A tail call in an object file: the relocation names a routine the
  // input does not hold.
  ListingInstruction tail = RewriteInstruction(
      Ins(0x3B, {0xE9, 0xFC, 0xFF, 0xFF, 0xFF}, "jmp    3c <strl+0x1>", {{0x3C, "R_386_PC32", "strlen"}}),
      ".text", {});
  EXPECT_EQ(tail.Mnemonic + " " + tail.Operands, "ijmp strlen");
  EXPECT_NE(tail.Warning.find("strlen"), std::string::npos);
  // A relocation against a routine of the same section gives its address.
  SymbolTable symbols{{{".text", "f"}, 0x100}};
  EXPECT_EQ(Rewrite(Ins(0x51, {0xE3, 0xFF}, "jecxz  52 <g+0x52>", {{0x52, "R_386_PC8", "f"}}), symbols),
            "jecxz 00000100");
  EXPECT_EQ(RewriteInstruction(Ins(0x14, {}, "jmp    20 <f+0x20>"), ".text", {}).Warning, "");
}

TEST(Operands, CallTargets) {
  EXPECT_EQ(Rewrite(Ins(0x10A, {0xE8, 0xDC, 0xFF, 0xFF, 0xFF}, "call   eb <st>")), "call st");
  EXPECT_EQ(Rewrite(Ins(0x8049100, {}, "call   8049030 <puts@plt>")), "call puts@plt");
  EXPECT_EQ(Rewrite(Ins(0x8049100, {}, "call   8049210 <foo+0x10>")), "call foo+$10");
  EXPECT_EQ(Rewrite(Ins(0x8049100, {}, "call   8049176")), "call $08049176");
  EXPECT_EQ(Rewrite(Ins(0x1000, {}, "call   1040 <.text+0x40>")), "call $00001040");
  EXPECT_EQ(Rewrite(Ins(0x21, {0xFF, 0xD2}, "call   edx")), "call edx");
  EXPECT_EQ(Rewrite(Ins(0x21, {}, "call   DWORD PTR [ebp-0x4]")), "call dword ptr [ebp-$04]");
  // An object file read with -r: the relocation names the routine.
  EXPECT_EQ(Rewrite(Ins(0x6A, {0xE8, 0xFC, 0xFF, 0xFF, 0xFF}, "call   6b <stored+0xd>",
                        {{0x6B, "R_386_PC32", "helper"}})),
            "call helper");
  // Read without -r the target is a placeholder inside the call itself.
  ListingInstruction bare =
      RewriteInstruction(Ins(0x6A, {0xE8, 0xFC, 0xFF, 0xFF, 0xFF}, "call   6b <stored+0xd>"), ".text", {});
  EXPECT_EQ(bare.Operands, "$0000006B");
  EXPECT_NE(bare.Warning.find("objdump -dr"), std::string::npos);
}

TEST(Operands, RelocatedAbsoluteOperandsKeepTheirSymbol) {
  EXPECT_EQ(Rewrite(Ins(0x37, {0xA1, 0, 0, 0, 0}, "mov    eax,ds:0x0", {{0x38, "R_386_32", "g_total"}})),
            "mov eax, [$g_total]");
  EXPECT_EQ(Rewrite(Ins(0x3C, {0xA3, 8, 0, 0, 0}, "mov    ds:0x8,eax", {{0x3D, "R_386_32", ".data"}})),
            "mov [$.data+$08], eax");
  // Address and immediate both relocated: the bytes tell which is which.
  EXPECT_EQ(Rewrite(Ins(0x67, {0xC7, 0x05, 4, 0, 0, 0, 0, 0, 0, 0}, "mov    DWORD PTR ds:0x4,0x0",
                        {{0x69, "R_386_32", ".data"}, {0x6D, "R_386_32", ".bss"}})),
            "mov dword ptr [$.data+$04], $00");
  // A relocation of the immediate alone leaves a fixed address alone.
  EXPECT_EQ(Rewrite(Ins(0x67, {0xC7, 0x05, 0x1C, 0xA0, 0x04, 0x08, 0, 0, 0, 0},
                        "mov    DWORD PTR ds:0x804a01c,0x0", {{0x6D, "R_386_32", ".bss"}})),
            "mov dword ptr [$0804A01C], $00");
}

std::vector<ListingInstruction> Lines(std::initializer_list<std::tuple<uint64_t, const char*, const char*>> rows) {
  std::vector<ListingInstruction> out;
  for (auto [address, mnemonic, operands] : rows) {
    ListingInstruction ins;
    ins.Address = address;
    ins.Mnemonic = mnemonic;
    ins.Operands = operands;
    out.push_back(ins);
  }
  return out;
}

TEST(Operands, SignJumpsAfterACompareWithZero) {
  auto lines = Lines({{0x30, "cmp", "dword ptr [ebp+$08], $00"},
                      {0x34, "jns", "0000003D"},
                      {0x36, "cmp", "eax, $00"},
                      {0x39, "js", "00000050"},
                      {0x3B, "cmp", "eax, $01"},
                      {0x3E, "js", "00000050"},
                      {0x40, "test", "eax, eax"},
                      {0x42, "jns", "00000050"},
                      {0x44, "cmp", "eax, $00"},
                      {0x47, "js", "00000050"},
                      {0x49, "jmp", "00000047"}});
  ApplyRoutineRules(lines);
  EXPECT_EQ(lines[1].Mnemonic, "jnl");
  EXPECT_EQ(lines[3].Mnemonic, "jl");
  EXPECT_EQ(lines[5].Mnemonic, "js");   // compared with one, not zero
  EXPECT_EQ(lines[7].Mnemonic, "jns");  // not after a cmp
  EXPECT_EQ(lines[9].Mnemonic, "js");   // another jump lands on it
}

TEST(Operands, FillerAfterATransferIsPadding) {
  auto lines = Lines({{0x00, "nop", ""},
                      {0x01, "ret", ""},
                      {0x02, "lea", "esi, [esi+eiz+$00]"},
                      {0x09, "xchg", "ax, ax"},
                      {0x0B, "mov", "eax, $01"},
                      {0x10, "jmp", "00000020"},
                      {0x12, "lea", "esi, [esi+$04]"},
                      {0x15, "ret", ""},
                      {0x16, "mov", "edi, edi"},
                      {0x18, "nop", "word ptr cs:[eax+eax+$00]"},
                      {0x20, "nop", ""},
                      {0x21, "jmp", "00000000"}});
  ApplyRoutineRules(lines);
  std::string marks;
  for (const ListingInstruction& ins : lines) marks += ins.Padding ? 'P' : '.';
  // The nop at 0 precedes any transfer, lea esi, [esi+$04] changes esi, and
  // the nop at 20 is a jump target.
  EXPECT_EQ(marks, "..PP....PP..");
  lines[6].Operands = "esi, [esi+$00]";
  lines[7].Mnemonic = "ret";
  ApplyRoutineRules(lines);
  marks.clear();
  for (const ListingInstruction& ins : lines) marks += ins.Padding ? 'P' : '.';
  EXPECT_EQ(marks, "..PP..P.PP..");
}

}  // namespace
}  // namespace asm2pas::objdump
