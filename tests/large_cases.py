#!/usr/bin/env python3
"""End-to-end cases at the table limits, generated instead of stored.

Each case builds its listing in a scratch directory, runs the tool there on
NAME.lst and compares stdout (exact bytes), the exit status and stderr.

    large_cases.py TOOL
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
import listing  # noqa: E402

CRLF = "\r\n"


def short_lines(count):
    """Instruction lines holding only an address: each becomes an entry
    with an empty mnemonic, printed as the comment "// , , "."""
    return "".join("%08X%s" % (0x00400000 + n, CRLF) for n in range(count))


def comments(count):
    return "   // , , " + CRLF


def code_10001():
    # One instruction line more than the table holds: an error while
    # reading, on the line that does not fit, before any output.
    return dict(listing=short_lines(10001), stdout="", status=1,
                stderr_prefix="asm2pas: code_10001.lst:10001: ")


def code_10000():
    # A full table reads; "begin" and 9999 comments fill the 10000 output
    # lines, the last comment and "end;" are dropped and the run fails.
    out = "begin" + CRLF + comments(1) * 9999
    return dict(listing=short_lines(10000), stdout=out, status=1,
                stderr="asm2pas: code_10000.lst: output cut at 10000 lines; "
                       "2 further lines dropped\n")


def output_10000():
    # Exactly 10000 output lines: nothing is dropped, the run succeeds.
    out = "begin" + CRLF + comments(1) * 9998 + "end;" + CRLF
    return dict(listing=short_lines(9998), stdout=out, status=0, stderr="")


def vars_2001():
    # 2001 distinct frame operands, three per instruction: the first 2000
    # get Local_0000 .. Local_07CF, the 2001st and every later new operand
    # stay as written (here three: [ebp-$07D1], [$00500000], ebx); known
    # ones keep their names.
    operand = "[ebp-$%04X]"
    lines, out = [], ["begin"]
    for first in range(1, 2002, 3):
        ops = [operand % n for n in range(first, first + 3)]
        names = ["Local_%04X" % (n - 1) if n <= 2000 else operand % n
                 for n in range(first, first + 3)]
        address = 0x00401000 + len(lines) * 4
        lines.append(listing.line(address, "db " + ", ".join(ops)))
        out.append("   //db " + ", ".join(names))
    address = 0x00401000 + len(lines) * 4
    lines.append(listing.line(address, "db [$00500000], [ebp-$0001], ebx"))
    out.append("   //db [$00500000], Local_0000, ebx")
    out.append("end;")
    return dict(listing=CRLF.join(lines) + CRLF, stdout=CRLF.join(out) + CRLF,
                status=0,
                stderr="asm2pas: vars_2001.lst: warning: more than 2000 variables; "
                       "3 further operands keep their own text\n")


def labels_1001():
    # 1001 exception-frame tear-downs, each deferring "end;" to its own
    # address (none of which is reached): the 1001st text is dropped, the
    # output stays as it is, and the run fails.
    tear_down = ["xor eax, eax", "pop edx", "pop ecx", "pop ecx",
                 "mov fs:[eax], edx", "push $%08X"]
    lines = []
    for n in range(1001):
        for k, instruction in enumerate(tear_down):
            address = 0x00401000 + n * 16 + k * 2
            text = instruction % (0x00500000 + n) if "%" in instruction else instruction
            lines.append(listing.line(address, text))
    # Each "finally" stands one level out from the body, at column 1.
    out = "begin" + CRLF + ("finally" + CRLF) * 1001 + "end;" + CRLF
    return dict(listing=CRLF.join(lines) + CRLF, stdout=out, status=1,
                stderr="asm2pas: labels_1001.lst: more than 1000 deferred texts; "
                       "1 further \"end;\" dropped\n")


CASES = [code_10001, code_10000, output_10000, vars_2001, labels_1001]


def run(tool, make, work):
    name = make.__name__
    case = make()
    with open(os.path.join(work, name + ".lst"), "wb") as f:
        f.write(case["listing"].encode("latin-1"))
    done = subprocess.run([tool, name + ".lst"], cwd=work, capture_output=True,
                          timeout=120)
    faults = []
    if done.returncode != case["status"]:
        faults.append("status %d, expected %d" % (done.returncode, case["status"]))
    if done.stdout != case["stdout"].encode("latin-1"):
        got = done.stdout.decode("latin-1").split(CRLF)
        faults.append("stdout differs: %d lines, last %r" % (len(got) - 1, got[-2:]))
    err = done.stderr.decode("latin-1")
    if "stderr" in case and err != case["stderr"]:
        faults.append("stderr %r, expected %r" % (err, case["stderr"]))
    if "stderr_prefix" in case and not (
            err.startswith(case["stderr_prefix"]) and err.count("\n") == 1):
        faults.append("stderr %r, expected one line starting %r"
                      % (err, case["stderr_prefix"]))
    for fault in faults:
        print("FAIL %s: %s" % (name, fault))
    return not faults


def main():
    tool = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as work:
        results = [run(tool, make, work) for make in CASES]
    print("%d of %d large cases passed" % (sum(results), len(results)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
