// Reading objdump's text into routines, and laying listing lines out in
// their columns.
#include <gtest/gtest.h>

#include "listing_writer.h"
#include "objdump_input.h"
#include "objdump_line.h"
#include "text.h"

namespace asm2pas::objdump {
namespace {

const char kObject[] =
    "\n"
    "a.o:     file format elf32-i386\n"
    "\n"
    "\n"
    "Disassembly of section .text:\n"
    "\n"
    "00000000 <f>:\n"
    "   0:\tc7 84 98 44 33 22 11 \tmov    DWORD PTR [eax+ebx*4+0x11223344],0x12345678\n"
    "   7:\t78 56 34 12 \n"
    "   b:\te8 fc ff ff ff       \tcall   c <f+0xc>\n"
    "\t\t\tc: R_386_PC32\text\n"
    "  10:\tc3                   \tret\n"
    "\t...\n"
    "\n"
    "00000020 <g>:\n"
    "  20:\tc3                   \tret\n";

TEST(ObjdumpInput, RoutinesBytesAndRelocations) {
  ObjdumpInput input;
  InputError error;
  ASSERT_TRUE(ReadObjdump(kObject, input, error)) << error.Message;
  ASSERT_EQ(input.Routines.size(), 2u);
  EXPECT_TRUE(input.HasRelocations);
  const Routine& f = input.Routines[0];
  EXPECT_EQ(f.Name, "f");
  EXPECT_EQ(f.Section, ".text");
  ASSERT_EQ(f.Instructions.size(), 3u);
  EXPECT_EQ(f.Instructions[0].Bytes.size(), 11u);  // the wrapped line joined on
  EXPECT_EQ(f.Instructions[0].Line, 8u);
  ASSERT_EQ(f.Instructions[1].Relocs.size(), 1u);
  EXPECT_EQ(f.Instructions[1].Relocs[0].Symbol, "ext");
  EXPECT_EQ(f.Instructions[1].Relocs[0].Offset, 0xCu);
  ASSERT_EQ(f.Notes.size(), 1u);  // the left-out zero bytes are reported
  EXPECT_NE(f.Notes[0].Text.find("after 00000010"), std::string::npos);
  EXPECT_EQ(input.Routines[1].Address, 0x20u);
}

TEST(ObjdumpInput, LinesWithoutRawBytes) {
  ObjdumpLine line = ClassifyLine(" 8049000:\tpush   ebx");
  EXPECT_EQ(line.Kind, LineKind::Instruction);
  EXPECT_EQ(line.Address, 0x8049000u);
  EXPECT_TRUE(line.Bytes.empty());
  EXPECT_EQ(line.Text, "push   ebx");
  EXPECT_EQ(ClassifyLine("   7:\t78 56 34 12 ").Kind, LineKind::MoreBytes);
  EXPECT_EQ(ClassifyLine("08049030 <puts@plt>:").Name, "puts@plt");
  EXPECT_EQ(ClassifyLine("0000000000001139 <main>:").Kind, LineKind::RoutineHeader);
}

TEST(ObjdumpInput, BadInputIsRejectedWithItsLine) {
  struct Case {
    const char* text;
    size_t line;
    const char* says;
  } cases[] = {
      {"00000000 <f>:\n   0:\t55 \tpush   %ebp\n", 2, "AT&T"},
      {"a.o:     file format elf64-x86-64\n", 1, "x86-64"},
      {"a.o:     file format elf32-littlearm\n", 1, "not 32-bit x86"},
      {"00000000 <f>:\nint main(void) {\n", 2, "not a line of objdump"},
      {"   0:\t55 \tpush   ebp\n", 1, "before any routine header"},
      {"100000000 <f>:\n", 1, "32 bits"},
      {"hello\n", 0, "no routine found"},
      {"", 0, "no routine found"},
  };
  for (const Case& c : cases) {
    ObjdumpInput input;
    InputError error;
    EXPECT_FALSE(ReadObjdump(c.text, input, error)) << c.text;
    EXPECT_EQ(error.Line, c.line) << c.text;
    EXPECT_NE(error.Message.find(c.says), std::string::npos) << error.Message;
  }
}

TEST(ListingWriter, FixedColumns) {
  ListingInstruction ins;
  ins.Address = 0x401000;
  ins.Bytes = "55";
  ins.Mnemonic = "push";
  ins.Operands = "ebp";
  EXPECT_EQ(FormatListingLine(ins), "00401000  55                      push ebp\r\n");
  ins.Bytes = "C784984433221178563412AABBCC";  // too long for its columns
  ins.Mnemonic = "ret";
  ins.Operands = "";
  std::string line = FormatListingLine(ins);
  EXPECT_EQ(line.substr(34), "ret\r\n");
  EXPECT_EQ(line.substr(10, 24), "C784984433221178563412..");
  ins.Padding = true;
  ins.Bytes = "90";
  ins.Mnemonic = "nop";
  EXPECT_EQ(FormatListingLine(ins), "* padding: 00401000  90                      nop\r\n");
}

TEST(ListingWriter, FileNames) {
  EXPECT_EQ(FileNameFor("sum_to"), "sum_to.lst");
  EXPECT_EQ(FileNameFor("puts@plt"), "puts@plt.lst");
  EXPECT_EQ(FileNameFor("foo(int, char*)"), "foo_int__char__.lst");
  EXPECT_EQ(FileNameFor(".plt"), "_.plt.lst");
  EXPECT_EQ(FileNameFor("../x"), "_.._x.lst");
}

}  // namespace
}  // namespace asm2pas::objdump
