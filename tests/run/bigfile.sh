#!/usr/bin/env bash
# Runs tolvek-cli on a generated hex file of SIZE megabytes (default 200) and
# on one of 2 MB, and fails when the peak memory of the big run exceeds the
# small one's by more than 4 MB: the run streams its input and its listing.
#   bash tests/run/bigfile.sh PATH/TO/tolvek-cli [SIZE]
set -euo pipefail
cli=$(realpath "$1")
size=${2:-200}
work=$(mktemp -d /tmp/tolvek-bigfile-XXXXXX)
trap 'rm -rf "$work"' EXIT

# one pass over program memory: 1024 records of 8 words, a GOTO in each
for ((address = 0; address < 0x4000; address += 16)); do
  printf ':10%04X00860183168601831202308A00%02X280728XX\n' $address $(((address / 32) & 255))
done >"$work/block"
make_file() {  # make_file NAME MEGABYTES
  local target=$(($2 * 1048576)) have
  cp "$work/block" "$work/$1"
  while have=$(stat -c %s "$work/$1") && [ "$have" -lt "$target" ]; do
    if [ $((have * 2)) -le "$target" ]; then
      cat "$work/$1" "$work/$1" >"$work/$1.next" && mv "$work/$1.next" "$work/$1"
    else
      cat "$work/block" >>"$work/$1"
    fi
  done
  echo ':00000001FF' >>"$work/$1"
}

measure() {  # measure FILE -> "KB SECONDS", the status line on standard error
  /usr/bin/time -f '%M %e' -o "$work/time" "$cli" --no-chipdat -o /dev/null "$1" >&2
  cat "$work/time"
}

make_file small.hex 2
make_file big.hex "$size"
read -r small_kb small_s < <(measure "$work/small.hex")
read -r big_kb big_s < <(measure "$work/big.hex")
big_mb=$(($(stat -c %s "$work/big.hex") / 1048576))
echo "bigfile: 2 MB: peak ${small_kb} KB in ${small_s} s; ${big_mb} MB: peak ${big_kb} KB in ${big_s} s"
if [ "$big_kb" -gt $((small_kb + 4096)) ]; then
  echo "bigfile: memory grew with the input"
  exit 1
fi
