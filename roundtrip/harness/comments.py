"""The comment lines of asm2pas's output: which are frame leftovers or filler
(they do not make a routine untranslated) and which stand for a real
instruction, and the shape of each instruction for the pattern counts.
"""
import re

from listing import REGISTERS, REGISTERS16, REGISTERS32, REGISTERS8

CALLEE_SAVED = ("ebp", "ebx", "esi", "edi")
FILLER_LEA = re.compile(r"^\[(e..)(\+eiz(\*1)?)?\+\$00\]$")


def parse_comment(line, names):
    """(opcode, [op1, op2, op3]) of a comment line, names put back as operands."""
    body = line.lstrip()[2:]
    opcode, _, rest = body.partition(" ")
    ops = rest.split(", ")
    ops = ([names.operand(o.strip()) for o in ops] + ["", "", ""])[:3]
    return opcode, ops


def leftover_kind(opcode, ops):
    """'frame' or 'filler' for what does not count as untranslated; None otherwise.

    Frame leftovers: push and pop of ebp, ebx, esi, edi (the frame pointer
    and the registers a routine saves); leave; lea, sub and add with esp as
    destination (local space). Filler: nop in any form, lea r, [r+$00] (also
    with +eiz), xchg r, r and mov r, r, which change nothing.
    """
    op1 = ops[0]
    if opcode in ("push", "pop") and op1 in CALLEE_SAVED:
        return "frame"
    if opcode == "leave" or (opcode in ("lea", "sub", "add") and op1 == "esp"):
        return "frame"
    if opcode == "nop" or opcode.startswith("nop"):
        return "filler"
    if opcode == "lea":
        m = FILLER_LEA.match(ops[1])
        if m and m.group(1) == op1:
            return "filler"
    if opcode in ("xchg", "mov") and op1 and op1 == ops[1] and op1 in REGISTERS:
        return "filler"
    return None


def operand_shape(op):
    if not op:
        return ""
    if op in REGISTERS32:
        return "r32"
    if op in REGISTERS16:
        return "r16"
    if op in REGISTERS8:
        return "r8"
    if re.fullmatch(r"-?\$[0-9A-F]+", op):
        return "imm"
    if re.fullmatch(r"[0-9A-F]{8}", op):
        return "target"
    m = re.fullmatch(r"(?:(\w+) ptr )?(?:\w\w:)?\[(.*)\]", op)
    if m:
        size = {"dword": "m32", "word": "m16", "byte": "m8", "qword": "m64"}.get(m.group(1), "")
        inner = m.group(2)
        if re.fullmatch(r"ebp[-+]\$[0-9A-F]+", inner):
            return size + "[ebp" + inner[3] + "n]"
        if re.fullmatch(r"esp(\+\$[0-9A-F]+)?", inner):
            return size + "[esp+n]"
        if inner.startswith("$"):
            return size + "[abs]"
        inner = re.sub(r"\b(?:e?[a-d]x|e?[sd]i|[sb]p|eiz)\b", "r", inner)
        inner = re.sub(r"\$[0-9A-F]+", "n", inner)
        return size + "[" + inner + "]"
    return "sym"


def shape(opcode, ops, where=None):
    """The instruction with its operands reduced to their kinds: 'shl r32, imm'.
    `where` is (own address, next instruction's address) when known: a jump
    target then reads 'next', 'back' or 'forward'."""
    shapes = [operand_shape(o) for o in ops if o]
    if where and shapes and shapes[0] == "target":
        target = int(ops[0], 16)
        shapes[0] = "next" if target == where[1] else "back" if target <= where[0] else "forward"
    return (opcode + " " + ", ".join(shapes)).strip()


def printed(ins, names):
    """A listing instruction as asm2pas prints it as a comment line."""
    return "//%s %s" % (ins.opcode, ", ".join(names.var_name(o) for o in ins.ops))
