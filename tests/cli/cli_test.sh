#!/usr/bin/env bash
# Command-line behaviour that the golden files do not show: usage errors, option
# forms and "--", chip names, standard output, several inputs (a failing one
# first), input/output failures, the hints, record checksums. Each case checks
# the exit status and both streams apart.
# usage: cli_test.sh PATH/TO/tolvek-cli
set -u
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
pass=0; fail=0

# Runs with the two streams apart: out.txt, err.txt and $rc.
run() { "$cli" "$@" > out.txt 2> err.txt; rc=$?; }
report() {  # report NAME: one failure, with what the program wrote
  fail=$((fail + 1)); echo "FAIL $1 (exit $rc)"
  sed 's/^/  out| /' out.txt | head -5; sed 's/^/  err| /' err.txt | head -5
}
expect() {  # expect NAME CONDITION...: the condition is a command
  local name=$1; shift
  if "$@"; then pass=$((pass + 1)); else report "$name"; fi
}
has() { grep -qE -- "$2" "$1"; }
lines() { [ "$(wc -l < "$1")" = "$2" ]; }
# stream FILE PATTERN: "" the stream is empty, "*" anything, else an extended
# regular expression that one of its lines matches
stream() {
  case "$2" in
    "") [ ! -s "$1" ] ;;
    "*") true ;;
    *) has "$1" "$2" ;;
  esac
}
# check NAME RC OUT ERR -- ARGS...: the exit status and each stream on its own
check() {
  local name=$1 want=$2 out=$3 err=$4; shift 5
  run "$@"
  if [ "$rc" = "$want" ] && stream out.txt "$out" && stream err.txt "$err"; then
    pass=$((pass + 1))
  else
    report "$name"
  fi
}
printf ':0400000086018316DC\r\n:00000001FF\r\n' > ok.hex
printf ':0400000086018316DC\r\n' > noeof.hex
printf ':020000040000FA\r\n:0400000086018316DC\r\n:00000001FF\r\n' > i32.hex
printf '[16F84A]\n<False,1>\n#0,INDF;0,STATUS;3\n#1,OPTION_REG;81\n%%STATUS,C\n[16F877A]\n<False,4>\n#0,STATUS;3\nx\ny\n[ end\n' > chips.txt
usage="^Try 'tolvek-cli --help' for more\.$"
ok="^\[OK\]:  1 records disassembled successfully\.$"

check "help" 0 "^Usage: tolvek-cli" "" -- --help
check "version" 0 "^tolvek-cli [0-9]" "" -- --version
check "no input" 2 "" "^tolvek-cli: no input file$" --
check "unknown option" 2 "" "unknown option --bogus" -- --bogus ok.hex
expect "usage errors point to --help" has err.txt "$usage"
check "option without its value" 2 "" "option --chip needs a value" -- ok.hex --chip
check "empty output name" 2 "" "option --output needs a file name" -- --output= ok.hex
check "unknown format" 2 "" "unknown format \"hex\"" -- --format hex ok.hex
check "output with two inputs" 2 "" "only one input" -- -o x.dis ok.hex ok.hex
check "no chip data and a chip" 2 "" "cannot be combined" -- --no-chipdat --chip 16F84A ok.hex
check "unknown chip shows the closest" 2 "" "closest: 16F84A" -- --chipdat chips.txt --chip 16F84 ok.hex
check "unreadable chip data" 2 "" "cannot read the chip data \"nothing.txt\": No such file" \
  -- --chipdat nothing.txt ok.hex
check "list" 0 "^16F877A$" "" -- --chipdat chips.txt --list-chips
expect "list: every chip, in order" eval '[ "$(cat out.txt)" = "$(printf "16F84A\n16F877A")" ]'
check "list without chip data" 0 "" "" -- --no-chipdat --list-chips
check "missing input" 2 "" "^tolvek-cli: Cannot open the input file \"absent.hex\": No such file" \
  -- --no-chipdat absent.hex
check "options after the input" 0 "$ok" "" -- ok.hex --no-chipdat
expect "options after the input: listing beside it" [ -s ok.dis ]
check "exit 1 after a fault" 1 "^\[WARNING 01\]" "" -- --no-chipdat noeof.hex
expect "the fault's line number and line" eval \
  'lines out.txt 3 && has out.txt "^LineNumber  0$" && has out.txt "^:0400000086018316DC$"'
expect "no listing after a fault" [ ! -e noeof.dis ]
check "inhx32 hint" 1 "^hint: .*--format inhx32" "" -- --no-chipdat i32.hex
check "inhx32 format" 0 "^\[OK\]:  2 records" "" -- --no-chipdat --format inhx32 i32.hex

# "--" ends the options: a file whose name starts with "-", and an option's name as a file
printf ':0400000086018316DC\r\n:00000001FF\r\n' > -x.hex
check "a file named like an option" 0 "$ok" "" -- --no-chipdat -- -x.hex
expect "its listing" [ -s -x.dis ]
check "an option after --" 2 "" "Cannot open the input file \"--no-chipdat\"" -- -- --no-chipdat

# The listing on standard output: the status lines move to standard error.
check "listing to standard output" 0 "^            BSF 0x03,5"$'\r'"$" "$ok" -- --no-chipdat -o - ok.hex
expect "standard output holds only the listing" eval '! has out.txt "^\[OK\]" && lines err.txt 1'
check "long options with values" 0 "^            BSF STATUS,"$'\r'"$" "$ok" \
  -- --chipdat=chips.txt --chip=16f84a --output=- ok.hex
check "fault with the listing on standard output" 1 "" "^\[WARNING 01\]" -- --no-chipdat -o - noeof.hex
check "inhx32 to standard output" 0 "^            ORG 0000h" "^\[OK\]:  2 records" \
  -- -f inhx32 --no-chipdat -o - i32.hex

# Several inputs, the failing ones first: each is told under its name, every
# one is run, and the exit status is the worst.
rm -f ok.dis
check "a fault, then a sound input" 1 "^==> ok.hex <==$" "" -- --no-chipdat noeof.hex ok.hex
expect "both inputs told in order" eval '[ "$(cat out.txt)" = "$(printf "==> noeof.hex <==\n[WARNING 01]: Did not find EOF marker in HEX file.\nLineNumber  0\n:0400000086018316DC\n==> ok.hex <==\n[OK]:  1 records disassembled successfully.")" ]'
expect "the sound input's listing" [ -s ok.dis ]
check "an unreadable input, then a sound one" 2 "^==> ok.hex <==$" "Cannot open the input file \"absent.hex\"" \
  -- --no-chipdat absent.hex ok.hex
expect "the sound one still runs" has out.txt "$ok"

check "chip names in the listing" 0 "$ok" "" -- --chipdat chips.txt --chip 16F84A ok.hex
expect "named operand" grep -q $'BSF STATUS,\r' ok.dis
check "output file" 0 "$ok" "" -- --no-chipdat -o other.lst ok.hex
expect "output file written" [ -s other.lst ]
check "listing folder missing" 2 "" "Cannot create the listing \"nodir/x.dis\"" -- --no-chipdat -o nodir/x.dis ok.hex
check "listing to /dev/null" 0 "$ok" "" -- --no-chipdat -o /dev/null ok.hex
expect "/dev/null stays a device" [ -c /dev/null ]

# chip names as gpasm and the vendors write them; the listing keeps the chip data's spelling
for name in 16f84a p16f84a P16F84A PIC16F84A pic16F84a; do
  run --chipdat chips.txt --chip "$name" -o - ok.hex
  expect "chip name $name" [ "$rc" = 0 ]
  expect "chip name $name in the listing" has out.txt "P=PIC16F84A"$'\r'
done
check "unknown chip with a prefix" 2 "" "unknown chip \"pic16f999\"; closest: 16F" \
  -- --chipdat chips.txt --chip pic16f999 ok.hex

# the hint after [ERROR 08]: the default chip of the shipped data is a 12-bit one
run ok.hex
expect "hint: exit status" [ "$rc" = 1 ]
expect "hint: status lines unchanged" has out.txt '^\[ERROR 08\]: Data cannot be converted to an instruction\.$'
expect "hint names the chip used and --chip" \
  has out.txt '^hint: no chip was named, so the first in the list, 10F200 \(12-bit core\), was used; word 1683 fits the 14-bit core: name the chip with --chip NAME'
expect "hint: nothing else on standard error" [ ! -s err.txt ]
run --chip 10f200 ok.hex
expect "hint for a named chip whose other core fits" has out.txt '^hint: 10F200, named with --chip, has the 12-bit core; word 1683 fits the 14-bit core'
printf ':040000008601003B3A\r\n:00000001FF\r\n' > nowhere.hex
run --chip 16F84A nowhere.hex
expect "no hint where no core fits a named chip" eval '[ "$rc" = 1 ] && has out.txt "^\[ERROR 08\]" && ! has out.txt "^hint"'
printf ':040000008601010074\r\n:00000001FF\r\n' > twelve.hex
run --no-chipdat twelve.hex
expect "hint after --no-chipdat" has out.txt '^hint: --no-chipdat uses the 14-bit core; word 0001 fits the 12-bit core'

# checksums: a warning on standard error, the run and its status as before
printf ':0400000086018316DD\r\n:00000001FF\r\n' > sum.hex
run --no-chipdat sum.hex
expect "checksum warning: exit status" [ "$rc" = 0 ]
expect "checksum warning: status line" eval 'has out.txt "^\[OK\]:  1 records" && lines out.txt 1'
expect "checksum warning: line, found, expected" eval \
  'has err.txt "^tolvek-cli: warning: sum.hex LineNumber 0: checksum DD, expected DC$" && lines err.txt 1'
expect "checksum warning: listing written" [ -s sum.dis ]
# (short records and full ones, which are read whole)
{ for i in 1 2 3 4 5; do
    if [ $((i % 2)) = 0 ]; then printf ':1000000086018316000000000000000000000000DD\r\n'
    else printf ':0400000086018316DD\r\n'; fi
  done; printf ':00000001FE\r\n'; } > sums.hex
run --no-chipdat sums.hex
expect "checksum warnings: a few lines and a count" eval \
  'lines err.txt 4 && has err.txt "LineNumber 2: checksum DD" && has err.txt ": 3 more records with a wrong checksum, 6 in all$"'
{ printf ':0400000086018316DC\r\nbroken\r\n'; printf ':0400000086018316DD\r\n:00000001FF\r\n'; } > sumafter.hex
run --no-chipdat sumafter.hex
expect "checksum past a faulty line" eval \
  '[ "$rc" = 1 ] && has out.txt "^\[ERROR 02\]" && has err.txt "LineNumber 2: checksum DD, expected DC$"'
printf ':020000040000FB\r\n:0400000086018316DC\r\n:00000001FF\r\n' > sum32.hex
run --no-chipdat --format inhx32 sum32.hex
expect "checksum of an INHX32 address record" eval '[ "$rc" = 0 ] && has err.txt "LineNumber 0: checksum FB, expected FA"'
printf ':0400000086018316XX\r\n:00000001FF\r\n' > split.hxl
printf ':0400000086018316XX\r\n:00000001FF\r\n' > split.hxh
run --no-chipdat --format inhx8s split.hxl
expect "no checksum check of a merged split pair" eval '[ "$rc" = 0 ] && [ ! -s err.txt ]'

# --strict: the record fails the run, nothing is written, an earlier listing stays
printf 'earlier\n' > sum.dis
run --no-chipdat --strict sum.hex
expect "strict: exit status" [ "$rc" = 1 ]
expect "strict: no status line claims success" [ ! -s out.txt ]
expect "strict: the record and the verdict on standard error" eval \
  'has err.txt "^tolvek-cli: error: sum.hex LineNumber 0: checksum DD, expected DC$" && has err.txt "^tolvek-cli: sum.hex: not disassembled"'
expect "strict: earlier listing untouched" [ "$(cat sum.dis)" = earlier ]
run --no-chipdat --strict -o - sum.hex
expect "strict: nothing on standard output either" eval '[ "$rc" = 1 ] && [ ! -s out.txt ]'
run --no-chipdat --strict ok.hex
expect "strict: a sound file" eval '[ "$rc" = 0 ] && has out.txt "^\[OK\]" && [ ! -s err.txt ]'
{ printf ':0400000086018316DD\r\n'; } > sumnoeof.hex
run --no-chipdat --strict sumnoeof.hex
expect "strict: a fault of another kind is told too" eval '[ "$rc" = 1 ] && has out.txt "^\[WARNING 01\]" && has err.txt "not disassembled"'

# an image for the enhanced core: its config words at 8007h, or words only that core has
printf ':020000040000FA\r\n:0400000086018316DC\r\n:020000040001F9\r\n:02000E00FF3FB2\r\n:00000001FF\r\n' > enh32.hex
printf ':0400000021000B00D0\r\n:00000001FF\r\n' > enh8m.hex
enhanced='^hint: this image looks like one for an enhanced midrange part .*--source -p PART reads it'
check "enhanced: config at 8007h" 0 "$enhanced" "" -- --no-chipdat -f inhx32 enh32.hex
expect "enhanced: status line unchanged" has out.txt "^\[OK\]:  4 records disassembled successfully\.$"
check "enhanced: words only that core has" 1 "2 words that only that core has, the first 0000 \(movlb 0x01\)" "" -- --no-chipdat enh8m.hex
check "enhanced: a classic INHX32 image gives no hint" 0 "^\[OK\]:  2 records" "" -- --no-chipdat -f inhx32 i32.hex
expect "enhanced: no hint line" eval '! has out.txt "enhanced"'
check "enhanced part named for the listing" 2 "" "^hint: 16F1827 has the enhanced midrange core.*--source -p 16F1827 reads it$" -- -p pic16f1827 ok.hex

echo "cli: $pass passed, $fail failed"
[ "$fail" = 0 ]
