#!/usr/bin/env python3
"""Writes listings in the tool's fixed-column format from a compact form.

Each input line is "ADDRESS[/BYTES] MNEMONIC [OPERANDS]" and becomes an
instruction line: the address in columns 1-8, two blanks and the instruction
bytes (if given) padded with blanks up to column 34, the mnemonic
from column 35, one blank, then the operands as written. Lines starting with
"=" are copied as they stand (after the "="); blank input lines are dropped.
Output lines end with CR LF.

    python3 tests/mklst.py < compact.txt > case.lst
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
import listing  # noqa: E402


def listing_line(text):
    if text.startswith("="):
        return text[1:]
    parts = text.split(None, 2)
    address, _, code_bytes = parts[0].partition("/")
    mnemonic = parts[1] if len(parts) > 1 else ""
    operands = parts[2] if len(parts) > 2 else ""
    return listing.line(address, mnemonic + (" " + operands if operands else ""), code_bytes)


def main():
    out = []
    for raw in sys.stdin.read().splitlines():
        if not raw.strip() and not raw.startswith("="):
            continue
        out.append(listing_line(raw.rstrip("\n")))
    sys.stdout.buffer.write(listing.data(out))


if __name__ == "__main__":
    main()
