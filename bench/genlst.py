#!/usr/bin/env python3
"""Generates large listings for the benchmarks, and checks the tool on them.

Four shapes, each at any instruction count (the benchmarks use 1000, 5000
and 10000):

  straight    straight-line statements over many variables (up to 2000)
  nested      densely nested if/else, for and while
  tryfinally  many try/finally constructs, nested, each with its own end
  mix         all of the above, with longer statement runs and comments

Every listing is a whole routine: frame set-up, saved registers, the body,
their restoring and ret, exactly the requested number of instruction lines,
in the fixed-column format with CR LF. Next to NAME.lst the generator
writes NAME.expect.json: how many lines of each kind the conversion must
print (if headers, "and (" and "or (" lines, for/while headers, try, finally, the
closing lines, comments, statements), the deepest indentation level and the
number of distinct variable names. `--check TOOL` runs the tool once on
every listing and compares its output against those counts, so a listing
that stops exercising a recogniser is noticed.

    python3 bench/genlst.py --out DIR [--sizes 1000,5000,10000]
                            [--shapes straight,nested,...] [--check TOOL]
"""
import argparse
import json
import os
import random
import re
import subprocess
import sys
from collections import Counter

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tests", "support"))
import listing  # noqa: E402

SHAPES = ("straight", "nested", "tryfinally", "mix")
SIZES = (1000, 5000, 10000)
BASE_ADDRESS = 0x0045A3C0
VARS_CAPACITY = 2000
OUTPUT_LIMIT = 10000

# Registers that the prologue saves; each is a register variable.
SAVED = ("ebx", "esi", "edi")
SCRATCH = ("eax", "edx", "ecx")
JCC = ("jz", "je", "jnz", "jne", "jl", "jb", "jnge", "jnae", "jg", "ja", "jnbe",
       "jnle", "jng", "jna", "jle", "jbe", "jnl", "jnb", "jae", "jge")
# Call targets; none holds a block word that would move the indentation.
CALLEES = ("@LStrAsg", "@GetMem", "@FreeMem", "@LStrCmp", "@IntToStr", "@LStrLen",
           "@DynArraySetLength", "@AsgIntf", "@WStrClr", "TList.Add")
LABEL_REF = re.compile(r"\{L(\d+)\}")


class VarPool:
    """A fixed set of distinct variable operands, handed out so that every one
    of them is used before any is used twice."""

    def __init__(self, rng, count):
        self.rng = rng
        self.names = []
        for k in range(count):
            kind = k % 5
            if kind < 3:
                self.names.append("[ebp-$%X]" % (4 * (k + 1)))
            elif kind == 3:
                self.names.append("[$%08X]" % (0x00640000 + 4 * k))
            else:
                self.names.append("[ebp+$%X]" % (8 + 4 * k))
        self.next = 0
        self.used = set()

    def pick(self):
        if not self.names:
            return "[ebp-$04]"
        if self.next < len(self.names):
            name = self.names[self.next]
            self.next += 1
        else:
            name = self.rng.choice(self.names)
        self.used.add(name)
        return name

    def operand(self):
        """A variable with a size keyword now and then; the keyword does not
        change which variable it is."""
        name = self.pick()
        r = self.rng.random()
        if r < 0.5:
            return "dword ptr " + name
        if r < 0.6:
            return "byte ptr " + name
        return name


class Listing:
    def __init__(self, rng, var_count, run_lengths, comment_rate):
        self.rng = rng
        self.vars = VarPool(rng, var_count)
        self.ins = []      # (mnemonic, operand text with {Ln} label references)
        self.labels = {}   # label number -> index of the instruction it marks
        self.nlabels = 0
        self.expect = Counter()
        self.max_level = 1
        self.regvars = set()  # register variables used in the body
        self.run_lengths = run_lengths
        self.comment_rate = comment_rate
        self.small_share = 0.0  # how often a structure gets a minimal budget

    # -- plumbing -------------------------------------------------------
    def add(self, mnemonic, operands=""):
        self.ins.append((mnemonic, operands))

    def label(self):
        self.nlabels += 1
        return self.nlabels

    def place(self, label):
        self.labels[label] = len(self.ins)

    def reg(self, pool=SCRATCH + SAVED):
        r = self.rng.choice(pool)
        if r in SAVED:
            self.regvars.add(r)
        return r

    def value(self, avoid=()):
        """A right-hand operand: a variable, an immediate or a register (not
        one of `avoid`)."""
        r = self.rng.random()
        if r < 0.6:
            return self.vars.operand()
        if r < 0.85:
            return "$%02X" % self.rng.randrange(1, 256)
        return self.reg([x for x in SCRATCH + SAVED if x not in avoid])

    # -- statement runs -------------------------------------------------
    def store(self):
        self.add("mov", "%s, %s" % (self.vars.operand(), self.rng.choice(SCRATCH)))
        self.expect["statement"] += 1

    def run(self, size, level):
        """Exactly `size` instructions of statements (and unclaimed
        instructions). A run starts and ends with a store to memory, which
        neither starts a condition nor completes a loop layout with what
        stands around it."""
        assert size >= 1
        self.max_level = max(self.max_level, level)
        self.store()
        left = size - 1
        # Ends: every pass adds one or two instructions and `left` shrinks
        # by as many; the last one is always a store.
        while left > 0:
            if left == 1:
                self.store()
                left -= 1
                continue
            r = self.rng.random()
            if r < self.comment_rate:
                self.unclaimed()
                left -= 1
            elif r < self.comment_rate + 0.08 and left >= 3:
                self.add("call", self.rng.choice(CALLEES))
                self.add("mov", "%s, eax" % self.vars.operand())
                self.expect["statement"] += 1
                left -= 2
            else:
                self.statement()
                left -= 1

    def unclaimed(self):
        kind = self.rng.randrange(5)
        if kind == 0:
            self.add("shl", "eax, $%02X" % self.rng.randrange(1, 8))
        elif kind == 1:
            self.add("sar", "edx, $1F")
        elif kind == 2:
            self.add("cdq")
        elif kind == 3:
            self.add("movzx", "eax, %s" % self.vars.operand())
        else:
            self.add("neg", self.rng.choice(SCRATCH))
        self.expect["comment"] += 1

    def statement(self):
        kind = self.rng.randrange(13)
        s = self.rng.choice(SCRATCH)
        if kind == 0:
            self.add("mov", "%s, %s" % (self.vars.operand(), s))
        elif kind == 1:
            self.add("mov", "%s, %s" % (s, self.vars.operand()))
        elif kind == 2:
            self.add("mov", "%s, $%X" % (self.reg(), self.rng.randrange(0, 0x10000)))
        elif kind == 3:
            self.add("add", "%s, %s" % (self.reg(), self.value()))
        elif kind == 4:
            self.add("sub", "%s, $%02X" % (self.vars.operand(), self.rng.randrange(1, 64)))
        elif kind == 5:
            self.add("and", "%s, $%02X" % (s, self.rng.randrange(1, 256)))
        elif kind == 6:
            self.add("or", "%s, %s" % (s, self.vars.operand()))
        elif kind == 7:
            a, b = self.rng.sample(SCRATCH, 2)
            self.add("xor", "%s, %s" % (a, b))
        elif kind == 8:
            if self.rng.random() < 0.5:
                self.add("imul", "%s, %s" % (s, self.vars.operand()))
            else:
                self.add("imul", "%s, %s, $%02X" % (s, self.vars.operand(),
                                                    self.rng.randrange(2, 64)))
        elif kind == 9:
            self.add("inc", self.vars.operand())
        elif kind == 10:
            self.add("dec", self.vars.operand())
        elif kind == 11:
            self.add("not", s)
        else:
            self.add("lea", "eax, [%s+%s*4+$%02X]" % (self.rng.choice(("edx", "ecx")),
                                                     self.rng.choice(("eax", "ecx", "edx")),
                                                     self.rng.randrange(0, 64)))
        self.expect["statement"] += 1

    # -- conditions -----------------------------------------------------
    def cond_form(self, room):
        """Picks a condition layout that fits `room` instructions; gives its
        size. Layouts: cmp/jcc (2), test or or against zero (2), load then
        compare (3), load, add/sub chain, compare (5)."""
        forms = [("cmp", 2), ("zero", 2)]
        if room >= 3:
            forms.append(("load", 3))
        if room >= 5:
            forms.append(("chain", 5))
        return self.rng.choice(forms)

    def cond(self, form, target, jcc=None):
        if form == "cmp":
            self.add("cmp", "%s, %s" % (self.reg(), self.value()))
            self.add(jcc or self.rng.choice(JCC), "{L%d}" % target)
        elif form == "zero":
            r = self.reg()
            self.add(self.rng.choice(("test", "or")), "%s, %s" % (r, r))
            self.add(self.rng.choice(("jz", "jnz")), "{L%d}" % target)
        elif form == "load":
            # The loaded register compared with itself would read the load:
            # that is no load-then-compare condition.
            self.add("mov", "edx, %s" % self.vars.operand())
            self.add("cmp", "edx, %s" % self.value(avoid=("edx",)))
            self.add(jcc or self.rng.choice(JCC), "{L%d}" % target)
        else:
            self.add("mov", "eax, %s" % self.vars.operand())
            self.add("add", "eax, %s" % self.vars.operand())
            self.add("sub", "eax, $%02X" % self.rng.randrange(1, 64))
            if self.rng.random() < 0.5:
                self.add("cmp", "eax, %s" % self.vars.operand())
            else:
                self.add("cmp", "%s, eax" % self.vars.operand())
            self.add(jcc or self.rng.choice(JCC), "{L%d}" % target)

    def conds(self, count, room):
        """Up to `count` condition layouts whose sizes add up to at most
        `room`; gives their forms."""
        forms = []
        # Ends: at most `count` passes.
        while len(forms) < count:
            if room < 2:
                break
            form, size = self.cond_form(room)
            forms.append(form)
            room -= size
        return forms

    # -- structures -----------------------------------------------------
    MIN_SIZE = {"if": 3, "ifelse": 5, "for": 8, "while": 4, "try": 16}

    def structure(self, kind, size, level):
        before = len(self.ins)
        getattr(self, "gen_" + kind)(size, level)
        assert len(self.ins) - before == size, (kind, size, len(self.ins) - before)

    @staticmethod
    def sizes(total, n):
        return [total // n + (1 if k < total % n else 0) for k in range(n)]

    def gen_if(self, size, level):
        forms = self.conds(self.rng.choice((1, 1, 2, 3)), size - 1)
        overhead = sum({"cmp": 2, "zero": 2, "load": 3, "chain": 5}[f] for f in forms)
        end = self.label()
        if len(forms) == 1:
            self.cond(forms[0], end)
        else:
            # The first condition jumps into the then part, the others past it.
            then = self.label()
            self.cond(forms[0], then)
            for f in forms[1:]:
                self.cond(f, end)
            self.place(then)
            self.expect["join"] += len(forms) - 1
        self.block(size - overhead, level + 1)
        self.place(end)
        self.expect["if"] += 1
        self.expect["end_if"] += 1

    def gen_ifelse(self, size, level):
        forms = self.conds(self.rng.choice((1, 1, 2)), size - 3)
        overhead = sum({"cmp": 2, "zero": 2, "load": 3, "chain": 5}[f] for f in forms) + 1
        else_ = self.label()
        end = self.label()
        if len(forms) == 1:
            self.cond(forms[0], else_)
        else:
            then = self.label()
            self.cond(forms[0], then)
            for f in forms[1:]:
                self.cond(f, else_)
            self.place(then)
            self.expect["join"] += len(forms) - 1
        then_size, else_size = self.sizes(size - overhead, 2)
        self.block(then_size, level + 1)
        self.add("jmp", "{L%d}" % end)
        self.place(else_)
        self.block(else_size, level + 1)
        self.place(end)
        self.expect["if"] += 1
        self.expect["else"] += 1
        self.expect["end_if"] += 1

    def gen_for(self, size, level):
        layout = self.rng.randrange(4) if size >= 8 else self.rng.randrange(2)
        exit_ = self.label()
        top = self.label()
        if layout < 2:
            # mov c, END; sub c, START; jl/jnle EXIT; body; dec/inc c; jnz TOP
            c = self.rng.choice(("ecx", "esi", "edi"))
            if c in SAVED:
                self.regvars.add(c)
            self.add("mov", "%s, %s" % (c, self.value()))
            self.add("sub", "%s, %s" % (c, self.value()))
            self.add("jl" if layout == 0 else "jnle", "{L%d}" % exit_)
            self.place(top)
            self.block(size - 5, level + 1)
            self.add("dec" if layout == 0 else "inc", c)
        else:
            # mov eax, START; mov edx, END; sub edx, eax; jl/jnle EXIT;
            # inc/dec edx; body; dec/inc edx; jnz TOP
            self.add("mov", "eax, %s" % self.value())
            self.add("mov", "edx, %s" % self.value())
            self.add("sub", "edx, eax")
            self.add("jl" if layout == 2 else "jnle", "{L%d}" % exit_)
            self.add("inc" if layout == 2 else "dec", "edx")
            self.place(top)
            self.block(size - 7, level + 1)
            self.add("dec" if layout == 2 else "inc", "edx")
        self.add("jnz", "{L%d}" % top)
        self.place(exit_)
        self.expect["for_down" if layout % 2 else "for_to"] += 1
        self.expect["end_for"] += 1

    def gen_while(self, size, level):
        forms = self.conds(self.rng.choice((1, 1, 2, 3)), min(size - 2, 15))
        overhead = sum({"cmp": 2, "zero": 2, "load": 3, "chain": 5}[f] for f in forms) + 1
        test = self.label()
        top = self.label()
        after = self.label()
        # jmp TEST; TOP: body; TEST: conditions leaving the loop, then the
        # one going back to TOP; AFTER:
        self.add("jmp", "{L%d}" % test)
        self.place(top)
        self.block(size - overhead, level + 1)
        self.place(test)
        for f in forms[:-1]:
            self.cond(f, after)
        self.cond(forms[-1], top)
        self.place(after)
        self.expect["while"] += 1
        self.expect["end_while"] += 1

    def gen_try(self, size, level):
        handler = self.label()
        fin = self.label()
        end = self.label()
        protected, final = self.sizes(size - 14, 2)
        self.add("xor", "eax, eax")
        self.add("push", "ebp")
        self.add("push", "${L%d}" % handler)
        self.add("push", "dword ptr fs:[eax]")
        self.add("mov", "fs:[eax], esp")
        self.block(protected, level + 1)
        self.add("xor", "eax, eax")
        self.add("pop", "edx")
        self.add("pop", "ecx")
        self.add("pop", "ecx")
        self.add("mov", "fs:[eax], edx")
        self.add("push", "${L%d}" % end)
        self.place(fin)
        self.block(final, level + 1)
        self.add("ret")
        self.place(handler)
        self.add("jmp", "%08X" % 0x00403A2C)  # the run-time library's handler
        self.add("jmp", "{L%d}" % fin)
        self.place(end)
        self.expect["try"] += 1
        self.expect["finally"] += 1
        self.expect["end"] += 1

    def block(self, budget, level, kinds=None, max_level=None):
        """Exactly `budget` instructions: a statement run, then structures
        each followed by a run. Structures take large shares of the budget,
        so they nest until the shares get small."""
        kinds = kinds or self.kinds
        max_level = max_level or self.depth
        fits = [k for k in kinds if self.MIN_SIZE[k] + 2 <= budget - 1]
        if level >= max_level or not fits:
            self.run(budget, level)
            return
        lo, hi = self.run_lengths
        lead = min(self.rng.randint(lo, hi), budget - 1)
        self.run(lead, level)
        budget -= lead
        # Ends: every pass places a structure and a run of at least one
        # instruction each, and the budget shrinks by both.
        while True:
            fits = [k for k in kinds if self.MIN_SIZE[k] + 1 <= budget]
            if not fits:
                self.run(budget, level)
                return
            kind = self.rng.choice(fits)
            room = budget - 1
            if self.rng.random() < self.small_share:
                # A structure with small bodies: many of them side by side.
                share = self.MIN_SIZE[kind] + self.rng.randrange(4)
            else:
                share = self.rng.randint(max(self.MIN_SIZE[kind], room // 3),
                                         max(self.MIN_SIZE[kind], room * 2 // 3))
            share = min(share, room)
            self.structure(kind, share, level)
            budget -= share
            tail = min(self.rng.randint(lo, hi), budget)
            if budget - tail < min(self.MIN_SIZE[k] for k in kinds) + 1:
                tail = budget
            self.run(tail, level)
            budget -= tail
            if budget == 0:
                return

    # -- the whole routine ----------------------------------------------
    def routine(self, total, body):
        self.add("push", "ebp")
        self.add("mov", "ebp, esp")
        self.add("add", "esp, -$%X" % (4 * max(2, len(self.vars.names))))
        for r in SAVED:
            self.add("push", r)
        body(total - 12)
        for r in reversed(SAVED):
            self.add("pop", r)
        self.add("mov", "esp, ebp")
        self.add("pop", "ebp")
        self.add("ret")
        assert len(self.ins) == total, (len(self.ins), total)

    def render(self):
        """The fixed-column text: address, instruction bytes, mnemonic from
        column 35, CR LF."""
        addresses = []
        address = BASE_ADDRESS
        lengths = []
        for mnemonic, operands in self.ins:
            if mnemonic.startswith("j"):
                n = 2 if self.rng.random() < 0.7 else 6
            elif mnemonic in ("push", "pop", "ret", "cdq"):
                n = 1 if "[" not in operands and "$" not in operands else 5
            else:
                n = self.rng.randint(2, 6)
            addresses.append(address)
            lengths.append(n)
            address += n
        end_address = address
        out = []
        for (mnemonic, operands), address, n in zip(self.ins, addresses, lengths):
            def target(m):
                k = self.labels[int(m.group(1))]
                return "%08X" % (addresses[k] if k < len(addresses) else end_address)
            operands = LABEL_REF.sub(target, operands)
            code = "".join("%02X" % self.rng.randrange(256) for _ in range(n))
            out.append(listing.line(address, mnemonic + (" " + operands if operands else ""),
                                    code))
        return listing.data(out)


def generate(shape, size):
    """Gives (listing bytes, expected counts) for one shape and size."""
    rng = random.Random("%s-%d" % (shape, size))
    if shape == "straight":
        # 2000 distinct variables at 10000 instructions (the table's
        # capacity, with the three saved registers), proportionally fewer
        # below.
        lst = Listing(rng, min(VARS_CAPACITY, size // 5) - len(SAVED), (1, 1), 0.05)
        lst.kinds, lst.depth = (), 1
        lst.routine(size, lambda n: lst.run(n, 1))
    elif shape == "nested":
        lst = Listing(rng, size // 10, (1, 2), 0.0)
        lst.kinds, lst.depth = ("if", "ifelse", "for", "while"), 40
        lst.routine(size, lambda n: lst.block(n, 1))
    elif shape == "tryfinally":
        lst = Listing(rng, size // 20, (1, 1), 0.0)
        lst.kinds, lst.depth = ("try",), 12
        lst.small_share = 0.9
        lst.routine(size, lambda n: lst.block(n, 1))
    elif shape == "mix":
        lst = Listing(rng, size // 8, (2, 10), 0.1)
        lst.kinds, lst.depth = ("if", "ifelse", "for", "while", "try"), 10
        lst.routine(size, lambda n: lst.block(n, 1))
    else:
        raise ValueError(shape)
    expect = dict(lst.expect)
    expect["begin"] = 1
    expect["end"] = expect.get("end", 0) + 1  # the routine's own end;
    expect = {k: v for k, v in sorted(expect.items()) if v}
    names = len(lst.vars.used) + len(lst.regvars)
    return lst.render(), {"lines": expect, "max_level": lst.max_level, "names": names}


def classify(line):
    if line.startswith("//"):
        return "comment"
    if line == "begin":
        return "begin"
    if line == "end;":
        return "end"
    if line == "try":
        return "try"
    if line == "finally":
        return "finally"
    if line.startswith("if "):
        return "if"
    if line.startswith("and (") or line.startswith("or ("):
        return "join"  # a further condition of an if
    if line == "end else begin":
        return "else"
    if line == "end; { if }":
        return "end_if"
    if line.startswith("for ") and line.endswith(" do begin"):
        return "for_down" if " downto " in line else "for_to"
    if line == "end; { for }":
        return "end_for"
    if line.startswith("while ") and line.endswith(" do begin"):
        return "while"
    if line == "end; { while }":
        return "end_while"
    return "statement"


def check(tool, path, expect):
    """Runs the tool once on a listing; gives a list of faults (empty when the
    output has every expected structure)."""
    proc = subprocess.run([tool, path], capture_output=True)
    faults = []
    if proc.returncode != 0:
        faults.append("status %d" % proc.returncode)
    if proc.stderr:
        faults.append("stderr: %s" % proc.stderr.decode("latin-1").strip())
    text = proc.stdout.decode("latin-1")
    if not text.endswith("\r\n"):
        faults.append("output does not end with CR LF")
    lines = text.split("\r\n")[:-1]
    if len(lines) > OUTPUT_LIMIT:
        faults.append("%d output lines, more than %d" % (len(lines), OUTPUT_LIMIT))
    counts = Counter()
    levels = []
    for line in lines:
        stripped = line.lstrip(" ")
        counts[classify(stripped)] += 1
        spaces = len(line) - len(stripped)
        if spaces % 3:
            faults.append("indentation of %d spaces: %r" % (spaces, line))
        levels.append(spaces // 3)
    got = {k: v for k, v in sorted(counts.items())}
    if got != expect["lines"]:
        faults.append("line kinds %s, expected %s" % (got, expect["lines"]))
    if levels and max(levels) != expect["max_level"]:
        faults.append("deepest level %d, expected %d" % (max(levels), expect["max_level"]))
    names = set(re.findall(r"\b(?:Local|Global)_[0-9A-F]{4,}\b", text))
    if len(names) != expect["names"]:
        faults.append("%d distinct variable names, expected %d" % (len(names), expect["names"]))
    return faults, len(lines)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out", required=True, help="directory for the listings")
    ap.add_argument("--sizes", default=",".join(map(str, SIZES)))
    ap.add_argument("--shapes", default=",".join(SHAPES))
    ap.add_argument("--check", metavar="TOOL", help="run TOOL on each listing and check it")
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    failed = False
    for shape in args.shapes.split(","):
        for size in (int(s) for s in args.sizes.split(",")):
            data, expect = generate(shape, size)
            name = os.path.join(args.out, "%s-%d" % (shape, size))
            with open(name + ".lst", "wb") as f:
                f.write(data)
            with open(name + ".expect.json", "w") as f:
                json.dump(expect, f, indent=1, sort_keys=True)
            if args.check:
                faults, nlines = check(args.check, name + ".lst", expect)
                summary = " ".join("%s=%d" % kv for kv in expect["lines"].items())
                print("%-18s %5d lines, level %2d, %4d names: %s" %
                      (os.path.basename(name), nlines, expect["max_level"],
                       expect["names"], "FAIL" if faults else "ok"))
                if faults:
                    failed = True
                    for f in faults:
                        print("    " + f)
                else:
                    print("    " + summary)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
