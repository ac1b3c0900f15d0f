"""One-step reductions of a generated routine, for minimising a failing one:
drop a statement, keep one branch or the body of a structure, keep one side
of an expression or a condition, lower a loop bound. Every reduction keeps
the routine well-defined (no local read before it is set).
"""
from gen import LOCALS, PARAMS


def size(node):
    if isinstance(node, (tuple, list)):
        return 1 + sum(size(x) for x in node)
    return 0 if node is None else 1


def reads(node, out):
    """Every variable the node reads."""
    if isinstance(node, tuple) and len(node) == 2 and node[0] == "var":
        out.add(node[1])
    elif isinstance(node, (tuple, list)):
        for x in node:
            reads(x, out)
    return out


def well_defined(routine):
    """No local is read before a top-level assignment sets it; counters only
    inside their loops."""
    stmts, result = routine
    assigned = set(PARAMS)
    for s in stmts:
        if s[0] == "assign":
            if not reads(s[2], set()) <= assigned:
                return False
            assigned.add(s[1])
        elif not in_scope(s, assigned, []):
            return False
    return reads(result, set()) <= assigned


def in_scope(s, assigned, counters):
    kind = s[0]
    if kind in ("assign", "inc", "dec"):
        target_ok = kind == "assign" or s[1] in assigned
        return target_ok and reads(s[1:], set()) <= assigned | set(counters)
    if kind == "if":
        ok = reads(s[1], set()) <= assigned | set(counters)
        return ok and all(in_scope(x, assigned, counters) for x in s[2] + (s[3] or []))
    inner = counters + [s[1]]
    if kind in ("while", "repeat"):
        ok = reads(s[3], set()) <= assigned | set(inner) if s[3] else True
        return ok and all(in_scope(x, assigned, inner) for x in s[4])
    ok = reads((s[2], s[3]), set()) <= assigned | set(counters)
    return ok and all(in_scope(x, assigned, inner) for x in s[5])


def expr_variants(e):
    if e[0] == "var":
        yield ("const", 1)
    elif e[0] == "const":
        if e[1] not in (0, 1):
            yield ("const", 1)
    elif e[0] == "shift":
        yield e[2]
        for v in expr_variants(e[2]):
            yield (e[0], e[1], v, e[3])
    else:
        yield e[2]
        yield e[3]
        for v in expr_variants(e[2]):
            yield (e[0], e[1], v, e[3])
        for v in expr_variants(e[3]):
            yield (e[0], e[1], e[2], v)


def cond_variants(c):
    if c[0] == "urel":
        yield ("rel",) + c[1:]
        if c[1] not in ("<", "="):
            yield ("urel", "<", c[2], c[3])
    elif c[0] == "rel":
        for v in expr_variants(c[2]):
            if v[0] != "const":
                yield (c[0], c[1], v, c[3])
        for v in expr_variants(c[3]):
            yield (c[0], c[1], c[2], v)
        if c[1] not in ("<", "="):
            yield ("rel", "<", c[2], c[3])
    else:
        yield c[1]
        yield c[2]
        for v in cond_variants(c[1]):
            yield (c[0], v, c[2])
        for v in cond_variants(c[2]):
            yield (c[0], c[1], v)


def stmt_variants(s):
    """(replacement list) for one statement: reductions of it in place."""
    kind = s[0]
    if kind == "assign":
        for v in expr_variants(s[2]):
            yield [("assign", s[1], v)]
    elif kind == "if":
        yield list(s[2])
        if s[3]:
            yield list(s[3])
            yield [("if", s[1], s[2], None)]
        for v in cond_variants(s[1]):
            yield [("if", v, s[2], s[3])]
        for v in block_variants(s[2]):
            if v:
                yield [("if", s[1], v, s[3])]
        for v in block_variants(s[3] or []):
            if v:
                yield [("if", s[1], s[2], v)]
    elif kind in ("while", "repeat"):
        _, counter, bound, extra, body = s
        yield list(body)
        if bound > 1:
            yield [(kind, counter, 1, extra, body)]
        if extra:
            yield [(kind, counter, bound, None, body)]
            for v in cond_variants(extra):
                yield [(kind, counter, bound, v, body)]
        for v in block_variants(body):
            if v:
                yield [(kind, counter, bound, extra, v)]
    elif kind == "for":
        _, counter, lo, hi, down, body = s
        yield list(body)
        if lo != ("const", 0):
            yield [(kind, counter, ("const", 0), hi, down, body)]
        if hi != ("const", 1):
            yield [(kind, counter, lo, ("const", 1), down, body)]
        if down:
            yield [(kind, counter, lo, hi, False, body)]
        for v in block_variants(body):
            if v:
                yield [(kind, counter, lo, hi, down, v)]


def block_variants(stmts):
    for n, s in enumerate(stmts):
        yield stmts[:n] + stmts[n + 1:]
        for repl in stmt_variants(s):
            yield stmts[:n] + repl + stmts[n + 1:]


def variants(routine):
    """Every well-defined one-step reduction, smallest first, no repeats."""
    stmts, result = routine
    seen, out = set(), []
    candidates = [(v, result) for v in block_variants(stmts)]
    if result[0] != "var":
        candidates += [(stmts, ("var", LOCALS[0]))]
        candidates += [(stmts, v) for v in expr_variants(result)]
    for body, res in candidates:
        r = (body, res)
        key = repr(r)
        if key not in seen and well_defined(r):
            seen.add(key)
            out.append(r)
    out.sort(key=size)
    return out
