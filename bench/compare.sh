#!/usr/bin/env bash
# Times tolvek-cli against gputils' gpdasm on the same images, in the same
# hyperfine run so that the machine's load falls on both alike.
#   bench/compare.sh [PATH/TO/tolvek-cli]     (default: build/tolvek-cli, built if missing)
# Prints one line per image: both mean times and how many times faster tolvek is
# (gpdasm's mean time over tolvek-cli's; also the ratio of the medians, which
# outliers on a busy machine move less).
# RUNS and WARMUP (environment) set hyperfine's counts; the default is 300 and 30.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/tolvek-cli}
case "$cli" in /*) ;; *) cli="$PWD/$cli" ;; esac
runs=${RUNS:-300}
warmup=${WARMUP:-30}
for tool in gpasm gpdasm hyperfine; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing (apt-get install gputils hyperfine)" >&2; exit 2; }
done
if [ ! -x "$cli" ]; then
  cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$root/build" --target tolvek-cli -- -j2 >/dev/null
fi

# chip data with both chips: the shipped file once it holds them, else the test copy
chipdat=$root/data/chipdat.txt
if ! grep -qx '\[16F877A\]' "$chipdat" 2>/dev/null || ! grep -qx '\[16C57\]' "$chipdat" 2>/dev/null; then
  chipdat=$root/tests/data/naming-edges-chipdat.txt
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$chipdat" "$work/chipdat.txt"

compare() {  # chip (gputils name), chip (chip data name)
  local chip=$1 name=$2
  "$root/bench/make_source.sh" "$chip" > "$work/$chip.asm"
  (cd "$work" && gpasm -q -a inhx8m -o "$chip.hex" "$chip.asm" >/dev/null)
  local words
  words=$(( $(grep -c '^:10' "$work/$chip.hex") * 8 ))
  # Both write the listing to standard output, which hyperfine discards: the
  # same work for both. The third command is tolvek's usual run, writing the
  # listing beside the input (a temporary file, fsync, rename over the listing),
  # whose time also depends on the disk.
  (cd "$work" && hyperfine -N --style none --warmup "$warmup" --runs "$runs" \
      --export-csv "$chip.csv" \
      "$cli --chipdat chipdat.txt --chip $name $chip.hex --output -" \
      "gpdasm -p p$chip $chip.hex" \
      "$cli --chipdat chipdat.txt --chip $name $chip.hex" >/dev/null)
  # hyperfine's CSV: command,mean,stddev,median,user,system,min,max (seconds)
  awk -F, -v chip="$name" -v words="$words" '
    NR == 2 { t = $2; td = $3; tm = $4 }
    NR == 3 { g = $2; gd = $3; gm = $4 }
    NR == 4 { f = $2 }
    END {
      printf "%-8s %5d words: tolvek-cli %.2f ms (+- %.2f), gpdasm %.2f ms (+- %.2f): ratio %.2f (of medians %.2f)  [tolvek-cli writing its .dis file: %.2f ms]\n",
             chip, words, t * 1000, td * 1000, g * 1000, gd * 1000, g / t, gm / tm, f * 1000
    }' "$work/$chip.csv"
}

echo "tolvek-cli: $cli"
echo "chip data:  $chipdat"
compare 16f877a 16F877A
compare 16c57 16C57
