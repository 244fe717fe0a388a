#!/usr/bin/env bash
# tolvek-cli on file-system faults: exit status 2 (1 for an INHX8S partner that
# cannot be opened, the format's own error), a message with the system's reason,
# the earlier listing intact and no temporary file left behind.
#   bash tests/cli/cli_file_faults.sh PATH/TO/tolvek-cli
set -uo pipefail
cli=$(realpath "$1")
work=$(mktemp -d /tmp/tolvek-cli-faults-XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
old=$'the listing of an earlier run\r'

fresh() {
  rm -rf "$work/case" && mkdir "$work/case" && cd "$work/case" || exit 1
  printf ':10000000860183168601831202308A008C010C0857\r\n:00000001FF\r\n' >prog.hex
  printf '%s\n' "$old" >prog.dis
}

# check NAME EXPECTED_RC EXPECTED_TEXT EXPECTED_FILES -- COMMAND...
check() {
  local name=$1 want_rc=$2 want_text=$3 want_files=$4
  shift 5
  local out rc files problems=""
  out=$(timeout 20 "$@" 2>&1)
  rc=$?
  files=$(ls -A | tr '\n' ' ')
  [ "$rc" = "$want_rc" ] || problems+=" exit $rc, not $want_rc;"
  [[ "$out" == *"$want_text"* ]] || problems+=" no \"$want_text\" in: $out;"
  [ "$files" = "$want_files" ] || problems+=" files [$files], not [$want_files];"
  [ "$(cat prog.dis 2>/dev/null)" = "$old" ] || problems+=" the earlier listing changed;"
  if [ -z "$problems" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $name:$problems"
  fi
}

fresh; rm prog.hex
check "missing input" 2 'prog.hex": No such file or directory' "prog.dis " -- \
  "$cli" --no-chipdat prog.hex
fresh; rm prog.hex; mkdir prog.hex
check "directory as input" 2 'prog.hex": Is a directory' "prog.dis prog.hex " -- \
  "$cli" --no-chipdat prog.hex
fresh; rm prog.hex; mkfifo prog.hex
check "fifo as input" 2 'prog.hex": not a regular file' "prog.dis prog.hex " -- \
  "$cli" --no-chipdat prog.hex
fresh
check "listing folder missing" 2 'No such file or directory' "prog.dis prog.hex " -- \
  "$cli" --no-chipdat -o missing/prog.dis prog.hex
fresh
check "listing folder takes no files" 2 'Cannot create the listing "/proc/prog.dis"' \
  "prog.dis prog.hex " -- "$cli" --no-chipdat -o /proc/prog.dis prog.hex
fresh
check "disk full" 2 '"/dev/full": No space left on device' "prog.dis prog.hex " -- \
  "$cli" --no-chipdat -o /dev/full prog.hex
[ -c /dev/full ] || { failed=$((failed + 1)); echo "FAIL /dev/full is no longer a device"; }
fresh
check "listing is the input" 2 'it is the input file' "prog.dis prog.hex " -- \
  "$cli" --no-chipdat -o prog.hex prog.hex
fresh; mkfifo chip.txt
check "fifo as chip data" 2 'not a regular file' "chip.txt prog.dis prog.hex " -- \
  "$cli" -c chip.txt prog.hex

fresh; printf ':020010000A0BXX\r\n:00000001FF\r\n' >prog.hxl
check "missing partner" 1 '[ERROR 10]: INHX8S File Data Error.' "prog.dis prog.hex prog.hxl " -- \
  "$cli" --no-chipdat -f inhx8s prog.hxl
fresh; printf ':020010000A0BXX\r\n:00000001FF\r\n' >prog.hxl; mkdir prog.hxh
check "partner is a directory" 1 'prog.hxh": Is a directory' \
  "prog.dis prog.hex prog.hxh prog.hxl " -- "$cli" --no-chipdat -f inhx8s prog.hxl
fresh; printf ':020010000A0BXX\r\n:00000001FF\r\n' >prog.hxl; mkfifo prog.hxh
check "partner is a fifo" 1 '[ERROR 10]: INHX8S File Data Error.' \
  "prog.dis prog.hex prog.hxh prog.hxl " -- "$cli" --no-chipdat -f inhx8s prog.hxl

# The listing of a pair may replace neither of its files, whatever they are called.
split_guard() {  # NAME CHOSEN [OPTION...]
  local name=$1 chosen=$2 low high out rc
  shift 2
  rm -rf "$work/case" && mkdir "$work/case" && cd "$work/case" || exit 1
  printf ':020010000A0BXX\r\n:00000001FF\r\n' >"$chosen"
  printf ':020010002830XX\r\n:00000001FF\r\n' >prog.hxh
  low=$(cat "$chosen") high=$(cat prog.hxh)
  out=$(timeout 20 "$cli" --no-chipdat -f inhx8s "$@" "$chosen" 2>&1)
  rc=$?
  if [ "$rc" = 2 ] && [[ "$out" == *'it is the input file'* ]] &&
     [ "$(cat "$chosen")" = "$low" ] && [ "$(cat prog.hxh)" = "$high" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $name: exit $rc: $out"
  fi
}
split_guard "chosen file named like the listing" prog.dis
split_guard "listing written over the partner" prog.hxl -o prog.hxh

# An interrupted building pass removes its temporary listing; the earlier
# listing stays. The input is large enough that the pass lasts a while.
fresh
for ((address = 0; address < 0x4000; address += 16)); do
  printf ':10%04X00860183168601831202308A008C010C08XX\n' $address
done >block
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16; do cat block block block block; done >prog.hex
cat prog.hex prog.hex prog.hex prog.hex >block && mv block prog.hex
echo ':00000001FF' >>prog.hex
"$cli" --no-chipdat prog.hex >/dev/null 2>&1 &
pid=$!
for _ in $(seq 200); do
  compgen -G '.prog.dis.*' >/dev/null && break
  sleep 0.05
done
kill -TERM "$pid" 2>/dev/null
wait "$pid"
rc=$?
files=$(ls -A | tr '\n' ' ')
if [ "$rc" = 143 ] && [ "$files" = "prog.dis prog.hex " ] && [ "$(cat prog.dis)" = "$old" ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  echo "FAIL interrupted run: exit $rc, files [$files]"
fi

echo "cli_file_faults: $passed passed, $failed failed"
[ "$failed" = 0 ]
