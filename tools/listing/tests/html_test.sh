#!/usr/bin/env bash
# --pas on a program whose symbols are hostile: the comment block of every
# .pas stays closed, every file stays inside DIR, and index.html and the
# routine pages read as text in a real browser (headless chromium), which
# is skipped (77) with a message when none can be had.
# Usage: html_test.sh TOOL ROOT
set -u
tool=$1 root=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; fi
}
evil='<script>document.title="owned"</script>}{*)'
{
  printf 'evil.o:     file format elf32-i386\n\nDisassembly of section .text:\n\n'
  printf '00000000 <%s>:\n   0:\t55                   \tpush   ebp\n' "$evil"
  printf '   1:\t89 e5                \tmov    ebp,esp\n'
  printf '   3:\ta1 00 00 00 00       \tmov    eax,ds:0x0\n'
  printf '\t\t\t4: R_386_32\t%s\n' "$evil"
  printf '   8:\t5d                   \tpop    ebp\n   9:\tc3                   \tret\n\n'
  printf '00000010 <../../escape>:\n  10:\tc3                   \tret\n'
  # More instructions than asm2pas takes: this routine fails, alone.
  printf '00001000 <too_long>:\n'
  seq 4096 14097 | awk '{ printf "%6x:\t90                   \tnop\n", $1 }'
} >"$tmp/evil.dump"
"$tool" --pas "$tmp/out" "$tmp/evil.dump" 2>"$tmp/err"
check "status" 0 $?
grep -q ' 1 failed, ' "$tmp/err"
check "a failed routine is counted" 0 $?
check "the failed routine in the index" "failed  too_long" "$(grep -o 'failed  too_long' "$tmp/out/index.txt")"
check "every routine keeps its files, and they share a page" 9 "$(ls "$tmp/out" | wc -l)"
check "files stay inside DIR" "" "$(ls "$tmp" | grep -v -x -e out -e evil.dump -e err)"
pas=$(ls "$tmp"/out/*script*.pas)
check "one { and one } in the comment block" "1 1" \
  "$(sed '/^}\r$/q' "$pas" | tr -cd '{' | wc -c) $(sed '/^}\r$/q' "$pas" | tr -cd '}' | wc -c)"
grep -q '#60#' "$pas" && { echo "FAIL: < needs no escape in a comment"; fail=1; }
grep -q 'routine <script>document.title="owned"</script>#125#123\*)' "$pas"
check "the name in the comment block" 0 $?

browser=$("$root/scripts/toolchain" chromium 2>"$tmp/toolchain.err") ||
  { echo "skipped the browser: $(cat "$tmp/toolchain.err")"; [ $fail = 0 ] && exit 77; exit 1; }
dom() {  # dom FILE: the page as the browser built it
  "$browser" --headless --no-sandbox --disable-gpu --disable-background-networking --no-first-run \
    --user-data-dir="$tmp/profile" --dump-dom "file://$1" 2>/dev/null
}
dom "$tmp/out/index.html" >"$tmp/index.dom"
grep -q '<title>owned</title>' "$tmp/index.dom" && { echo "FAIL: a symbol ran as a script"; fail=1; }
grep -q '&lt;script&gt;document.title="owned"&lt;/script&gt;}{\*)</a>' "$tmp/index.dom"
check "index: the symbol shows as text" 0 $?
check "index: one row per routine" 4 "$(grep -o '<tr' "$tmp/index.dom" | wc -l)"
check "index: the failed one marked" 1 "$(grep -o '<tr class="failed">' "$tmp/index.dom" | wc -l)"
link=$(grep -o 'href="[^"]*">&lt;script' "$tmp/index.dom" | sed 's/^href="//; s/">.*//')
check "index: the link goes to the routine's section" "routines-0001.html#_script_document.title__owned___script_____" "$link"
dom "$tmp/out/routines-0001.html" >"$tmp/page.dom"
grep -q '<title>owned</title>' "$tmp/page.dom" && { echo "FAIL: a symbol ran as a script on its page"; fail=1; }
check "page: a section per routine" 3 "$(grep -o '<section id=' "$tmp/page.dom" | wc -l)"
grep -q '<section id="_script_document.title__owned___script_____"><h1>&lt;script&gt;' "$tmp/page.dom"
check "page: the routine's section" 0 $?
grep -q '<pre class="listing">00000000  55 ' "$tmp/page.dom"
check "page: the listing" 0 $?
grep -q '<pre class="source">{ routine &lt;script&gt;' "$tmp/page.dom"
check "page: the source beside it" 0 $?
[ $fail = 0 ] && echo "html: all checks passed"
exit $fail
