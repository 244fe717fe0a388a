#!/usr/bin/env bash
# tolvek-cli --source on the command line: what is written, what is refused
# (with nothing written), and the exit status of each.
#   cli_test.sh PATH/TO/tolvek-cli
set -uo pipefail
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
passed=0
failed=0
# expect STATUS OUTPUT-FILE-EXISTS MESSAGE-PART -- ARGS...
expect() {
  local status=$1 exists=$2 message=$3
  shift 4
  rm -f p.asm
  local out
  out=$("$cli" "$@" 2>&1)
  local got=$?
  local there=no
  [ -f p.asm ] && there=yes
  if [ "$got" = "$status" ] && [ "$there" = "$exists" ] && [[ "$out" == *"$message"* ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: tolvek-cli $* -> status $got (want $status), p.asm $there (want $exists): $out"
  fi
}
good=':020000040000FA
:040000000630860040
:00000001FF'
printf '%s\n' "$good" > p.hex
expect 0 yes "p.asm: 2 program words" -- --source -p 16f84a p.hex
expect 0 yes "" -- --source -p PIC16F84A p.hex
expect 2 no "needs the chip" -- --source p.hex
expect 2 no "16F84A" -- --source -p 16f84b p.hex
printf ':0400000006308600A1\n:00000001FF\n' > p.hex
expect 1 no "p.hex:1: checksum A1 is wrong" -- --source -p 16f84a p.hex
printf ':040000000630860040\n' > p.hex
expect 1 no "end-of-file record" -- --source -p 16f84a p.hex
printf '%s\n' "$good" > p.hex
printf '# tolvek symbol file\nlabel 0x0000 start\nram 0x0C count\nlabel 0x0001 STATUS\n' > p.tolvek.sym
expect 1 no "p.tolvek.sym:4: \"STATUS\" is already" -- --source -p 16f84a p.hex
printf '# tolvek symbol file\nlabel 0x0000 start\n' > p.tolvek.sym
expect 0 yes "" -- --source -p 16f84a p.hex
grep -q '^start:' p.asm 2>/dev/null || { failed=$((failed + 1)); echo "FAIL: p.tolvek.sym's label is not in p.asm"; }
# a file of the same name that Tolvek did not write is left alone, with a note;
# the one the user names is read whatever its first line
printf 'label 0x0000 start\n' > p.tolvek.sym
expect 0 yes "p.tolvek.sym does not start with \"# tolvek symbol file\"; left alone" -- --source -p 16f84a p.hex
grep -q '^start:' p.asm 2>/dev/null && { failed=$((failed + 1)); echo "FAIL: p.tolvek.sym without its first line was read"; }
expect 0 yes "" -- --source -p 16f84a --symbols p.tolvek.sym p.hex
grep -q '^start:' p.asm 2>/dev/null || { failed=$((failed + 1)); echo "FAIL: --symbols p.tolvek.sym was not read"; }
rm -f p.tolvek.sym
# extra entry points: word addresses in hex, with --source only, within the part
expect 0 yes "p.asm: 2 program words" -- --source -p 16f84a --entry 0x1 --entry=1 p.hex
expect 2 no "--entry takes a word address" -- --source -p 16f84a --entry 0x1g p.hex
expect 2 no "--entry goes with --source" -- -p 16f84a --entry 0x1 p.hex
expect 2 no "beyond the program memory of the 16F84A" -- --source -p 16f84a --entry 0x400 p.hex
# a byte past the part's memory: the source is written, the byte named
printf ':020000040001F9\n:01000000AA55\n:00000001FF\n' > p.hex
expect 1 yes "outside the memory of the 16F84A" -- --source -p 16f84a p.hex
echo "source command line: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
