"""What a round-trip run and a minimisation share: the toolchain, the tools
under test, the inputs every routine runs on.
"""
import os
import random
import shutil
import subprocess
import sys

import compilers
import pipeline

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EDGES = [0, 1, -1, 2, 7, 100, 2147483647, -2147483648]


def log(msg):
    sys.stderr.write(msg + "\n")


def inputs(seed, count=200):
    """Every triple of the edge values, then seeded random ones of all sizes."""
    rng = random.Random("inputs:%d" % seed)
    out = [(a, b, c) for a in EDGES for b in EDGES for c in EDGES]

    def value():
        r = rng.random()
        if r < 0.4:
            return rng.randint(-20, 20)
        if r < 0.7:
            return rng.randint(-5000, 5000)
        return rng.randint(-2 ** 31, 2 ** 31 - 1)
    out += [(value(), value(), value()) for _ in range(count)]
    return out


def toolchain():
    p = subprocess.run([os.path.join(ROOT, "scripts", "toolchain"), "fpc"],
                       capture_output=True, text=True)
    if p.returncode != 0:
        sys.stderr.write(p.stderr)
        print("roundtrip: skipped: the i386 Free Pascal compiler is not available")
        sys.exit(77 if p.returncode == 77 else 1)
    if not shutil.which("objdump") or not shutil.which("gcc"):
        print("roundtrip: skipped: objdump and gcc are needed")
        sys.exit(77)
    return compilers.Toolchain(p.stdout.strip())


def check_extended(tool, work):
    """The tool must know --extended, or the run would measure nothing."""
    probe = os.path.join(work, "probe.lst")
    with open(probe, "w", newline="") as f:
        f.write("00000000" + " " * 26 + "ret\r\n")
    p = subprocess.run([tool, "--extended", probe], capture_output=True)
    if not p.stdout.startswith(b"begin"):
        sys.exit("roundtrip: %s does not take --extended (%s)" % (
            tool, p.stderr.decode(errors="replace").strip()))


def context(build, work, extended, seed, log):
    """The pipeline's context for the tools of BUILD, or exits: 77 without
    the compilers (the test-suite's skip code), 1 without a built tool."""
    build = os.path.abspath(build)  # the tools run in the batches' own folders
    tool = os.path.join(build, "asm2pas")
    listing_tool = os.path.join(build, "tools", "listing", "asm2pas-listing")
    for t in (tool, listing_tool):
        if not os.access(t, os.X_OK):
            sys.exit("roundtrip: %s is missing: build first" % t)
    tc = toolchain()
    os.makedirs(work, exist_ok=True)
    if extended:
        check_extended(tool, work)
    return pipeline.Context(tc, tool, listing_tool, work, extended, inputs(seed), log)
