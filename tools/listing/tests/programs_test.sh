#!/usr/bin/env bash
# Real programs of one kind, built here from tools/listing/tests/programs,
# through objdump and asm2pas-listing: unstripped and stripped executables,
# object files, PE executables, DLLs and objects. Exits 77 (skipped) with a
# message when the kind's toolchain cannot be had.
# Usage: programs_test.sh fpc|gcc|mingw TOOL ASM2PAS ROOT
set -u
kind=$1 tool=$2 asm2pas=$3 root=$4
src=$root/tools/listing/tests/programs
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then echo "FAIL: $kind: $1: expected [$2], got [$3]"; fail=1; fi
}
has() {  # has FILE PATTERN: an extended regular expression matches a line
  if ! grep -Eq -- "$2" "$1"; then echo "FAIL: $kind: $(basename "$1") lacks /$2/"; fail=1; fi
}
toolchain() { "$root/scripts/toolchain" "$1" 2>"$tmp/toolchain.err" || { echo "skipped: $(cat "$tmp/toolchain.err")"; exit 77; }; }
dump() { objdump -d -f -p -M intel "$@"; }

# --pas on a program: every routine has its two files and its section of a
# page, every .pas ends with exactly what asm2pas prints for its .lst
# (checked on every 40th), nothing failed.
whole_program() {  # whole_program NAME DUMP
  local dir=$tmp/$1
  "$tool" --pas "$dir" "$2" >"$tmp/$1.out" 2>"$tmp/$1.err"
  check "$1: --pas status" 0 $?
  has "$tmp/$1.err" ' routines converted, 0 failed, '
  local routines=$(($(wc -l <"$dir/index.txt") - 1))
  check "$1: a listing, a source and a page section per routine" "$routines $routines $routines" \
    "$(ls "$dir" | grep -c '\.lst$') $(ls "$dir" | grep -c '\.pas$') $(cat "$dir"/routines-*.html | grep -c '<section id=')"
  local n=0 f
  for f in "$dir"/*.lst; do
    n=$((n + 1))
    [ $((n % 40)) = 1 ] || continue
    local pas=${f%.lst}.pas
    (cd "$dir" && "$asm2pas" "$(basename "$f")" 2>/dev/null) >"$tmp/direct"
    sed '1,/^}\r$/d' "$pas" >"$tmp/embedded"
    cmp -s "$tmp/direct" "$tmp/embedded" || { echo "FAIL: $kind: $(basename "$pas") differs from asm2pas"; fail=1; }
  done
  echo "$1: $routines routines"
}

case $kind in
fpc)
  ppc=$(toolchain fpc)
  units=$(dirname "$ppc")/units/i386-linux
  cp "$src/sample.pas" "$tmp/"
  (cd "$tmp" && "$ppc" -n -Xs- -Fu"$units/rtl" -Fu"$units/rtl-objpas" sample.pas >"$tmp/ppc.log") ||
    { cat "$tmp/ppc.log"; exit 1; }
  dump "$tmp/sample" >"$tmp/sample.dump"
  whole_program named "$tmp/sample.dump"
  has "$tmp/named/index.txt" 'P\$SAMPLE_\$\$_SUMTO\$LONGINT\$\$LONGINT$'
  # The zero bytes after a routine's ret are filler: its ret is the last
  # instruction line again.
  f=$(ls "$tmp"/named/P_SAMPLE____WEEKDAY*.lst)
  check "zero bytes after ret" "ret" "$(grep -v '^\*' "$f" | tail -1 | cut -c35- | tr -d '\r')"
  has "$f" '^\* padding: [0-9A-F]{8}  0000 +add byte ptr \[eax\], al'
  strip -o "$tmp/sample.stripped" "$tmp/sample"
  dump "$tmp/sample.stripped" >"$tmp/stripped.dump"
  whole_program stripped "$tmp/stripped.dump"
  has "$tmp/stripped/index.txt" ' entry$'
  named=$(($(wc -l <"$tmp/named/index.txt") - 1))
  found=$(($(wc -l <"$tmp/stripped/index.txt") - 1))
  [ $((found * 100)) -ge $((named * 90)) ] || { echo "FAIL: fpc: $found routines found of $named"; fail=1; }
  # An object file: its routines are named, its zero bytes are filler.
  (cd "$tmp" && "$ppc" -n -Cn -Fu"$units/rtl" -Fu"$units/rtl-objpas" sample.pas >/dev/null)
  objdump -dr -M intel "$tmp/sample.o" | "$tool" --routine 'P$SAMPLE_$$_WEEKDAY$LONGINT$$ANSISTRING' >"$tmp/o.lst"
  check "object: status" 0 $?
  check "object: last instruction" "ret" "$(grep -v '^\*' "$tmp/o.lst" | tail -1 | cut -c35- | tr -d '\r')"
  has "$tmp/o.lst" 'call fpc_ansistr_assign[[:space:]]*$'
  ;;
gcc)
  gcc=$(toolchain gcc32)
  "$gcc" -m32 -O2 -static "$src/sample.c" -o "$tmp/sample" || exit 1
  dump "$tmp/sample" >"$tmp/sample.dump"
  whole_program named "$tmp/sample.dump"
  has "$tmp/named/index.txt" ' main$'
  strip -o "$tmp/sample.stripped" "$tmp/sample"
  dump "$tmp/sample.stripped" >"$tmp/stripped.dump"
  whole_program stripped "$tmp/stripped.dump"
  has "$tmp/stripped/index.txt" ' entry$'
  "$gcc" -m32 -O0 -c "$src/sample.c" -o "$tmp/sample.o"
  objdump -dr -M intel "$tmp/sample.o" | "$tool" --routine main >"$tmp/main.lst"
  check "object: status" 0 $?
  has "$tmp/main.lst" 'call qsort[[:space:]]*$'
  ;;
mingw)
  cc=$(toolchain mingw)
  "$cc" -O2 "$src/sample.c" -o "$tmp/sample.exe" || exit 1
  "$cc" -O2 -shared -DSAMPLE_DLL "$src/sample.c" -o "$tmp/sample.dll" || exit 1
  "$cc" -O0 -c "$src/sample.c" -o "$tmp/sample.obj" || exit 1
  dump "$tmp/sample.exe" >"$tmp/exe.dump"
  whole_program exe "$tmp/exe.dump"
  has "$tmp/exe/index.txt" ' _main$'
  strip -o "$tmp/stripped.dll" "$tmp/sample.dll"
  dump "$tmp/stripped.dll" >"$tmp/dll.dump"
  whole_program dll "$tmp/dll.dump"
  # A stripped DLL still names what it exports.
  has "$tmp/dll/index.txt" ' sample_sum$'
  has "$tmp/dll/index.txt" ' apply$'
  # A COFF object: the relocations name the routines called, with COFF's
  # place for the addend.
  objdump -dr -M intel "$tmp/sample.obj" | "$tool" --routine _main >"$tmp/main.lst"
  check "object: status" 0 $?
  has "$tmp/main.lst" 'call _qsort[[:space:]]*$'
  has "$tmp/main.lst" 'call _apply[[:space:]]*$'
  ;;
esac
[ $fail = 0 ] && echo "$kind programs: all checks passed"
exit $fail
