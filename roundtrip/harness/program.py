"""The Free Pascal test program of one batch: the original routines (from
the compiled unit or the gcc object) and their back-translations, run on the
same inputs. Back-translations that do not compile are found and left out.
"""
import os
import re
import subprocess

from backtrans import pascal_function

HANG_STEPS = 2000000  # loop turns of one call before it counts as a hang

PRELUDE = """{$mode objfpc}{$Q-}{$R-}{$H-}{$B-}{$goto on}
type TFn = function(a, b, c: longint): longint;
var G_steps: longint; G_hang, G_fault: boolean;
function Guard: boolean;
begin
  inc(G_steps);
  if G_steps > %d then G_hang := true;
  Guard := G_hang;
end;
function SDiv(x, y: longint): longint;
begin
  if (y = 0) or ((y = -1) and (x = longint($80000000))) then begin
    G_fault := true;
    SDiv := 0;
  end else
    SDiv := x div y;
end;
function Ld(var r: longint; v: longint): longint;
begin
  r := v;
  Ld := v;
end;
""" % HANG_STEPS

CHECK = """
function Compare(orig, back: TFn; out n, o, r: longint): longint;
var i: longint;
begin
  for i := 0 to NIN - 1 do begin
    o := orig(INA[i], INB[i], INC[i]);
    G_steps := 0; G_hang := false; G_fault := false;
    r := back(INA[i], INB[i], INC[i]);
    n := i;
    if G_hang then exit(2);
    if G_fault then exit(3);
    if o <> r then exit(1);
  end;
  exit(0);
end;
procedure Check(const id: shortstring; orig, back, variant: TFn);
const Words: array[0..3] of shortstring = ('equivalent', 'differs', 'hang', 'divides-by-zero');
var n, o, r, v, vn, vo, vr: longint;
begin
  v := Compare(orig, back, n, o, r);
  write('RESULT ', id, ' ', Words[v], ' ', INA[n], ' ', INB[n], ' ', INC[n], ' ', o, ' ', r);
  if (v <> 0) and (variant <> nil) then begin
    vn := 0; vo := 0; vr := 0;
    write(' loads-put-back ', Words[Compare(orig, variant, vn, vo, vr)]);
  end;
  writeln;
end;
"""


class Entry:
    """One routine in the program: its original's Pascal name and back-translations."""

    def __init__(self, rid, original, body, wrappers):
        self.rid = rid
        self.original = original
        self.body = body
        self.wrappers = wrappers   # None: no consumed load to put back
        self.failure = None        # why its back-translation does not compile
        self.failed_line = None


def build_source(entries, uses, externals, inputs):
    """The program text and, per line number, the entry and whether the line
    belongs to the variant with the loads put back."""
    prelude = PRELUDE.splitlines()
    out = ["program rtcheck;", prelude[0]] + (["uses %s;" % uses] if uses else [])
    out += prelude[1:] + externals
    owner = {}
    for e in entries:
        for variant in ([False, True] if e.wrappers else [False]):
            fname = ("l_" if variant else "b_") + e.rid
            head, lines, tail = pascal_function(fname, e.body, e.wrappers if variant else None)
            start = len(out) + 1
            out += head + lines + tail
            # Ends: one entry per line of this function.
            for n in range(start, len(out) + 1):
                owner[n] = (e, variant, n - start - len(head))
    out.append("const NIN = %d;" % len(inputs))
    for k, name in enumerate(["INA", "INB", "INC"]):
        values = ", ".join(str(t[k]) for t in inputs)
        out.append("  %s: array[0..NIN - 1] of longint = (%s);" % (name, values))
    out += CHECK.splitlines()
    out.append("begin")
    for e in entries:
        out.append("  Check('%s', @%s, @b_%s, %s);" % (e.rid, e.original, e.rid,
                                                     "@l_" + e.rid if e.wrappers else "nil"))
    out.append("end.")
    return "\n".join(out) + "\n", owner


ERROR = re.compile(r"^rtcheck\.pas\((\d+),\d+\) (?:Error|Fatal): (.*)$")


def compile_errors(ppc, args, workdir, source, link):
    """FPC's errors for the program text: [(line, message)], or None when it compiles."""
    with open(os.path.join(workdir, "rtcheck.pas"), "w") as f:
        f.write(source)
    cmd = [ppc] + args + ["-Se200", "rtcheck.pas"] + ([] if link else ["-Cn"])
    p = subprocess.run(cmd, cwd=workdir, capture_output=True, text=True, errors="replace")
    if p.returncode == 0:
        return None
    errors = []
    # Ends: one pass over the compiler's messages.
    for line in p.stdout.splitlines():
        m = ERROR.match(line.strip())
        if m:
            errors.append((int(m.group(1)), m.group(2)))
    if not errors:
        last = (p.stdout + p.stderr).strip().splitlines()[-1:]
        errors.append((0, last[0] if last else "no message"))
    return errors


def why(line_text, message):
    """A short name for the reason a back-translation does not compile."""
    text = line_text.strip()
    if "()" in text:
        return "empty condition"
    if re.search(r"\w  \S", text) and text.startswith(("if", "and", "or", "while", "until")):
        return "condition without relation"
    if "[" in text:
        return "memory operand without name"
    if "loop variable" in message:
        return "assignment to the for counter"
    return "compiler: " + message


def compile_program(ppc, args, workdir, entries, uses, externals, inputs, log):
    """Builds the program, leaving out every back-translation that does not
    compile (its Entry.failure says why); returns the entries that remain."""
    remaining = list(entries)
    # Ends: every round that fails takes at least one entry or variant out,
    # and a round that takes out nothing ends the loop as a harness fault.
    while remaining:
        source, owner = build_source(remaining, uses, externals, inputs)
        errors = compile_errors(ppc, args, workdir, source, link=True)
        if errors is None:
            return remaining
        src_lines = source.splitlines()
        hit = set()
        for line, message in errors:
            if line not in owner:
                continue
            e, variant, body_index = owner[line]
            if variant:
                e.wrappers = None
            elif e.failure is None:
                text = e.body[body_index] if 0 <= body_index < len(e.body) else src_lines[line - 1]
                e.failure = why(text, message)
                e.failed_line = text.strip()
            hit.add(id(e))
        if not hit:
            log("harness: the test program does not compile: %s" % errors[:3])
            for e in remaining:
                e.failure = "harness: program does not compile"
            return []
        remaining = [e for e in remaining if e.failure is None]
    return remaining


def confirm_alone(ppc, args, workdir, entry, uses, externals, inputs):
    """Compiles one back-translation by itself (no linking), so that an error
    that a neighbour's error caused is not held against it."""
    failure, line = entry.failure, entry.failed_line
    entry.failure = None
    errors = compile_errors(ppc, args, workdir, build_source([entry], uses, externals,
                                                            inputs[:1])[0], link=False)
    if errors is None:
        return True
    entry.failure, entry.failed_line = failure, line
    return False


def run_program(workdir, timeout):
    """RESULT lines of the built program: {rid: fields}."""
    try:
        p = subprocess.run(["./rtcheck"], cwd=workdir, capture_output=True, text=True,
                           timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, "test program ran longer than %d s" % timeout
    results = {}
    for line in p.stdout.splitlines():
        f = line.split()
        if f and f[0] == "RESULT":
            results[f[1]] = f[2:]
    if p.returncode != 0:
        return results, "test program ended with status %d: %s" % (
            p.returncode, (p.stdout + p.stderr).strip().splitlines()[-1:])
    return results, None
