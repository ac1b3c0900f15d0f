#!/usr/bin/env bash
# Command-line behaviour of the built tool: argument count, unreadable
# listing, failed writes, flushing before an error. Usage: cli_test.sh TOOL CASES
set -u
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cases=$2
fail=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$tool" >"$tmp/out" 2>"$tmp/err"; check "no argument: status" 0 $?
check "no argument: stdout" "" "$(cat "$tmp/out")"
check "no argument: usage" "usage: asm2pas LISTING" "$(cat "$tmp/err")"
"$tool" a b >"$tmp/out" 2>/dev/null; check "two arguments: status" 0 $?
check "two arguments: stdout" 0 "$(wc -c <"$tmp/out")"

# --help and --version, unless a listing of that name is there.
"$tool" --help >"$tmp/out" 2>"$tmp/err"; check "--help: status" 0 $?
check "--help: usage on stdout" "usage: asm2pas [--extended] LISTING" "$(head -1 "$tmp/out")"
check "--help: stderr" "" "$(cat "$tmp/err")"
check "--version" "asm2pas " "$("$tool" --version | cut -c1-8)"
(cd "$tmp" && : >./--version && "$tool" --version >"$tmp/out" 2>&1); check "--version file" 0 $?
check "--version file: converted" "begin" "$(head -1 "$tmp/out" | tr -d '\r')"
rm -f "$tmp/--version"

"$tool" "$tmp/missing.lst" >"$tmp/out" 2>"$tmp/err"; check "missing file: status" 1 $?
check "missing file: stdout" 0 "$(wc -c <"$tmp/out")"
check "missing file: stderr" "asm2pas: $tmp/missing.lst: cannot open: No such file or directory" "$(cat "$tmp/err")"
"$tool" "$tmp" >"$tmp/out" 2>"$tmp/err"; check "directory: status" 1 $?
check "directory: stdout" 0 "$(wc -c <"$tmp/out")"

if [ -w /dev/full ]; then
  "$tool" "$cases/overview.lst" >/dev/full 2>"$tmp/err"; check "/dev/full: status" 1 $?
  check "/dev/full: one line on stderr" 1 "$(wc -l <"$tmp/err")"
  check "/dev/full: the message names the listing" \
    "asm2pas: $cases/overview.lst: cannot write to standard output: No space left on device" \
    "$(cat "$tmp/err")"
  "$tool" --help >/dev/full 2>"$tmp/err"; check "--help to /dev/full: status" 1 $?
  check "--help to /dev/full: message" \
    "asm2pas: cannot write to standard output: No space left on device" "$(cat "$tmp/err")"
  # Output larger than one buffer fails while the routine is translated: the
  # same message.
  for k in $(seq 4096 12287); do
    printf '%08X%26snop\r\n' "$k" ""
  done >"$tmp/big.lst"
  "$tool" "$tmp/big.lst" >/dev/full 2>"$tmp/err"; check "/dev/full, large: status" 1 $?
  check "/dev/full, large: message" \
    "asm2pas: $tmp/big.lst: cannot write to standard output: No space left on device" \
    "$(cat "$tmp/err")"
fi

# The same output whether stdout is a pipe or a file.
"$tool" "$cases/overview.lst" | cat >"$tmp/piped"
"$tool" "$cases/overview.lst" >"$tmp/file"
cmp -s "$tmp/piped" "$tmp/file"; check "pipe and file agree" 0 $?

[ $fail = 0 ] && echo "cli: all checks passed"
exit $fail
