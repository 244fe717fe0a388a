#!/usr/bin/env bash
# The files a tool chain leaves beside a hex file are the user's: a source run
# does not write over a hand-written foo.asm that gpasm built foo.hex from, and
# does not read a compiler's foo.sym (CCS writes one) as names.
#   user_files_test.sh PATH/TO/tolvek-cli
set -uo pipefail
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
command -v gpasm >/dev/null || { echo "gpasm is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
# run WANT-STATUS ARGS...: out holds what tolvek-cli printed
run() {
  local want=$1
  shift
  out=$("$cli" "$@" 2>&1)
  local got=$?
  check "tolvek-cli $* -> status $got (want $want): $out" [ "$got" = "$want" ]
}
has() { [[ "$out" == *"$1"* ]]; }

cat > foo.asm <<'ASM'
; the user's own program
        processor 16f84a
        org     0
start:  bsf     3, 5
        clrf    6
        bcf     3, 5
loop:   incf    6, f
        goto    loop
        end
ASM
gpasm -q -p p16f84a -a inhx8m -o foo.hex foo.asm >/dev/null || { echo "gpasm failed"; exit 1; }
rm -f foo.cod foo.lst
mine=$(sha256sum foo.asm)

# BASE.asm that Tolvek did not write stays as it is, and says how to choose
run 2 --source -p 16f84a foo.hex
check "the message names foo.asm and -o: $out" has "foo.asm was not written by Tolvek"
check "the message says -o: $out" has "-o FILE"
check "foo.asm is unchanged" [ "$(sha256sum foo.asm)" = "$mine" ]
# several inputs: the refused one does not stop the others
cp foo.hex bar.hex
run 2 --source -p 16f84a foo.hex bar.hex
check "bar.asm written beside the refused foo.asm" [ -f bar.asm ]
check "foo.asm is still unchanged" [ "$(sha256sum foo.asm)" = "$mine" ]
# the same file named is the user's choice
run 0 --source -p 16f84a -o out.asm foo.hex
check "out.asm written" [ -f out.asm ]
check "foo.asm is unchanged by -o out.asm" [ "$(sha256sum foo.asm)" = "$mine" ]
# a source Tolvek wrote is replaced, whichever version wrote it
run 0 --source -p 16f84a bar.hex
printf '; bar.hex: the reconstructed source for the PIC16F84A\n; gpasm -p p16f84a assembles it to the same image.\n' > bar.asm
run 0 --source -p 16f84a bar.hex
check "an earlier version's bar.asm is made again" grep -q "^; Source reconstructed by tolvek" bar.asm
# ... and a look-alike of only the first line is not Tolvek's
printf '; bar.hex: the reconstructed source for the PIC16F84A\n        processor 16f84a\n' > bar.asm
run 2 --source -p 16f84a bar.hex
check "a look-alike first line alone is not Tolvek's" grep -q "^        processor" bar.asm
# the listing keeps its own rule: foo.dis is written, foo.asm untouched
run 0 --chip 16F84A foo.hex
check "foo.dis written" [ -f foo.dis ]
check "foo.asm is unchanged by the listing" [ "$(sha256sum foo.asm)" = "$mine" ]
run 0 --source -p 16f84a -o foo.asm foo.hex
check "-o foo.asm replaces it" grep -q "^; Source reconstructed by tolvek" foo.asm

# A compiler's foo.sym: left alone with a note, read only when named
rm -f foo.asm
cat > foo.sym <<'SYM'
015     CCP_1
015     CCP_1_LOW
016     CCP_1_HIGH
020     @SCRATCH
077     @INTERRUPT_AREA

ROM Allocation:
0004  @const10
0018  main
SYM
ccs=$(sha256sum foo.sym)
run 0 --source -p 16f84a foo.hex
check "the note names foo.sym: $out" has "note: foo.sym is not Tolvek's symbol file"
check "the note says --symbols: $out" has "--symbols foo.sym reads it"
check "foo.asm written despite foo.sym" [ -f foo.asm ]
check "foo.sym is unchanged" [ "$(sha256sum foo.sym)" = "$ccs" ]
run 1 --source -p 16f84a --symbols foo.sym foo.hex
check "--symbols foo.sym reads it, with its faults: $out" has "foo.sym:1: unknown kind \"015\""
# Tolvek's own file beside it is read
printf '# tolvek symbol file\nlabel 0x0003 main_loop\n' > foo.tolvek.sym
run 0 --source -p 16f84a foo.hex
check "foo.tolvek.sym is read" grep -q "^main_loop:" foo.asm
check "foo.sym is still unchanged" [ "$(sha256sum foo.sym)" = "$ccs" ]

echo "user files: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
