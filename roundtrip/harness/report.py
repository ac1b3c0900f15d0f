"""The tables of a round-trip run: buckets per compiler, the shapes of the
instructions that stay comment lines, and why back-translations do not
compile. Markdown, so that they can go into the README as they are.
"""
from collections import Counter

from pipeline import BUCKETS, NO_COMPILE, TOOL_ERROR, UNTRANSLATED


def bucket_table(results):
    rows = []
    keys = sorted({(r.compiler, r.group) for r in results},
                  key=lambda k: (k[1] != "generated", k[0]))
    extra = [b for b in sorted({r.bucket for r in results}) if b not in BUCKETS]
    cols = BUCKETS + extra + ["fully translated"]
    rows.append("| compiler | routines | " + " | ".join(cols) + " |")
    rows.append("|---|---:|" + "---:|" * len(cols))
    for compiler, group in keys:
        rs = [r for r in results if r.compiler == compiler and r.group == group]
        count = Counter(r.bucket for r in rs)
        full = sum(1 for r in rs if r.bucket not in (UNTRANSLATED, TOOL_ERROR))
        cells = [str(count.get(b, 0)) for b in BUCKETS + extra]
        cells.append("%d (%.1f %%)" % (full, 100.0 * full / len(rs)))
        name = compiler + (" (hand-written)" if group == "hand" else "")
        rows.append("| %s | %d | %s |" % (name, len(rs), " | ".join(cells)))
    return rows


def anyway_table(results):
    """Routines that do not run as printed (untranslated, or not compiling),
    run with the harness's meanings put in: what their structures do."""
    keys = sorted({(r.compiler, r.group) for r in results},
                  key=lambda k: (k[1] != "generated", k[0]))
    cols = [b for b in BUCKETS if b not in (UNTRANSLATED, TOOL_ERROR)]
    out = ["| compiler | not run | run anyway | " + " | ".join(cols) + " |",
           "|---|---:|---:|" + "---:|" * len(cols)]
    for compiler, group in keys:
        rs = [r for r in results if r.compiler == compiler and r.group == group and
              r.bucket in (UNTRANSLATED, NO_COMPILE)]
        ran = Counter(r.anyway for r in rs if r.anyway)
        name = compiler + (" (hand-written)" if group == "hand" else "")
        out.append("| %s | %d | %d | %s |" % (name, len(rs), sum(ran.values()),
                                              " | ".join(str(ran.get(b, 0)) for b in cols)))
    return out


def pattern_table(results, compiler, limit):
    rs = [r for r in results if r.compiler == compiler]
    lines = Counter(s for r in rs for s in r.real)
    routines = Counter(s for r in rs for s in set(r.real))
    out = ["| instruction shape | comment lines | routines |", "|---|---:|---:|"]
    for shape, n in lines.most_common(limit):
        out.append("| `%s` | %d | %d |" % (shape, n, routines[shape]))
    left = Counter(s for r in rs for s in r.leftovers)
    if left:
        out.append("")
        out.append("Frame leftovers and filler (not counted): " +
                   ", ".join("`%s` %d" % kv for kv in left.most_common()))
    return out


def compile_table(results):
    reasons = Counter((r.compiler, r.reason) for r in results
                      if r.bucket == NO_COMPILE)
    out = ["| compiler | reason | routines |", "|---|---|---:|"]
    for (compiler, reason), n in sorted(reasons.items(), key=lambda kv: (kv[0][0], -kv[1])):
        out.append("| %s | %s | %d |" % (compiler, reason, n))
    return out


def static_table(results):
    """What needs no run: outputs with an empty condition (any bucket), and
    listings that end in zero bytes after the final ret."""
    out = ["| compiler | routines | outputs with an empty or relation-less condition | "
           "listings ending in zero bytes |", "|---|---:|---:|---:|"]
    for compiler in sorted({r.compiler for r in results}):
        rs = [r for r in results if r.compiler == compiler]
        out.append("| %s | %d | %d | %d |" % (compiler, len(rs),
                                               sum(1 for r in rs if r.empty_conditions),
                                               sum(1 for r in rs if r.zero_tail)))
    return out


def full_report(results, extended, command, limit=30):
    out = ["# Round trip" + (" with --extended" if extended else ""), "",
           "Command: `%s`" % command, ""]
    out += bucket_table(results)
    out += ["", "## Routines not run, run anyway", "",
            "Untranslated and not compiling routines, where every comment line for "
            "a real instruction only computes a value (shifts, neg, lea, cdq, movzx, "
            "movsx) and the only unnamed memory is dword frame slots [esp+N] with esp "
            "unchanged: the harness puts in what those lines do, reads the slots as "
            "variables, and runs the rest as asm2pas printed it. The routines keep "
            "their buckets above.", ""] + anyway_table(results)
    out += ["", "## Why back-translations do not compile", ""] + compile_table(results)
    out += ["", "## Seen without running", ""] + static_table(results)
    for compiler in sorted({r.compiler for r in results}):
        out += ["", "## Comment lines for real instructions, %s" % compiler, ""]
        out += pattern_table(results, compiler, limit)
    return out
