"""The harness's reading of a fixed-column listing, and of the names asm2pas
gives its operands: which generated Local_/Global_ name stands for which
operand text, numbered in order of first appearance as the tool numbers them.
"""
import re

REGISTERS32 = ["eax", "ebx", "ecx", "edx", "esi", "edi", "ebp", "esp"]
REGISTERS16 = ["ax", "bx", "cx", "dx", "si", "di", "bp", "sp"]
REGISTERS8 = ["al", "bl", "cl", "dl", "ah", "bh", "ch", "dh"]
REGISTERS = set(REGISTERS32 + REGISTERS16 + REGISTERS8)
NAMED_REGISTERS = ("edi", "esi", "ebx", "bx", "bl")


class Instr:
    __slots__ = ("address", "opcode", "ops")

    def __init__(self, address, opcode, ops):
        self.address = address
        self.opcode = opcode
        self.ops = ops  # always three texts, empty where absent


def read_listing(path):
    """The instruction lines of a listing, in file order."""
    out = []
    with open(path, "rb") as f:
        data = f.read().decode("latin-1")
    # Ends: one pass over the file's lines.
    for line in data.split("\r\n"):
        if not line or line[0] in "*|" or len(line) < 35:
            continue
        rest = line[34:].strip()
        opcode, _, operands = rest.partition(" ")
        ops = [o.strip() for o in operands.split(", ")] if operands.strip() else []
        ops = (ops + ["", "", ""])[:3]
        out.append(Instr(int(line[:8], 16), opcode, ops))
    return out


def strip_ptr(op):
    p = op.find(" ptr ")
    return op[p + 5:].strip() if p >= 0 else op.strip()


def operand_kind(op):
    if "ebp-" in op or op in NAMED_REGISTERS:
        return "Local"
    if "ebp+" in op or "[$" in op:
        return "Global"
    return None


class Names:
    """Generated names both ways: operand key -> name, name -> operand key."""

    def __init__(self, instrs):
        self.by_key = {}
        self.by_name = {}
        seq = {"Local": 0, "Global": 0}
        # Ends: one pass over the instructions, three operands each.
        for ins in instrs:
            for op in ins.ops:
                op = op.strip()
                key = strip_ptr(op)
                kind = operand_kind(op)
                if not op or key in self.by_key or kind is None:
                    continue
                name = "%s_%04X" % (kind, seq[kind])
                seq[kind] += 1
                self.by_key[key] = name
                self.by_name[name] = key

    def var_name(self, op):
        op = op.strip()
        return self.by_key.get(strip_ptr(op), op)

    def operand(self, text):
        """A text as printed, with every generated name put back as its operand."""
        return re.sub(r"\b(?:Local|Global)_[0-9A-F]{4,}\b",
                      lambda m: self.by_name.get(m.group(0), m.group(0)), text)
