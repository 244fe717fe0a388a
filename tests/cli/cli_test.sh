#!/usr/bin/env bash
# Command-line behaviour that the golden files do not show: usage errors, chip
# names, standard output, several inputs, input/output failures, the INHX32 hint.
# usage: cli_test.sh PATH/TO/tolvek-cli
set -u
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
pass=0; fail=0
check() {  # check NAME WANTED_RC GREP_PATTERN -- ARGS...
  local name=$1 want=$2 pattern=$3; shift 4
  "$cli" "$@" > out.txt 2>&1
  local rc=$?
  if [ "$rc" = "$want" ] && grep -qE -- "$pattern" out.txt; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1)); echo "FAIL $name: exit $rc"; sed 's/^/  | /' out.txt | head -5
  fi
}
printf ':0400000086018316DC\r\n:00000001FF\r\n' > ok.hex
printf ':0400000086018316DC\r\n' > noeof.hex
printf ':020000040000FA\r\n:0400000086018316DC\r\n:00000001FF\r\n' > i32.hex
printf '[16F84A]\n<False,1>\n#0,INDF;0,STATUS;3\n#1,OPTION_REG;81\n%%STATUS,C\n[16F877A]\n<False,4>\n#0,STATUS;3\nx\ny\n[ end\n' > chips.txt

check "help" 0 "^Usage: tolvek-cli" -- --help
check "version" 0 "^tolvek-cli [0-9]" -- --version
check "no input" 2 "no input file" --
check "unknown option" 2 "unknown option --bogus" -- --bogus ok.hex
check "unknown format" 2 "unknown format" -- --format hex ok.hex
check "output with two inputs" 2 "only one input" -- -o x.dis ok.hex ok.hex
check "unknown chip shows the closest" 2 "closest: 16F84A" -- --chipdat chips.txt --chip 16F84 ok.hex
check "unreadable chip data" 2 "cannot read the chip data" -- --chipdat nothing.txt ok.hex
check "list" 0 "^16F877A$" -- --chipdat chips.txt --list-chips
check "missing input" 2 "Cannot open the input file \"absent.hex\": No such file" -- --no-chipdat absent.hex
check "listing to standard output" 0 "^ad0000|^            BSF 0x03,5" -- --no-chipdat -o - ok.hex
check "several inputs" 1 "^==> noeof.hex <==$" -- --no-chipdat ok.hex noeof.hex
check "exit 1 after a fault" 1 "^\[WARNING 01\]" -- --no-chipdat noeof.hex
check "inhx32 hint" 1 "--format inhx32" -- --no-chipdat i32.hex
check "inhx32 format" 0 "^\[OK\]:  2 records" -- --no-chipdat --format inhx32 i32.hex
check "chip names in the listing" 0 "OK" -- --chipdat chips.txt --chip 16F84A ok.hex
grep -q $'BSF STATUS,\r' ok.dis && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL named operand"; }
check "output file" 0 "OK" -- --no-chipdat -o other.lst ok.hex
[ -f other.lst ] && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL -o file"; }
check "listing folder missing" 2 "Cannot create the listing" -- --no-chipdat -o nodir/x.dis ok.hex
check "listing to /dev/null" 0 "OK" -- --no-chipdat -o /dev/null ok.hex
[ -c /dev/null ] && pass=$((pass + 1)) || { fail=$((fail + 1)); echo "FAIL /dev/null was replaced"; }
echo "cli: $pass passed, $fail failed"
[ "$fail" = 0 ]
