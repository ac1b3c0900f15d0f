"""Random small structured routines, one tree printed as Pascal or as C.

Every routine takes three longints a, b, c and returns one. Its loops are
bounded for every input: each loop runs on a counter of its own with a
constant bound, or over a range masked to a few values.
"""
import random

PARAMS = ["a", "b", "c"]
LOCALS = ["w", "x", "y"]
COUNTERS = ["i", "j", "k"]
ARITH = ["+", "-", "*", "and", "or", "xor"]
RELATIONS = ["=", "<>", "<", "<=", ">", ">="]
NEGATED = {"=": "<>", "<>": "=", "<": ">=", "<=": ">", ">": "<=", ">=": "<"}
C_OPS = {"and": "&", "or": "|", "xor": "^", "shl": "<<", "shr": ">>",
         "=": "==", "<>": "!="}


# Expressions: ("var", name) ("const", n) ("bin", op, l, r) ("shift", op, e, n)
# Conditions: ("rel", op, l, r) ("urel", op, l, r): the same on the values
#   taken as unsigned; ("and", c1, c2) ("or", c1, c2)
# Statements: ("assign", v, e) ("inc", v) ("dec", v) ("if", cond, then, else|None)
#   ("while", counter, bound, extra|None, body) ("repeat", counter, bound, extra|None, body)
#   ("for", counter, lo, hi, downto, body)


def negate(cond):
    """The condition that holds exactly when `cond` does not (De Morgan)."""
    if cond[0] in ("rel", "urel"):
        return (cond[0], NEGATED[cond[1]], cond[2], cond[3])
    other = "or" if cond[0] == "and" else "and"
    return (other, negate(cond[1]), negate(cond[2]))


class Generator:
    """Draws one routine from a seeded random source."""

    def __init__(self, rng):
        self.rng = rng
        self.budget = 0

    def operand(self, counters):
        r = self.rng.random()
        if r < 0.3:
            return ("var", self.rng.choice(PARAMS))
        if r < 0.65:
            return ("var", self.rng.choice(LOCALS))
        if r < 0.75 and counters:
            return ("var", self.rng.choice(counters))
        return ("const", self.constant())

    def constant(self):
        r = self.rng.random()
        if r < 0.7:
            return self.rng.randint(0, 20)
        if r < 0.85:
            return self.rng.choice([100, 255, 1000, 4096, 65535, 123456])
        return -self.rng.randint(1, 100)

    def expr(self, counters, depth=0):
        r = self.rng.random()
        if depth >= 2 or r < 0.35:
            return self.operand(counters)
        if r < 0.45:
            return ("shift", self.rng.choice(["shl", "shr"]), self.expr(counters, depth + 1),
                    self.rng.randint(1, 5))
        return ("bin", self.rng.choice(ARITH), self.expr(counters, depth + 1),
                self.expr(counters, depth + 1))

    def relation(self, counters):
        if self.rng.random() < 0.08:
            # Unsigned: both sides variables, as in a range test.
            names = PARAMS + LOCALS + counters
            return ("urel", self.rng.choice(RELATIONS), ("var", self.rng.choice(names)),
                    ("var", self.rng.choice(names)))
        left = self.operand(counters)
        if left[0] == "const":
            left = ("var", self.rng.choice(PARAMS + LOCALS))
        right = self.operand(counters) if self.rng.random() < 0.8 else self.expr(counters, 1)
        return ("rel", self.rng.choice(RELATIONS), left, right)

    def cond(self, counters, depth=0):
        if depth >= 2 or self.rng.random() < 0.5:
            return self.relation(counters)
        kind = self.rng.choice(["and", "or"])
        return (kind, self.cond(counters, depth + 1), self.cond(counters, depth + 1))

    def block(self, counters, depth, n):
        return [s for s in (self.statement(counters, depth) for _ in range(n)) if s]

    def statement(self, counters, depth):
        if self.budget <= 0:
            return None
        self.budget -= 1
        r = self.rng.random()
        nested = depth < 3 and self.budget > 1
        target = self.rng.choice(LOCALS if self.rng.random() < 0.85 else PARAMS)
        if r < 0.3 or not nested:
            return ("assign", target, self.expr(counters))
        if r < 0.38:
            return (self.rng.choice(["inc", "dec"]), target)
        if r < 0.55:
            then = self.block(counters, depth + 1, self.rng.randint(1, 3))
            return ("if", self.cond(counters), then or [("inc", target)], None)
        if r < 0.68:
            then = self.block(counters, depth + 1, self.rng.randint(1, 2))
            other = self.block(counters, depth + 1, self.rng.randint(1, 2))
            return ("if", self.cond(counters), then or [("inc", target)],
                    other or [("dec", target)])
        if len(counters) == len(COUNTERS):
            return ("assign", target, self.expr(counters))
        counter = COUNTERS[len(counters)]
        inner = counters + [counter]
        body = self.block(inner, depth + 1, self.rng.randint(1, 3)) or [("inc", target)]
        bound = self.rng.randint(1, 12)
        if r < 0.79:
            extra = self.cond(inner, 1) if self.rng.random() < 0.5 else None
            return ("while", counter, bound, extra, body)
        if r < 0.88:
            extra = self.cond(inner, 1) if self.rng.random() < 0.5 else None
            return ("repeat", counter, bound, extra, body)
        lo = ("const", self.rng.randint(0, 3)) if self.rng.random() < 0.6 else \
            ("bin", "and", ("var", self.rng.choice(PARAMS)), ("const", 7))
        hi = ("const", self.rng.randint(0, 12)) if self.rng.random() < 0.6 else \
            ("bin", "and", ("var", self.rng.choice(PARAMS)), ("const", 15))
        return ("for", counter, lo, hi, self.rng.random() < 0.3, body)

    def routine(self):
        """(initial assignments + statements, result expression)."""
        self.budget = self.rng.randint(3, 12)
        # Each local starts from a parameter, a constant or a local set before it.
        init = []
        for n, v in enumerate(LOCALS):
            r = self.rng.random()
            if r < 0.45:
                value = ("var", self.rng.choice(PARAMS + LOCALS[:n]))
            else:
                value = ("const", self.constant())
            init.append(("assign", v, value))
        body = self.block([], 0, self.rng.randint(2, 6))
        result = ("var", self.rng.choice(LOCALS)) if self.rng.random() < 0.8 else self.expr([])
        return init + body, result


def generate(seed):
    """The routine of one seed: the same seed gives the same routine."""
    return Generator(random.Random(seed)).routine()


# ---- Pascal -------------------------------------------------------------

def pas_expr(e):
    if e[0] == "var":
        return e[1]
    if e[0] == "const":
        return str(e[1]) if e[1] >= 0 else "(%d)" % e[1]
    if e[0] == "shift":
        return "(%s %s %d)" % (pas_expr(e[2]), e[1], e[3])
    return "(%s %s %s)" % (pas_expr(e[2]), e[1], pas_expr(e[3]))


def pas_cond(c):
    if c[0] == "rel":
        return "(%s %s %s)" % (pas_expr(c[2]), c[1], pas_expr(c[3]))
    if c[0] == "urel":
        return "(cardinal(%s) %s cardinal(%s))" % (pas_expr(c[2]), c[1], pas_expr(c[3]))
    return "(%s %s %s)" % (pas_cond(c[1]), c[0], pas_cond(c[2]))


def pas_block(stmts, ind, out):
    for s in stmts:
        pas_stmt(s, ind, out)


def pas_stmt(s, ind, out):
    p = "  " * ind
    kind = s[0]
    if kind == "assign":
        out.append("%s%s := %s;" % (p, s[1], pas_expr(s[2])))
    elif kind in ("inc", "dec"):
        out.append("%s%s(%s);" % (p, kind, s[1]))
    elif kind == "if":
        out.append("%sif %s then begin" % (p, pas_cond(s[1])))
        pas_block(s[2], ind + 1, out)
        if s[3]:
            out.append("%send else begin" % p)
            pas_block(s[3], ind + 1, out)
        out.append("%send;" % p)
    elif kind == "while":
        _, v, bound, extra, body = s
        test = "(%s < %d)" % (v, bound) + (" and %s" % pas_cond(extra) if extra else "")
        out.append("%s%s := 0;" % (p, v))
        out.append("%swhile %s do begin" % (p, test))
        pas_block(body, ind + 1, out)
        out.append("%s  inc(%s);" % (p, v))
        out.append("%send;" % p)
    elif kind == "repeat":
        _, v, bound, extra, body = s
        test = "(%s >= %d)" % (v, bound) + (" or %s" % pas_cond(extra) if extra else "")
        out.append("%s%s := 0;" % (p, v))
        out.append("%srepeat" % p)
        pas_block(body, ind + 1, out)
        out.append("%s  inc(%s);" % (p, v))
        out.append("%suntil %s;" % (p, test))
    elif kind == "for":
        _, v, lo, hi, down, body = s
        if down:
            out.append("%sfor %s := %s downto %s do begin" % (p, v, pas_expr(hi), pas_expr(lo)))
        else:
            out.append("%sfor %s := %s to %s do begin" % (p, v, pas_expr(lo), pas_expr(hi)))
        pas_block(body, ind + 1, out)
        out.append("%send;" % p)


def pascal_routine(name, routine):
    """The routine as a Pascal function (register convention: a, b, c in eax, edx, ecx)."""
    stmts, result = routine
    out = ["function %s(a, b, c: longint): longint;" % name,
           "var w, x, y, i, j, k: longint;", "begin"]
    pas_block(stmts, 1, out)
    out.append("  result := %s;" % pas_expr(result))
    out.append("end;")
    return out


# ---- C ------------------------------------------------------------------

def c_expr(e):
    if e[0] == "var":
        return e[1]
    if e[0] == "const":
        return str(e[1]) if e[1] >= 0 else "(%d)" % e[1]
    if e[0] == "shift":
        return "(%s %s %d)" % (c_expr(e[2]), C_OPS[e[1]], e[3])
    return "(%s %s %s)" % (c_expr(e[2]), C_OPS.get(e[1], e[1]), c_expr(e[3]))


def c_cond(c):
    if c[0] == "rel":
        return "%s %s %s" % (c_expr(c[2]), C_OPS.get(c[1], c[1]), c_expr(c[3]))
    if c[0] == "urel":
        return "(unsigned)%s %s (unsigned)%s" % (c_expr(c[2]), C_OPS.get(c[1], c[1]),
                                                 c_expr(c[3]))
    return "(%s) %s (%s)" % (c_cond(c[1]), "&&" if c[0] == "and" else "||", c_cond(c[2]))


def c_stmt(s, ind, out):
    p = "  " * ind
    kind = s[0]
    if kind == "assign":
        out.append("%s%s = %s;" % (p, s[1], c_expr(s[2])))
    elif kind in ("inc", "dec"):
        out.append("%s%s%s;" % (p, s[1], "++" if kind == "inc" else "--"))
    elif kind == "if":
        out.append("%sif (%s) {" % (p, c_cond(s[1])))
        c_block(s[2], ind + 1, out)
        if s[3]:
            out.append("%s} else {" % p)
            c_block(s[3], ind + 1, out)
        out.append("%s}" % p)
    elif kind == "while":
        _, v, bound, extra, body = s
        test = "%s < %d" % (v, bound) + (" && (%s)" % c_cond(extra) if extra else "")
        out.append("%s%s = 0;" % (p, v))
        out.append("%swhile (%s) {" % (p, test))
        c_block(body, ind + 1, out)
        out.append("%s  %s++;" % (p, v))
        out.append("%s}" % p)
    elif kind == "repeat":
        _, v, bound, extra, body = s
        # repeat ... until (v >= bound) or extra: go on while neither holds.
        test = "%s < %d" % (v, bound) + (" && (%s)" % c_cond(negate(extra)) if extra else "")
        out.append("%s%s = 0;" % (p, v))
        out.append("%sdo {" % p)
        c_block(body, ind + 1, out)
        out.append("%s  %s++;" % (p, v))
        out.append("%s} while (%s);" % (p, test))
    elif kind == "for":
        _, v, lo, hi, down, body = s
        if down:
            out.append("%sfor (%s = %s; %s >= %s; %s--) {" % (p, v, c_expr(hi), v, c_expr(lo), v))
        else:
            out.append("%sfor (%s = %s; %s <= %s; %s++) {" % (p, v, c_expr(lo), v, c_expr(hi), v))
        c_block(body, ind + 1, out)
        out.append("%s}" % p)


def c_block(stmts, ind, out):
    for s in stmts:
        c_stmt(s, ind, out)


def c_routine(name, routine):
    """The routine as a C function; compiled with -mregparm=3 it takes a, b, c in eax, edx, ecx."""
    stmts, result = routine
    out = ["int %s(int a, int b, int c) {" % name, "  int w, x, y, i, j, k;"]
    c_block(stmts, 1, out)
    out.append("  return %s;" % c_expr(result))
    out.append("}")
    return out
