"""The listing's line layout for the Python generators (the scripts of
tests/, bench/ and fuzz/), as listing/format.h states it for C++: the
address in columns 1-8, two blanks and the instruction bytes, blanks up to
column 34, the mnemonic from column 35, CR LF line ends."""

MNEMONIC_COLUMN = 35
LINE_END = "\r\n"


def line(address, instruction, code_bytes=""):
    """One instruction line, without its line end. `address` is a number
    (eight upper-case digits) or a text written as it stands."""
    head = address if isinstance(address, str) else "%08X" % address
    if code_bytes:
        head += "  " + code_bytes
    return head.ljust(MNEMONIC_COLUMN - 1) + instruction


def text(lines):
    """The lines joined, each with its line end."""
    return "".join(l + LINE_END for l in lines)


def data(lines):
    """text() as bytes, one byte per character."""
    return text(lines).encode("latin-1")
