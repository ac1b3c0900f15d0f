"""Random straight-line i386 routines in assembly, of the instructions the
extended reading turns into statements: lea, shifts and rotations, neg,
movzx and movsx, division and wide multiplication, setcc after a
comparison or after logic and arithmetic, conditional moves, and calls with
pushed arguments
(cleaned up by add esp, also after loads, or by pops, or later with the next
call's, as gcc defers them).

A routine takes a, b, c in eax, edx, ecx (as Free Pascal and gcc's
-mregparm=3 pass them) and returns eax. It keeps ebx, esi and edi (set to 0
first, as the back-translation sets them) and two dword and one byte frame
slots (set to 0 too); every division has a divisor from 1 to 127, so none
traps; after a call it reads no ecx or edx before setting them, which the
callee leaves undefined.
"""
import random

R32 = ["eax", "ecx", "edx", "ebx", "esi", "edi"]
R16 = ["ax", "cx", "dx", "bx"]
R8 = ["al", "cl", "dl", "ah", "ch", "dh", "bl", "bh"]
DWORDS = ["dword ptr [ebp-4]", "dword ptr [ebp-8]"]
BYTE = "byte ptr [ebp-12]"
CONDITIONS = ["e", "ne", "l", "le", "g", "ge", "b", "be", "a", "ae", "s", "ns"]
SHIFTS = ["shl", "shr", "sar", "rol", "ror"]

# The routines the generated ones call (cdecl: arguments on the stack,
# taken off by the caller) and how the back-translation declares them.
CALLEES = {
    "callee0": (0, ["mov eax, 7", "mov ecx, 99", "mov edx, 98", "ret"]),
    "callee2": (2, ["mov eax, [esp+4]", "imul eax, eax, 3", "sub eax, [esp+8]", "mov ecx, 97",
                    "ret"]),
    "callee3": (3, ["mov eax, [esp+8]", "imul eax, [esp+12]", "neg eax", "add eax, [esp+4]",
                    "mov edx, 1", "ret"]),
}


def callee_source():
    """The callees in assembly, to go before the routines."""
    out = []
    for name, (_, body) in CALLEES.items():
        out += [".globl %s" % name, "%s:" % name] + ["  " + b for b in body]
    return out


def callee_declarations():
    """The callees as the back-translation calls them: function plus name."""
    out = []
    for name, (count, _) in CALLEES.items():
        params = "(%s: longint)" % ", ".join("p%d" % k for k in range(count)) if count else ""
        out.append("function function%s%s: longint; cdecl; external name '%s';" %
                   (name, params, name))
    return out


class Generator:
    def __init__(self, rng):
        self.rng = rng
        self.pending = 0  # bytes of arguments a clean-up was deferred for

    def imm(self):
        return self.rng.choice([0, 1, 2, 5, 31, 127, 255, 0x7fffffff, 0x80000000, 0xffffffff,
                                self.rng.randrange(1 << 32)])

    def reg(self):
        return self.rng.choice(R32)

    def arithmetic(self):
        rng, r, s = self.rng, self.reg(), self.reg()
        return rng.choice([
            ["mov %s, %s" % (r, s)], ["mov %s, %d" % (r, self.imm())],
            ["%s %s, %s" % (rng.choice(["add", "sub", "xor", "and", "or"]), r, s)],
            ["imul %s, %s" % (r, s)],
            ["lea %s, [%s+%s*%d%+d]" % (r, s, self.reg(), rng.choice([1, 2, 4, 8]),
                                         rng.randrange(-300, 300))],
            ["lea %s, [%s%+d]" % (r, s, rng.randrange(-300, 300))],
            ["lea %s, [%s*%d%+d]" % (r, s, rng.choice([2, 4, 8]), rng.randrange(-300, 300))],
            ["%s %s, %d" % (rng.choice(SHIFTS), r, rng.randrange(1, 32))],
            ["%s %s, cl" % (rng.choice(SHIFTS), rng.choice(["eax", "edx", "ebx", "esi"]))],
            ["%s %s, %d" % (rng.choice(["shl", "shr"]), rng.choice(R8 + R16),
                            rng.randrange(1, 20))],
            ["%s %s, %d" % (rng.choice(["shl", "sar"]), rng.choice(DWORDS),
                            rng.randrange(1, 32))],
            ["neg %s" % rng.choice([r, r, "dl", DWORDS[0]])],
            ["%s %s, %s" % (rng.choice(["movzx", "movsx"]), r, rng.choice(R8 + R16 + [BYTE]))],
            ["mov %s, %s" % (rng.choice(DWORDS), r)], ["mov %s, %s" % (r, rng.choice(DWORDS))],
            ["mov %s, %s" % (BYTE, rng.choice(R8))],
            # The halves of a 64-bit sum or difference.
            (lambda low, high: [
                "%s %s, %s" % (low, rng.choice([r] + DWORDS), s),
                "%s %s, %s" % (high, rng.choice([self.reg()] + DWORDS),
                               rng.choice([self.reg(), str(rng.randrange(0, 9))]))])(
                *rng.choice([("add", "adc"), ("sub", "sbb")])),
        ])

    def division(self):
        rng = self.rng
        x = rng.choice(["ecx", "ebx", "esi", "edi"])
        out = ["mov %s, %s" % (x, self.reg()), "and %s, 127" % x, "or %s, 1" % x]
        if rng.random() < 0.5:
            return out + ["mov eax, %s" % self.reg(), "cdq"] + \
                (["mov %s, %s" % (x, x)] if rng.random() < 0.3 else []) + ["idiv %s" % x]
        return out + [rng.choice(["xor edx, edx", "mov edx, 0"]), "div %s" % x]

    def setcc(self):
        # Mostly flags a setcc reads exactly as a relation (others stay
        # comment lines, which is no fault): any on a comparison of 32
        # bits, equality and the unsigned order on bytes, a comparison with
        # zero on a test of one register and on logic, zero and sign on
        # arithmetic.
        rng, r, s = self.rng, self.reg(), self.reg()
        b1, b2 = rng.choice(R8), rng.choice(R8)
        flags, conditions = rng.choice([
            ("cmp %s, %s" % (r, s), CONDITIONS), ("cmp %s, %d" % (r, rng.randrange(-5, 100)),
                                                   CONDITIONS),
            ("cmp %s, %s" % (b1, b2), ["e", "ne", "b", "be", "a", "ae"]),
            ("cmp %s, %s" % (rng.choice(DWORDS), r), CONDITIONS),
            ("cmp %s, %d" % (b1, rng.randrange(0, 255)), ["e", "ne", "b", "a"]),
            ("test %s, %s" % (r, r), ["e", "ne", "l", "le", "g", "ge", "s", "ns", "a", "be"]),
            ("test %s, %s" % (r, s), ["e", "ne"]), ("test %s, %s" % (b1, b1), ["e", "ne"]),
            ("and %s, %s" % (r, s), ["e", "ne", "l", "g", "s", "ns"]),
            ("xor %s, %d" % (r, self.imm()), ["e", "ne", "le", "ge"]),
            ("sub %s, %s" % (r, s), ["e", "ne", "s", "ns"]), ("neg %s" % r, ["e", "s"]),
            ("dec %s" % r, ["ne", "ns"]),
            # A comparison of 64-bit values: the low halves, then the high
            # ones by a sbb into a register (gcc's layout); the order only.
            (["cmp %s, %s" % (r, s), "sbb %s, %s" % (self.reg(), rng.choice(R32 + DWORDS))],
             ["l", "ge", "b", "ae"]),
            # A bit test: the carry holds the bit.
            (["bt %s, %s" % (r, rng.choice([s, str(rng.randrange(0, 32))]))], ["b", "ae"])])
        if isinstance(flags, list):
            if rng.random() < 0.6:
                # Mostly a jump on them, over a load.
                return flags + ["j%s 1f" % rng.choice(conditions),
                                "mov %s, %d" % (self.reg(), self.imm()), "1:"]
        else:
            flags = [flags]
        if rng.random() < 0.1:
            conditions = CONDITIONS
        if rng.random() < 0.25:
            # Moves that keep the flags between them and their reader, as
            # gcc schedules them; one may write what was compared.
            flags = flags + [rng.choice([
                "mov %s, %d" % (self.reg(), self.imm()), "mov %s, %s" % (rng.choice(DWORDS), r),
                "lea %s, [%s%+d]" % (self.reg(), s, rng.randrange(-9, 9)),
                "movzx %s, %s" % (self.reg(), b1)]) for _ in range(rng.randrange(1, 3))]
        if rng.random() < 0.3:
            # Conditional moves on the same flags, one to three, any register
            # or a dword slot as the source; one may write what was compared.
            moves = ["cmov%s %s, %s" % (rng.choice(conditions), self.reg(),
                                        rng.choice(R32 + DWORDS))
                     for _ in range(rng.randrange(1, 4))]
            if rng.random() < 0.3:
                # A jump on the same flags that skips them, and a move
                # before them (gcc reuses a test's flags past its jump).
                return flags + ["j%s 1f" % rng.choice(conditions),
                                "mov %s, %d" % (self.reg(), self.imm())] + moves + ["1:"]
            return flags + moves
        dest = rng.choice(R8 + [BYTE])
        out = flags + ["set%s %s" % (rng.choice(conditions), dest)]
        if dest != BYTE and rng.random() < 0.5:
            out.append("movzx %s, %s" % (r, dest))
        return out

    def call(self):
        rng = self.rng
        name = rng.choice(list(CALLEES))
        pad = rng.choice([0, 0, 4, 8, 12])
        out = ["sub esp, %d" % pad] if pad else []
        for _ in range(CALLEES[name][0]):
            r = rng.random()
            if r < 0.3:
                out.append("push %d" % rng.randrange(-100, 100))
            elif r < 0.5:
                out += ["lea eax, [%s+%d]" % (self.reg(), rng.randrange(1, 50)), "push eax"]
            elif r < 0.6:
                out += ["mov ecx, %s" % rng.choice(DWORDS), "push ecx"]
            elif r < 0.7:
                out += ["add esi, %d" % rng.randrange(1, 9), "push %s" % rng.choice(["eax", "edx"])]
            else:
                # Not ebx, esi or edi alone: a push of them reads as saving them.
                out.append("push %s" % rng.choice(["eax", "ecx", "edx"] + DWORDS))
        extra = rng.choice([0, 0, 0, 4])
        out.append("call %s" % name)
        size = pad + 4 * CALLEES[name][0] + extra
        if not extra and rng.random() < 0.25:
            # The clean-up deferred past the next call, or to the end.
            self.pending += size
            return out + ["mov ecx, %d" % rng.randrange(9), "xor edx, edx"]
        size += self.pending
        self.pending = 0
        if not extra and size in (4, 8) and rng.random() < 0.4:
            # The clean-up by pops into registers nothing reads after.
            out += ["pop %s" % r for r in ["ecx", "edx"][:size // 4]]
        else:
            if rng.random() < 0.3:
                # Loads that leave the stack alone, between the call and its clean-up.
                out.append("mov %s, %s" % (rng.choice(["ebx", "esi", "edi"]), rng.choice(DWORDS)))
            out.append("add esp, %d" % size)
            if extra:
                out.append("sub esp, %d" % extra)
        if rng.random() < 0.5:
            out.append("mov %s, eax" % rng.choice(["ebx", "esi", "edi"] + DWORDS))
        return out + ["mov ecx, %d" % rng.randrange(9), "xor edx, edx"]

    def routine(self):
        rng = self.rng
        body = ["xor ebx, ebx", "xor esi, esi", "xor edi, edi"] + \
            ["mov %s, 0" % d for d in DWORDS + ["dword ptr [ebp-12]"]]
        # Ends: a bounded number of pieces.
        for _ in range(rng.randrange(3, 14)):
            r = rng.random()
            piece = self.arithmetic if r < 0.55 else self.division if r < 0.65 else \
                self.setcc if r < 0.85 else self.call
            body += piece()
        if self.pending:
            body.append("add esp, %d" % self.pending)
        if rng.random() < 0.5:
            body += ["add eax, %s" % r for r in ["ebx", "ecx", "edx", "esi", "edi"] + DWORDS]
        return body


def generate(seed):
    """The instructions of one seed's routine: the same seed, the same."""
    return Generator(random.Random(seed)).routine()


def asm_routine(name, body):
    """The routine in gcc's Intel syntax, with a frame the tool takes out."""
    return [".globl %s" % name, "%s:" % name] + ["  " + line for line in
            ["push ebp", "mov ebp, esp", "add esp, -16", "push ebx", "push esi", "push edi"] +
            body + ["pop edi", "pop esi", "pop ebx", "mov esp, ebp", "pop ebp", "ret"]]
