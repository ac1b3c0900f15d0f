"""The back-translation's rewrites, which every verdict of the round trip
rests on; runs without any compiler."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from backtrans import Reading, load_wrappers, pascal_line, run_anyway, wrap_loads  # noqa: E402
from listing import Names, read_listing  # noqa: E402


def listing(*lines):
    """A listing file of instruction lines 'ADDR mnemonic operands'."""
    f = tempfile.NamedTemporaryFile("w", suffix=".lst", delete=False, newline="")
    for line in lines:
        addr, _, rest = line.partition(" ")
        f.write(addr + " " * 26 + rest + "\r\n")
    f.close()
    instrs = read_listing(f.name)
    os.unlink(f.name)
    return instrs


class Rewrites(unittest.TestCase):
    def test_notation(self):
        self.assertEqual(pascal_line("   eax:=eax/Local_0001;"), "   eax:=SDiv(eax, Local_0001);")
        self.assertEqual(pascal_line("if (eax = true)"), "if (eax <> 0)")
        self.assertEqual(pascal_line("and (eax <> true) then begin"), "and (eax = 0) then begin")
        self.assertEqual(pascal_line("if ebx = false then begin"), "if ebx = 0 then begin")
        self.assertEqual(pascal_line("eax:=$FFFFFFF0 and $7F;"), "eax:=longint($FFFFFFF0) and $7F;")
        self.assertEqual(pascal_line("ah:=ah or $10;"), "Bytes_eax[1]:=Bytes_eax[1] or $10;")
        self.assertEqual(pascal_line("   //shl eax, $FFFFFFFF, "), "   //shl eax, $FFFFFFFF, ")
        self.assertEqual(pascal_line("   al:=Cardinal(eax) < Cardinal(edx);"),
                         "   al:=Ord(Cardinal(eax) < Cardinal(edx));")
        self.assertEqual(pascal_line("cl:=eax and $04 <> 0;"), "cl:=Ord(eax and $04 <> 0);")
        self.assertEqual(pascal_line("eax:=SarLongint(eax, (cl and 31));"),
                         "eax:=SarLongint(eax, (cl and 31));")
        self.assertEqual(pascal_line("edx:=@Local_0001;"), "edx:=PtrInt(@Local_0001);")

    def test_every_loop_is_guarded(self):
        for line in ("while (eax < $05)and(ecx = $00) do begin",
                     "for Local_0000:= $00 to $05 do begin", "repeat"):
            self.assertTrue(pascal_line(line).endswith(" if Guard then exit;"), line)

    def test_leftovers_and_real_comments(self):
        names = Names(listing("00000000 push ebx", "00000001 lea esi, [esi+$00]"))
        out = ("begin\r\n   //push Local_0000, , \r\n   //lea Local_0001, [esi+$00], \r\n"
               "   //shl eax, $02, \r\n   //jmp 00000010, , \r\nend;\r\n")
        r = Reading(out, names)
        self.assertEqual(r.leftovers, ["push r32", "lea r32, [r+n]"])
        self.assertEqual(r.real, ["shl r32, imm", "jmp target"])
        self.assertEqual(Reading("begin\r\n", names).fault, "output is not framed by begin and end;")

    def test_meanings_of_comment_lines(self):
        names = Names(listing("00000000 push ebx"))
        self.assertEqual(run_anyway("//lea edx, [ebx+ecx*4-$08], ", names),
                         "edx:=Local_0000+ecx*4-$08;")
        self.assertEqual(run_anyway("//shr Local_0000, $02, ", names),
                         "Local_0000:=longint(cardinal(Local_0000) shr $02);")
        self.assertEqual(run_anyway("//sar eax, cl, ", names), "eax:=SarLongint(eax, (cl and 31));")
        self.assertEqual(run_anyway("//movsx eax, byte ptr al, ", names), "eax:=shortint(al);")
        self.assertIsNone(run_anyway("//lea eax, [ebp-$10], ", names))
        self.assertIsNone(run_anyway("//cmp eax, $01, ", names))

    def test_consumed_loads_are_put_back(self):
        instrs = listing("00000000 mov ebx, eax", "00000002 cmp ebx, $0A", "00000005 jnle 0000000A",
                         "00000007 mov edx, dword ptr [ebp-$04]", "0000000A add edx, $01",
                         "0000000D cmp dword ptr [ebp-$08], edx", "00000010 jl 00000000")
        wrappers = load_wrappers(instrs, Names(instrs))
        self.assertEqual(wrap_loads("   if eax <= $0A then begin", wrappers),
                         "   if Ld(Local_0000, eax) <= $0A then begin")
        self.assertEqual(wrap_loads("while Local_0002 < Local_0001+$01 do begin", wrappers),
                         "while Local_0002 < Ld(edx, Local_0001+$01) do begin")
        self.assertEqual(wrap_loads("   eax:=eax <= $0A;", wrappers), "   eax:=eax <= $0A;")


if __name__ == "__main__":
    unittest.main()
