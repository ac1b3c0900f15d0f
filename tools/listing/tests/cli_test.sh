#!/usr/bin/env bash
# Command-line behaviour of asm2pas-listing on a real program's objdump
# text: choosing routines, the directory form, messages and statuses, and
# that asm2pas reads every listing written. Usage: cli_test.sh TOOL ASM2PAS DATA
set -u
tool=$1
asm2pas=$2
data=$3
fail=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
in=$data/prog.objdump

"$tool" --help >"$tmp/out" 2>"$tmp/err"; check "--help: status" 0 $?
grep -q "ijmp" "$tmp/out"; check "--help tells about indirect jumps" 0 $?
"$tool" --bogus "$in" >/dev/null 2>"$tmp/err"; check "unknown option: status" 2 $?
check "unknown option: message" "asm2pas-listing: unknown option --bogus" "$(head -1 "$tmp/err")"
"$tool" -r >/dev/null 2>&1; check "option without value: status" 2 $?
"$tool" -r main -l "$in" >/dev/null 2>&1; check "two modes: status" 2 $?

"$tool" "$tmp/missing" >"$tmp/out" 2>"$tmp/err"; check "missing file: status" 1 $?
check "missing file: message" "asm2pas-listing: $tmp/missing: cannot open: No such file or directory" "$(cat "$tmp/err")"
"$tool" "$tmp" >/dev/null 2>"$tmp/err"; check "directory as input: status" 1 $?
"$tool" "$in" >"$tmp/out" 2>"$tmp/err"; check "several routines, none chosen: status" 1 $?
grep -q "holds 4 routines" "$tmp/err"; check "several routines: message" 0 $?
"$tool" -r nosuch "$in" >/dev/null 2>"$tmp/err"; check "unknown routine: status" 1 $?

# One routine, by name, by address, from standard input: exact bytes.
"$tool" -r main "$in" >"$tmp/out" 2>"$tmp/err"; check "by name: status" 0 $?
cmp -s "$tmp/out" "$data/main.lst"; check "by name: listing" 0 $?
check "by name: no warnings" "" "$(cat "$tmp/err")"
"$tool" --routine 0x804902a "$in" >"$tmp/out"; cmp -s "$tmp/out" "$data/main.lst"; check "by address" 0 $?
"$tool" -r main <"$in" >"$tmp/out"; cmp -s "$tmp/out" "$data/main.lst"; check "from standard input" 0 $?
"$tool" -l "$in" >"$tmp/out"; check "list" "0804902A  29  main" "$(tail -1 "$tmp/out")"

# Every routine: one file each, the indirect jumps reported.
"$tool" -d "$tmp/all" "$in" >"$tmp/out" 2>"$tmp/err"; check "dir: status" 0 $?
check "dir: files" "lib_value@plt-0x10.lst lib_value@plt.lst main.lst twice.lst" "$(cd "$tmp/all" && echo *)"
cmp -s "$tmp/err" "$data/dir.err"; check "dir: warnings" 0 $?
check "dir: every line ends in CR LF" 0 "$(cat "$tmp"/all/*.lst | grep -c -v $'\r$')"
for f in "$tmp"/all/*.lst; do
  "$asm2pas" "$f" >/dev/null 2>"$tmp/err"; check "asm2pas reads $(basename "$f")" 0 $?
done
"$asm2pas" "$tmp/all/lib_value@plt.lst" >"$tmp/out"
# asm2pas names the absolute operand, as it does every one.
grep -q "^   //ijmp Global_0000, , " "$tmp/out"; check "the indirect jump stays as a comment" 0 $?

# Input that is not objdump -d -M intel output.
printf '00000000 <f>:\n   0:\t55 \tpush   %%ebp\n' >"$tmp/att"
"$tool" "$tmp/att" >/dev/null 2>"$tmp/err"; check "AT&T: status" 1 $?
check "AT&T: message" "asm2pas-listing: $tmp/att:2: the input is in AT&T syntax; disassemble with objdump -d -M intel" "$(cat "$tmp/err")"
if [ -w /dev/full ]; then
  "$tool" -r main "$in" >/dev/full 2>"$tmp/err"; check "/dev/full: status" 1 $?
fi

[ $fail = 0 ] && echo "cli: all checks passed"
exit $fail
