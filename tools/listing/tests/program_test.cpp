// Whole programs: where routines start in stripped code, the facts of the
// -f and -p headers, PE relocations, and the texts of --pas made safe.
#include <gtest/gtest.h>

#include "call_names.h"
#include "html.h"
#include "listing_writer.h"
#include "objdump_input.h"
#include "pas_file.h"
#include "relocations.h"
#include "routine_starts.h"
#include "text.h"

namespace asm2pas::objdump {
namespace {

// "ADDRESS BYTES|TEXT" lines under one stripped .text header.
std::string Stripped(const std::string& headers, const std::vector<std::string>& lines) {
  std::string text = "p:     file format elf32-i386\n" + headers + "\nDisassembly of section .text:\n\n" +
                     "00001000 <.text>:\n";
  for (const std::string& l : lines) {
    size_t a = l.find(' '), b = l.find('|');
    text += l.substr(0, a) + ":\t" + l.substr(a + 1, b - a - 1) + " \t" + l.substr(b + 1) + "\n";
  }
  return text;
}

std::string Starts(const std::string& text) {
  ObjdumpInput input;
  InputError error;
  EXPECT_TRUE(ReadObjdump(text, input, error)) << error.Message;
  FindRoutineStarts(input);
  std::string out;
  for (const Routine& r : input.Routines) out += Hex8(r.Address).substr(4) + " " + r.Name + "\n";
  return out;
}

TEST(RoutineStarts, EvidenceAndChecksAgainstSplitting) {
  std::string text = Stripped("start address 0x00001000\n", {
      "1000 e8 0b 00 00 00|call 0x1010",
      "1005 75 05|jne 0x100c",       // the routine goes on after its ret
      "1007 c3|ret",
      "1008 90|nop",
      "1009 90|nop",
      "100a eb 04|jmp 0x1010",
      "100c c3|ret",
      "100d 00 00|add BYTE PTR [eax],al",
      "100f 00 55 89|add BYTE PTR [ebp-0x77],dl",  // out of step: starts at 1010
      "1012 e5 c3|in eax,0xc3",
      "1014 eb fe|jmp 0x1014",
      "1016 5d|pop ebp",              // dead code after a jmp, not aligned
      "1017 c3|ret",
      "1018 90|nop",
      "1020 55|push ebp",             // a prologue after a ret
      "1021 89 e5|mov ebp,esp",
      "1023 ff e0|jmp eax",           // a switch: its cases are hidden
      "1025 31 c0|xor eax,eax",
      "1027 c3|ret",
      "1030 31 c0|xor eax,eax",       // aligned, but after a switch
      "1032 c3|ret",
  });
  EXPECT_EQ(Starts(text), "1000 entry\n1010 sub_00001010\n1020 sub_00001020\n");
}

TEST(CallNames, CallsNameTheRoutineFoundAtTheirTarget) {
  std::string text = Stripped("start address 0x00001000\n", {
      "1000 e8 0b 00 00 00|call 0x1010",
      "1005 e8 16 00 00 00|call 1020 <free@plt+0x20>",
      "100a c3|ret",
      "1010 8b 1c 24|mov ebx,DWORD PTR [esp]",  // loads its return address
      "1013 c3|ret",
      "1020 55|push ebp",
      "1021 e8 ea ff ff ff|call 1010 <free@plt+0x10>",
      "1026 5d|pop ebp",
      "1027 c3|ret",
  });
  ObjdumpInput input;
  InputError error;
  ASSERT_TRUE(ReadObjdump(text, input, error)) << error.Message;
  FindRoutineStarts(input);
  NameCallTargets(input);
  std::string calls;
  for (const Routine& r : input.Routines) {
    std::string listing = ConvertRoutine(r, {}).Text;
    for (size_t at = listing.find("call "); at != std::string::npos; at = listing.find("call ", at + 1))
      calls += listing.substr(at, listing.find('\r', at) - at) + "\n";
  }
  EXPECT_EQ(calls, "call __x86.get_pc_thunk.bx\ncall sub_00001020\ncall __x86.get_pc_thunk.bx\n");
}

TEST(RoutineStarts, NamedRoutinesSplitOnlyAtCalledAddressesAfterATransfer) {
  std::string text =
      "p:     file format elf32-i386\n\nDisassembly of section .text:\n\n00001000 <f>:\n"
      "    1000:\te8 0b 00 00 00 \tcall   0x1010\n    1005:\tc3 \tret\n"
      "    1006:\t55 \tpush   ebp\n    1007:\t89 e5 \tmov    ebp,esp\n    1009:\tc3 \tret\n"
      "    1010:\tc3 \tret\n";
  EXPECT_EQ(Starts(text), "1000 f\n1010 sub_00001010\n");
  // An object file without relocations: its sections share addresses, so a
  // call target cannot be placed and nothing is split.
  std::string object =
      "o.o:     file format elf32-i386\n\nDisassembly of section .text.a:\n\n00000000 <a>:\n"
      "   0:\tc3 \tret\n   1:\t55 \tpush   ebp\n   2:\tc3 \tret\n"
      "\nDisassembly of section .text.b:\n\n00000000 <b>:\n   0:\te8 fc ff ff ff \tcall   0x1\n"
      "   5:\tc3 \tret\n";
  EXPECT_EQ(Starts(object), "0000 a\n0000 b\n");
}

TEST(RoutineStarts, StrippedProgramNamingOnlyItsExports) {
  // The first header names a place, not a routine; calls reach more
  // routines than are named, so after the exported g, aligned code after
  // filler that begins as a routine does is one, though no call reaches it.
  std::string text =
      "p:     file format elf32-i386\n\nDisassembly of section .text:\n\n00001000 <g@@Base-0x20>:\n"
      "    1000:\te8 2b 00 00 00 \tcall   0x1030\n    1005:\te8 06 00 00 00 \tcall   0x1010\n"
      "    100a:\tc3 \tret\n    100b:\t90 \tnop\n"
      "    1010:\t83 ec 0c \tsub    esp,0xc\n    1013:\tc3 \tret\n"
      "\n00001020 <g@@Base>:\n    1020:\tc3 \tret\n    1021:\t90 \tnop\n"
      "    1030:\t53 \tpush   ebx\n    1031:\t56 \tpush   esi\n    1032:\tc3 \tret\n    1033:\t90 \tnop\n"
      "    1040:\t83 ec 0c \tsub    esp,0xc\n    1043:\tc3 \tret\n";
  EXPECT_EQ(Starts(text), "1000 g@@Base-0x20\n1010 sub_00001010\n1020 g@@Base\n1030 sub_00001030\n"
                          "1040 sub_00001040\n");
  // Where the input names the routines that calls reach, it names them all.
  std::string named = text;
  named.replace(named.find("    1030:"), 0, "\n00001030 <h>:\n");
  EXPECT_EQ(Starts(named), "1000 g@@Base-0x20\n1010 sub_00001010\n1020 g@@Base\n1030 h\n");
}

TEST(RoutineStarts, JumpTableInTheCodeIsData) {
  // jmp [eax*4+0x1010]; the table's two words point at 1018 and 101c.
  std::string text = Stripped("", {
      "1000 ff 24 85 10 10 00 00|jmp DWORD PTR [eax*4+0x1010]",
      "1007 90|nop",
      "1010 18 10|sbb BYTE PTR [eax],dl",
      "1012 00 00|add BYTE PTR [eax],al",
      "1014 1c 10|sbb al,0x10",
      "1016 00 00|add BYTE PTR [eax],al",
      "1018 c3|ret",
      "1019 90|nop",
      "101c c3|ret",
  });
  EXPECT_EQ(Starts(text), "1000 sub_00001000\n");
}

TEST(RoutineStarts, JumpTableAtTheVeryStartIsDataOfARoutineOfItsOwn) {
  // The table's words (1010, 1014) are the program's first bytes; no
  // routine lies before them to hold them.
  std::string text = Stripped("", {
      "1000 10 10|adc BYTE PTR [eax],dl", "1002 00 00|add BYTE PTR [eax],al", "1004 14 10|adc al,0x10",
      "1006 00 00|add BYTE PTR [eax],al", "1008 c3|ret", "1010 55|push ebp",
      "1011 ff 24 85 00 10 00 00|jmp DWORD PTR [eax*4+0x1000]", "1018 c3|ret",
  });
  EXPECT_EQ(Starts(text), "1000 sub_00001000\n1010 sub_00001010\n");
}

TEST(Headers, EntryAndPeExports) {
  std::string text =
      "t.dll:     file format pei-i386\nstart address 0x70e41390\n\nImageBase\t\t70e40000\n"
      "Export Address Table -- Ordinal Base 1\n\t[   0] +base[   1] 14b0 Export RVA\n"
      "\t[   1] +base[   2] 14c0 Forwarder RVA\n\n[Ordinal/Name Pointer] Table\n\t[   0] dll_add\n"
      "\t[   1] other.fwd\n\n  0000808c 00008114\t: not a line the headers read\n"
      "Disassembly of section .text:\n\n70e414b0 <.text>:\n70e414b0:\tc3 \tret\n";
  ObjdumpInput input;
  InputError error;
  ASSERT_TRUE(ReadObjdump(text, input, error)) << error.Message;
  ASSERT_EQ(input.Entries.size(), 1u);
  EXPECT_EQ(input.Entries[0], 0x70e41390u);
  ASSERT_EQ(input.Exports.size(), 1u);  // a forwarder names no code here
  EXPECT_EQ(input.Exports[0].Name, "dll_add");
  EXPECT_EQ(input.Exports[0].Address, 0x70e414b0u);
  EXPECT_TRUE(input.Coff);
}

TEST(Relocations, CoffCountsFromTheEndOfTheField) {
  Relocation elf{0x65, "R_386_PC32", "f"}, coff{0x65, "DISP32", "_f"}, fpc{0x65, "2", "_f"};
  EXPECT_EQ(RelocOffset(0x65, elf), 0);
  EXPECT_EQ(RelocOffset(0x69, coff), 0);
  EXPECT_EQ(RelocOffset(0x69, fpc), 0);
  SourceInstruction ins;
  ins.Address = 0x64;
  ins.Relocs = {Relocation{0x65, "dir32", ".bss"}};
  ins.Bytes = {0xA1, 0x04, 0, 0, 0};
  EXPECT_NE(AbsoluteReloc(ins, 4), nullptr);
}

TEST(WholeProgram, TextsFromTheInputAreMadeSafe) {
  EXPECT_EQ(CommentSafe("a}{#\r\nb"), "a#125#123#35#13#10b");
  std::string header = PasHeader({"x}y", 0x10, 0x20, 3, {{"Local_0000", "[ebp-$04]"}}});
  EXPECT_EQ(header,
            "{ routine x#125y\r\n  addresses 00000010 to 00000020, 3 instructions\r\n"
            "  generated names:\r\n    Local_0000 = [ebp-$04]\r\n}\r\n");
  EXPECT_EQ(EscapeHtml("<a href='x'>&\"\r"), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;");
  OutputShare share = CountOutput("begin\r\n   eax:=$01;\r\n   //push ebp, , \r\nend;\r\n");
  EXPECT_EQ(share.Lines, 2u);
  EXPECT_EQ(share.Statements, 1u);
  ListingInstruction ins;
  ins.Mnemonic = "mov";
  ins.Operands = "eax, <a\rb>";
  EXPECT_EQ(FormatListingLine(ins).substr(34), "mov eax, <a?b>\r\n");
}

}  // namespace
}  // namespace asm2pas::objdump
