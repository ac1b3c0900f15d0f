"""The compilers of the round trip: how a batch of routines becomes an object
file, how the test program reaches the originals, and the listings that
objdump and asm2pas-listing make of the object.
"""
import os
import re
import subprocess

import gen_asm

FPC_FLAGS = {"fpc-O-": ["-O-"], "fpc-O2": ["-O2"]}
# gcc-O2 without a frame pointer: the frameless code of today's programs.
GCC_FLAGS = {"gcc-O0": ["-O0"], "gcc-O1": ["-O1"], "gcc-O2": ["-O2", "-fomit-frame-pointer"]}
# "asm": routines written in assembly (gen_asm), assembled by gcc.
ASM = "asm"
COMPILERS = list(FPC_FLAGS) + list(GCC_FLAGS) + [ASM]
DEFAULT = ["fpc-O-", "fpc-O2", "gcc-O0"]
GCC_COMMON = ["-m32", "-c", "-fno-pic", "-mregparm=3", "-fno-omit-frame-pointer"]


class Toolchain:
    def __init__(self, ppc):
        self.ppc = ppc
        self.rtl = os.path.join(os.path.dirname(ppc), "units", "i386-linux", "rtl")

    def fpc_args(self, extra=()):
        return ["-n", "-Fu" + self.rtl, "-Fu.", "-Xs-", "-l-", "-ve"] + list(extra)


def run(cmd, cwd, **kw):
    return subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, errors="replace", **kw)


def compile_batch(tc, compiler, workdir, unit, routines):
    """Compiles [(name, source lines)] into workdir/unit.o. Returns
    (uses clause, external declarations, error text or None)."""
    if compiler in FPC_FLAGS:
        src = ["unit %s;" % unit, "{$mode objfpc}{$Q-}{$R-}", "interface"]
        src += [lines[0] for _, lines in routines]
        src.append("implementation")
        for _, lines in routines:
            src += lines + [""]
        src.append("end.")
        with open(os.path.join(workdir, unit + ".pas"), "w") as f:
            f.write("\n".join(src) + "\n")
        p = run([tc.ppc] + tc.fpc_args(FPC_FLAGS[compiler]) + ["-Cn", unit + ".pas"], workdir)
        return unit, [], None if p.returncode == 0 else p.stdout[-2000:]
    if compiler == ASM:
        src = [".intel_syntax noprefix", ".text"] + gen_asm.callee_source()
        for _, lines in routines:
            src += lines
        with open(os.path.join(workdir, unit + ".s"), "w") as f:
            f.write("\n".join(src) + "\n")
        p = run(["gcc", "-m32", "-c", unit + ".s", "-o", unit + ".o"], workdir)
        externals = ["{$L %s.o}" % unit] + gen_asm.callee_declarations()
        externals += ["function c_%s(a, b, c: longint): longint; external name '%s';" % (n, n)
                      for n, _ in routines]
        return "", externals, None if p.returncode == 0 else p.stderr[-2000:]
    with open(os.path.join(workdir, unit + ".c"), "w") as f:
        for _, lines in routines:
            f.write("\n".join(lines) + "\n\n")
    p = run(["gcc"] + GCC_COMMON + GCC_FLAGS[compiler] + [unit + ".c", "-o", unit + ".o"],
            workdir)
    externals = ["{$L %s.o}" % unit]
    externals += ["function c_%s(a, b, c: longint): longint; external name '%s';" % (n, n)
                  for n, _ in routines]
    return "", externals, None if p.returncode == 0 else p.stderr[-2000:]


def original_name(compiler, unit, name):
    """How the test program names the compiled original."""
    return unit + "." + name if compiler in FPC_FLAGS else "c_" + name


def listings(listing_tool, workdir, unit, names):
    """Disassembles unit.o and writes one listing per routine: {name: path}."""
    dis = run(["objdump", "-dr", "-M", "intel", unit + ".o"], workdir)
    if dis.returncode != 0:
        return {}, "objdump: " + dis.stderr.strip()
    with open(os.path.join(workdir, unit + ".dis"), "w") as f:
        f.write(dis.stdout)
    outdir = os.path.join(workdir, "lst")
    p = run([listing_tool, "--dir", outdir, unit + ".dis"], workdir)
    if p.returncode != 0:
        return {}, "asm2pas-listing: " + p.stderr.strip()[-500:]
    with open(os.path.join(workdir, "listing-warnings.txt"), "w") as f:
        f.write(p.stderr)
    wanted = {n.upper(): n for n in names}
    found = {}
    for fname in os.listdir(outdir):
        # Free Pascal's symbols read UNIT_$$_NAME$LONGINT...; gcc's the bare name.
        m = re.match(r"^[A-Z0-9_]+?____([A-Z0-9_]+?)_LONGINT_LONGINT_LONGINT__LONGINT\.lst$",
                     fname)
        key = m.group(1) if m else fname[:-4].upper()
        if key in wanted:
            found[wanted[key]] = os.path.join(outdir, fname)
    return found, None
