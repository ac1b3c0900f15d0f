"""Turns asm2pas's output into a Pascal function, mechanically: it declares
the registers and generated names, sets eax, edx, ecx from the parameters,
returns eax, and rewrites only what the output's own notation needs
(see README.md, "The back-translation"). It repairs nothing.
"""
import re

from comments import leftover_kind, parse_comment, printed, shape

NAME = re.compile(r"\b(?:(?:Local|Global)_[0-9A-F]{4,}|Slot_esp_[0-9A-F]+|Arg_[0-9]+)\b")
HEX = re.compile(r"(?<![\w$])\$([0-9A-Fa-f]{1,8})\b")
BOOL = re.compile(r" (=|<>) (true|false)(?=[\s)]|$)")
DIVISION = re.compile(r"^(\s*)(\S+):=(.+)/(.+);$")
RELATIONS = ["<>", "<=", ">=", "=", "<", ">"]
HEADER = re.compile(r"^\s*(?:if|and|or|while|until) ")
NO_RELATION = re.compile(r"\w  [\w$]")
# 16- and 8-bit registers that overlay the low part of a 32-bit one; bx and
# bl have names of their own in the output.
OVERLAYS = [("ax", "word", "eax"), ("al", "byte", "eax"), ("cx", "word", "ecx"),
            ("cl", "byte", "ecx"), ("dx", "word", "edx"), ("dl", "byte", "edx"),
            ("si", "word", "esi"), ("di", "word", "edi"), ("bp", "word", "ebp"),
            ("sp", "word", "esp"), ("bx", "word", "ebx"), ("bl", "byte", "ebx")]
# The second byte of a register has no name of its own in Pascal: it is read
# as byte 1 of the register (ah is byte 1 of eax).
HIGH_BYTES = re.compile(r"\b([a-d])h\b")


class Reading:
    """What one output says: its statement lines and its comment lines, sorted."""

    def __init__(self, text, names, instrs=()):
        self.fault = None       # the output is not a whole run
        self.body = []          # the lines between "begin" and the final "end;"
        self.real = []          # shapes of comment lines for real instructions
        self.leftovers = []     # shapes of frame leftovers and filler
        self.real_lines = []    # indexes in body of the real comment lines
        self.empty_conditions = 0  # header lines with "()" or no relation
        if not text.endswith("\r\n"):
            self.fault = "output does not end with CR LF" if text else "no output"
            return
        lines = text[:-2].split("\r\n")
        if len(lines) < 2 or lines[0] != "begin" or lines[-1] != "end;":
            self.fault = "output is not framed by begin and end;"
            return
        self.body = lines[1:-1]
        # Comment lines come in address order: each is matched with the next
        # listing instruction that prints as it does, for its jump's direction.
        at = 0
        # Ends: one pass over the output lines; `at` only moves forward.
        for n, line in enumerate(self.body):
            if HEADER.match(line) and ("()" in line or NO_RELATION.search(line)):
                self.empty_conditions += 1
            if not line.lstrip().startswith("//"):
                continue
            opcode, ops = parse_comment(line, names)
            k = at
            while k < len(instrs) and printed(instrs[k], names) != line.lstrip():
                k += 1
            where = None
            if k < len(instrs):
                at = k + 1
                following = instrs[k + 1].address if k + 1 < len(instrs) else None
                where = (instrs[k].address, following)
            if leftover_kind(opcode, ops):
                self.leftovers.append(shape(opcode, ops, where))
            else:
                self.real.append(shape(opcode, ops, where))
                self.real_lines.append(n)


SHIFT = re.compile(r"^(sh[lr]|sa[lr]) (\w+), (\$[0-9A-F]+|cl), $")
SIMPLE_OPERAND = re.compile(r"^(?:[a-d]l|[a-d]x|e[a-d]x|(?:Local|Global)_[0-9A-F]{4,})$")
LEA = re.compile(r"^lea (\w+), \[([^\]]+)\], $")


def run_anyway(comment, names):
    """Pascal for a comment line whose instruction only computes a value
    (shifts, neg, lea, cdq, movzx, movsx), or None. The harness supplies
    this meaning so that the structures around the line can be run; the
    routine stays untranslated. Registers inside a lea's brackets go under
    the names the output gives them (ebx is a Local_ name)."""
    text = comment.lstrip()[2:]
    m = SHIFT.match(text)
    if m and SIMPLE_OPERAND.match(m.group(2)):
        op, x, n = m.groups()
        n = "(cl and 31)" if n == "cl" else n
        if op in ("shl", "sal"):
            return "%s:=%s shl %s;" % (x, x, n)
        if op == "shr":
            return "%s:=longint(cardinal(%s) shr %s);" % (x, x, n)
        return "%s:=SarLongint(%s, %s);" % (x, x, n)
    m = re.match(r"^neg (\w+), , $", text)
    if m and SIMPLE_OPERAND.match(m.group(1)):
        return "%s:=-%s;" % (m.group(1), m.group(1))
    m = LEA.match(text)
    if m and SIMPLE_OPERAND.match(m.group(1)) and not re.search(r"e[bs]p|eiz", m.group(2)):
        address = re.sub(r"\b[a-z]{2,3}\b", lambda r: names.var_name(r.group(0)), m.group(2))
        return "%s:=%s;" % (m.group(1), address)
    if text == "cdq , , ":
        return "if eax < 0 then edx:=-1 else edx:=0;"
    m = re.match(r"^mov([zs])x (\w+), (?:(byte|word) ptr )?(\w+), $", text)
    if m and SIMPLE_OPERAND.match(m.group(2)) and SIMPLE_OPERAND.match(m.group(4)):
        wide = m.group(3) == "word" or re.fullmatch(r"[a-d]x", m.group(4)) is not None
        cast = {("z", False): "byte", ("z", True): "word",
                ("s", False): "shortint", ("s", True): "smallint"}[(m.group(1), wide)]
        return "%s:=%s(%s);" % (m.group(2), cast, m.group(4))
    return None


ESP_SLOT = re.compile(r"(?:dword ptr )?\[esp(?:\+\$([0-9A-F]+))?\]")


def slot_name(m):
    return "Slot_esp_%s" % (m.group(1) or "0")


def with_slot_names(wrappers):
    """The load wrappers as they read where with_meanings named the frame
    slots [esp+N]: both forms, so either body finds its own."""
    renamed = [(ESP_SLOT.sub(slot_name, a), ESP_SLOT.sub(slot_name, b)) for a, b in wrappers]
    return wrappers + [w for w in renamed if w not in wrappers]


def with_meanings(reading, names):
    """The body with every real comment line replaced by run_anyway's
    Pascal and, where esp never changes in the body, every dword frame slot
    [esp+N] read as a variable of its own; None when a comment line has no
    such meaning or there is nothing to put in."""
    out = list(reading.body)
    # Ends: one step per real comment line.
    for n in reading.real_lines:
        stripped = out[n].lstrip()
        code = run_anyway(stripped, names)
        if code is None:
            return None
        out[n] = out[n][:len(out[n]) - len(stripped)] + code
    code = [l for l in out if not l.lstrip().startswith("//")]
    slots = any(ESP_SLOT.search(l) for l in code)
    if slots and not any(l.lstrip().startswith("esp:=") for l in code):
        out = [l if l.lstrip().startswith("//") else
               ESP_SLOT.sub(slot_name, l) for l in out]
    elif not reading.real_lines:
        return None
    return out


def load_wrappers(instrs, names):
    """For every register load a condition can consume (mov r, x; [add/sub r ...;]
    cmp; jcc), the condition pieces it prints and the same pieces with the load
    put back as a side effect: Ld(r, value) sets r and yields the value."""
    out = []
    # Ends: one pass over the instructions; the inner walk stops at the
    # first entry that is no add/sub.
    for a, mov in enumerate(instrs):
        if mov.opcode != "mov" or mov.ops[0] not in ("eax", "ebx", "ecx", "edx", "esi", "edi"):
            continue
        reg = mov.ops[0]
        i = a + 1
        while i < len(instrs) and instrs[i].opcode in ("add", "sub"):
            i += 1
        if i + 1 >= len(instrs) or instrs[i].opcode != "cmp":
            continue
        cmp = instrs[i]
        if cmp.ops[0] == cmp.ops[1]:
            continue  # the compare itself reads the register: not a later read
        value = names.var_name(mov.ops[1])
        # Ends: the same add/sub entries.
        for step in instrs[a + 1:i]:
            value += ("+" if step.opcode == "add" else "-") + names.var_name(step.ops[1])
        r = names.var_name(reg)
        if i == a + 1 and cmp.ops[0] == reg:
            left, right = (value, names.var_name(cmp.ops[1]))
            wrapped = ("Ld(%s, %s)" % (r, left), right)
        elif i > a + 1 and cmp.ops[1] == reg:
            left, right = (names.var_name(cmp.ops[0]), value)
            wrapped = (left, "Ld(%s, %s)" % (r, right))
        elif i > a + 1 and cmp.ops[0] == reg:
            left, right = (value, names.var_name(cmp.ops[1]))
            wrapped = ("Ld(%s, %s)" % (r, left), right)
        else:
            continue
        for rel in RELATIONS:
            out.append((left + " " + rel + " " + right, wrapped[0] + " " + rel + " " + wrapped[1]))
    return out


def wrap_loads(line, wrappers):
    """The header line with every consumed load put back into its condition."""
    stripped = line.lstrip()
    if not stripped.startswith(("if ", "and (", "or (", "while ", "until ")):
        return line
    for plain, wrapped in wrappers:
        line = re.sub(r"(?<=[( ])" + re.escape(plain) + r"(?=\)| then| do|;|$)",
                      lambda _m, w=wrapped: w, line)
    return line


def long_hex(m):
    value = int(m.group(1), 16)
    return "longint(%s)" % m.group(0) if value >= 0x80000000 else m.group(0)


ASSIGNMENT = re.compile(r"^(\s*)([^\s:]+):=(.*);$")
RELATIONS_OUTSIDE = (" = ", " <> ", " < ", " > ", " <= ", " >= ")
ADDRESS = re.compile(r"@(\w+)")


def boolean_assignment(line):
    """x:=a < b; (a setcc) as x:=Ord(a < b);: Pascal assigns no boolean to a
    number. An assignment is boolean when a relation stands outside every
    parenthesis of its right side."""
    m = ASSIGNMENT.match(line)
    if not m:
        return line
    right, depth = m.group(3), 0
    # Ends: one pass over the right side.
    for i, ch in enumerate(right):
        depth += {"(": 1, ")": -1}.get(ch, 0)
        if depth == 0 and right.startswith(RELATIONS_OUTSIDE, i):
            return "%s%s:=Ord(%s);" % (m.group(1), m.group(2), right)
    return line


def pascal_line(line):
    """One output line in Pascal. Only the notation is rewritten: x/y is an
    integer division, "v = true" tests v against 0, a boolean assigned to a
    number is its Ord, an address (@v) a number, 32-bit numbers of eight
    digits are longints, and every loop turn counts towards the hang guard."""
    if line.lstrip().startswith("//"):
        return line
    m = DIVISION.match(line)
    if m:
        line = "%s%s:=SDiv(%s, %s);" % m.groups()
    line = BOOL.sub(lambda b: " %s 0" % ("<>" if (b.group(1) == "=") == (b.group(2) == "true")
                                          else "="), line)
    line = boolean_assignment(line)
    line = ADDRESS.sub(lambda a: "PtrInt(@%s)" % a.group(1), line)
    line = HEX.sub(long_hex, line)
    line = HIGH_BYTES.sub(lambda m: "Bytes_e%sx[1]" % m.group(1), line)
    # A goto may lead back: it counts towards the hang guard too.
    line = GOTO.sub(lambda g: "begin if Guard then exit; goto %s; end;" % g.group(1), line)
    stripped = line.strip()
    if stripped.endswith(" do begin") or stripped == "repeat":
        line += " if Guard then exit;"
    return line


GOTO = re.compile(r"goto (L_[0-9A-F]{8});")
LABEL = re.compile(r"^\s*(L_[0-9A-F]{8}):\s*$")


def pascal_function(fname, body, wrappers=None):
    """The function as (head, lines, tail); `lines` correspond one for one
    to `body`, which the compile-error mapping relies on."""
    lines = [wrap_loads(l, wrappers) if wrappers else l for l in body]
    lines = [pascal_line(l) for l in lines]
    used = sorted({n for l in lines if not l.lstrip().startswith("//") for n in NAME.findall(l)})
    labels = sorted({m.group(1) for l in lines for m in [LABEL.match(l)] if m})
    decl = ["label %s;" % ", ".join(labels)] if labels else []
    decl += ["var eax, ebx, ecx, edx, esi, edi, ebp, esp: longint;"]
    decl += ["  %s: %s absolute %s;" % o for o in OVERLAYS]
    decl += ["  Bytes_e%sx: packed array[0..3] of byte absolute e%sx;" % (r, r) for r in "abcd"]
    if used:
        decl.append("  %s: longint;" % ", ".join(used))
    init = "eax := a; edx := b; ecx := c; ebx := 0; esi := 0; edi := 0; ebp := 0; esp := 0;"
    init += "".join(" %s := 0;" % n for n in used)
    head = ["function %s(a, b, c: longint): longint;" % fname] + decl + ["begin", init, "try"]
    return head, lines, ["finally", "%s := eax;" % fname, "end;", "end;"]
