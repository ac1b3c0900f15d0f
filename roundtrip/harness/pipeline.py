"""One batch of routines through the whole round trip: compile, disassemble,
list, convert, back-translate, compile the test program, run it, and put
every routine into its bucket.
"""
import os
import shutil
import subprocess

import compilers
from backtrans import Reading, load_wrappers, with_meanings, with_slot_names
from listing import Names, read_listing
from program import Entry, compile_program, confirm_alone, run_program

# Buckets, in the order of the tables.
EQUIVALENT = "equivalent"
DIFFERS = "differs"
HANG = "hang"
LOADS = "load read later"   # fixed by putting consumed register loads back
UNTRANSLATED = "untranslated"
NO_COMPILE = "does not compile"
TOOL_ERROR = "tool error"
BUCKETS = [EQUIVALENT, DIFFERS, HANG, LOADS, UNTRANSLATED, NO_COMPILE, TOOL_ERROR]


class Result:
    def __init__(self, compiler, group, rid):
        self.compiler = compiler
        self.group = group      # "generated" or "hand"
        self.rid = rid
        self.bucket = None
        self.detail = ""
        self.reason = ""        # why the back-translation does not compile
        # What an untranslated or not compiling routine does when the harness
        # puts in the meaning of its comment lines and frame slots (see
        # backtrans.with_meanings): the bucket it would then have.
        self.anyway = None
        self.real = []          # shapes of the untranslated instructions
        self.leftovers = []
        self.listing = None     # its path, in the batch's directory
        self.listing_text = b""
        self.output = ""
        self.source = []
        self.empty_conditions = 0   # header lines with an empty condition text
        self.zero_tail = False      # the listing ends in zero bytes after the ret


class Context:
    def __init__(self, toolchain, tool, listing_tool, workdir, extended, inputs, log):
        self.tc = toolchain
        self.tool = tool
        self.listing_tool = listing_tool
        self.workdir = workdir
        self.extended = extended
        self.inputs = inputs
        self.log = log


def convert(ctx, path):
    cmd = [ctx.tool] + (["--extended"] if ctx.extended else []) + [path]
    p = subprocess.run(cmd, capture_output=True, timeout=60)
    return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")


def process_batch(ctx, compiler, group, unit, routines):
    """routines: [(name, source lines)] in the compiler's language. Returns [Result]."""
    workdir = os.path.join(ctx.workdir, compiler, unit)
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    results = {name: Result(compiler, group, name) for name, _ in routines}
    for name, lines in routines:
        results[name].source = lines

    def fail_all(bucket, detail):
        for r in results.values():
            r.bucket, r.detail = bucket, detail
        return list(results.values())

    uses, externals, err = compilers.compile_batch(ctx.tc, compiler, workdir, unit, routines)
    if err:
        return fail_all("harness", "the routines do not compile: " + err.strip()[-300:])
    paths, err = compilers.listings(ctx.listing_tool, workdir, unit, list(results))
    if err:
        return fail_all(TOOL_ERROR, err)

    main, anyway = [], []
    for name, r in results.items():
        got = read_back(ctx, r, paths.get(name))
        if not got:
            continue
        reading, instrs, names = got
        wrappers = load_wrappers(instrs, names)
        original = compilers.original_name(compiler, unit, name)

        def entry(body, wrappers=wrappers):
            text = "\n".join(body)
            return Entry(name, original, body, [w for w in wrappers if w[0] in text] or None)
        if not reading.real:
            main.append(entry(reading.body))
        body = with_meanings(reading, names)
        if body is not None:
            anyway.append(entry(body, with_slot_names(wrappers)))

    build_and_run(ctx, workdir, main, uses, externals, results, False)
    build_and_run(ctx, workdir, anyway, uses, externals, results, True)
    for r in results.values():
        if r.bucket is None:
            r.bucket, r.detail = "harness", "no result from the test program"
    return list(results.values())


def read_back(ctx, r, listing):
    """Converts the routine's listing and reads the output: (reading, the
    listing's instructions, its names), or None with the routine put in the
    bucket it already has (tool error); untranslated routines get theirs."""
    r.listing = listing
    if not listing:
        r.bucket, r.detail = TOOL_ERROR, "asm2pas-listing wrote no listing"
        return None
    with open(listing, "rb") as f:
        r.listing_text = f.read()
    status, r.output, stderr = convert(ctx, listing)
    with open(listing[:-4] + ".out", "w", newline="") as f:
        f.write(r.output)
    if status != 0:
        r.bucket, r.detail = TOOL_ERROR, "status %d: %s" % (status, stderr.strip())
        return None
    instrs = read_listing(listing)
    names = Names(instrs)
    reading = Reading(r.output, names, instrs)
    if reading.fault:
        r.bucket, r.detail = TOOL_ERROR, reading.fault + (": " + stderr.strip() if stderr else "")
        return None
    r.real, r.leftovers = reading.real, reading.leftovers
    r.empty_conditions = reading.empty_conditions
    last = [l for l in r.listing_text.split(b"\r\n") if l and l[:1] not in b"*|"][-1:]
    r.zero_tail = bool(last) and set(last[0][8:34].strip()) == {ord("0")}
    if reading.real:
        r.bucket, r.detail = UNTRANSLATED, "; ".join(sorted(set(reading.real)))
    return reading, instrs, names


def build_and_run(ctx, workdir, entries, uses, externals, results, anyway):
    """Compiles and runs the back-translations; each verdict goes to its
    routine's bucket or, with `anyway`, to what it does when run anyway."""
    args = ctx.tc.fpc_args()
    pending = entries
    # Ends: the second round holds only entries that compiled alone after
    # failing among the others, and does not look for such entries again.
    for round_no in (1, 2):
        built = compile_program(ctx.tc.ppc, args, workdir, pending, uses, externals,
                                ctx.inputs, ctx.log)
        if built:
            run_built(ctx, workdir, built, results, anyway)
        again = []
        for e in pending:
            if e.failure is None:
                continue
            if round_no == 1 and not e.failure.startswith("harness") and confirm_alone(
                    ctx.tc.ppc, args, workdir, e, uses, externals, ctx.inputs):
                again.append(e)
                continue
            bucket = "harness" if e.failure.startswith("harness") else NO_COMPILE
            verdict(results[e.rid], bucket, "%s: %s" % (e.failure, e.failed_line), anyway,
                    e.failure)
        pending = again
        if not pending:
            break


def verdict(r, bucket, detail, anyway, reason=""):
    """The routine's bucket or, with `anyway`, what it does when run anyway."""
    if anyway:
        r.anyway = bucket
        r.detail += " | runs anyway: %s %s" % (bucket, detail)
    else:
        r.bucket, r.detail, r.reason = bucket, detail, reason


def run_built(ctx, workdir, built, results, anyway):
    found, err = run_program(workdir, timeout=600)
    if err:
        ctx.log("%s: %s" % (workdir, err))
    for e in built:
        r = results[e.rid]
        f = (found or {}).get(e.rid)
        if not f:
            verdict(r, "harness", err or "no result", anyway)
            continue
        kind, a, b, c, o, back = f[:6]
        if kind == "equivalent":
            verdict(r, EQUIVALENT, "", anyway)
            continue
        detail = "%s(%s, %s, %s): original %s, back-translation %s" % (e.rid, a, b, c, o, back)
        if len(f) >= 8 and f[7] == "equivalent":
            verdict(r, LOADS, detail + " (%s; equivalent with the consumed loads put back)" % kind,
                    anyway)
        elif kind == "hang":
            verdict(r, HANG, "%s(%s, %s, %s) does not end" % (e.rid, a, b, c), anyway)
        else:
            verdict(r, DIFFERS, detail + ("" if kind == "differs" else " (%s)" % kind), anyway)
