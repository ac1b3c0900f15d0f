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
            kind, inner = self.rng.choice(["shl", "shr"]), self.expr(counters, depth + 1)
            if inner[0] == "const" and inner[1] < 0:
                # Free Pascal folds a shift of a number below zero at 64 bits,
                # which overflows what it is multiplied with after.
                inner = ("const", -inner[1])
            return ("shift", kind, inner, self.rng.randint(1, 5))
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


# ---- Printing -----------------------------------------------------------

class Syntax:
    """How one language writes the tree's pieces."""

    def __init__(self, ops, logic_ops, rel, urel, logic, assign, inc, dec, if_, else_, end,
                 while_, step, repeat, repeat_end, for_up, for_down):
        self.ops, self.logic_ops = ops, logic_ops
        self.rel, self.urel, self.logic = rel, urel, logic
        self.assign, self.inc, self.dec = assign, inc, dec
        self.if_, self.else_, self.end, self.while_, self.step = if_, else_, end, while_, step
        self.repeat, self.repeat_end, self.for_up, self.for_down = repeat, repeat_end, for_up, for_down

    def expr(self, e):
        if e[0] == "var":
            return e[1]
        if e[0] == "const":
            return str(e[1]) if e[1] >= 0 else "(%d)" % e[1]
        if e[0] == "shift":
            return "(%s %s %d)" % (self.expr(e[2]), self.ops.get(e[1], e[1]), e[3])
        return "(%s %s %s)" % (self.expr(e[2]), self.ops.get(e[1], e[1]), self.expr(e[3]))

    def cond(self, c):
        if c[0] in ("rel", "urel"):
            form = self.rel if c[0] == "rel" else self.urel
            return form % (self.expr(c[2]), self.ops.get(c[1], c[1]), self.expr(c[3]))
        return self.logic % (self.cond(c[1]), self.logic_ops.get(c[0], c[0]), self.cond(c[2]))

    def block(self, stmts, ind, out):
        for s in stmts:
            self.stmt(s, ind, out)

    def stmt(self, s, ind, out):
        p = "  " * ind
        kind = s[0]
        if kind == "assign":
            out.append(p + self.assign % (s[1], self.expr(s[2])))
        elif kind in ("inc", "dec"):
            out.append(p + (self.inc if kind == "inc" else self.dec) % s[1])
        elif kind == "if":
            out.append(p + self.if_ % self.cond(s[1]))
            self.block(s[2], ind + 1, out)
            if s[3]:
                out.append(p + self.else_)
                self.block(s[3], ind + 1, out)
            out.append(p + self.end)
        elif kind in ("while", "repeat"):
            _, v, bound, extra, body = s
            out.append(p + self.assign % (v, "0"))
            going_on = ("rel", "<", ("var", v), ("const", bound))
            if kind == "while":
                test = ("and", going_on, extra) if extra else going_on
                out.append(p + self.while_ % self.cond(test))
            else:
                out.append(p + self.repeat)
            self.block(body, ind + 1, out)
            out.append(p + "  " + self.step % v)
            if kind == "while":
                out.append(p + self.end)
            else:
                # repeat ... until the counter reaches its bound or extra holds.
                stop = ("rel", ">=", ("var", v), ("const", bound))
                out.append(p + self.repeat_end(self, stop, extra))
        elif kind == "for":
            _, v, lo, hi, down, body = s
            form = self.for_down if down else self.for_up
            out.append(p + form.format(v=v, lo=self.expr(lo), hi=self.expr(hi)))
            self.block(body, ind + 1, out)
            out.append(p + self.end)


PASCAL = Syntax(
    ops={}, logic_ops={}, rel="(%s %s %s)", urel="(cardinal(%s) %s cardinal(%s))", logic="(%s %s %s)",
    assign="%s := %s;", inc="inc(%s);", dec="dec(%s);", if_="if %s then begin",
    else_="end else begin", end="end;", while_="while %s do begin", step="inc(%s);",
    repeat="repeat",
    repeat_end=lambda syn, stop, extra: "until %s;" % syn.cond(("or", stop, extra) if extra
                                                              else stop),
    for_up="for {v} := {lo} to {hi} do begin", for_down="for {v} := {hi} downto {lo} do begin")

C = Syntax(
    ops={"and": "&", "or": "|", "xor": "^", "shl": "<<", "shr": ">>", "=": "==", "<>": "!="},
    logic_ops={"and": "&&", "or": "||"}, rel="(%s %s %s)", urel="((unsigned)%s %s (unsigned)%s)", logic="(%s %s %s)",
    assign="%s = %s;", inc="%s++;", dec="%s--;", if_="if %s {", else_="} else {", end="}",
    while_="while %s {", step="%s++;", repeat="do {",
    repeat_end=lambda syn, stop, extra: "} while %s;" % syn.cond(
        negate(("or", stop, extra) if extra else stop)),
    for_up="for ({v} = {lo}; {v} <= {hi}; {v}++) {{",
    for_down="for ({v} = {hi}; {v} >= {lo}; {v}--) {{")


def pascal_routine(name, routine):
    """The routine as a Pascal function (register convention: a, b, c in eax, edx, ecx)."""
    stmts, result = routine
    out = ["function %s(a, b, c: longint): longint;" % name,
           "var w, x, y, i, j, k: longint;", "begin"]
    PASCAL.block(stmts, 1, out)
    out.append("  result := %s;" % PASCAL.expr(result))
    out.append("end;")
    return out


def c_routine(name, routine):
    """The routine as a C function; compiled with -mregparm=3 it takes a, b, c in eax, edx, ecx."""
    stmts, result = routine
    out = ["int %s(int a, int b, int c) {" % name, "  int w, x, y, i, j, k;"]
    C.block(stmts, 1, out)
    out.append("  return %s;" % C.expr(result))
    out.append("}")
    return out
