#!/usr/bin/env bash
# Times tolvek-cli against gputils' gpdasm on the same images, in the same
# hyperfine run so that the machine's load falls on both alike, with the floor:
# a static C program that only returns 0 (the cost of exec and exit).
#   bench/compare.sh [PATH/TO/tolvek-cli]     (default: build/tolvek-cli, built if missing)
# Prints one line per image: the medians, how many times faster tolvek is
# (gpdasm's median over tolvek-cli's; also the ratio of the means, which
# outliers on a busy machine move more) and tolvek-cli's median over the floor's.
# RUNS and WARMUP (environment) set hyperfine's counts; the default is 300 and 30.
# bench/startup.sh splits tolvek-cli's time into its steps and times the window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/tolvek-cli}
case "$cli" in /*) ;; *) cli="$PWD/$cli" ;; esac
runs=${RUNS:-300}
warmup=${WARMUP:-30}
for tool in gpasm gpdasm hyperfine cc; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing (apt-get install gputils hyperfine gcc)" >&2; exit 2; }
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
"$root/bench/make_floor.sh" "$work/floor"

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
      "$cli --chipdat chipdat.txt --chip $name $chip.hex" \
      "$work/floor" >/dev/null 2>"$work/$chip.err") || { cat "$work/$chip.err" >&2; exit 1; }
  # hyperfine's CSV: command,mean,stddev,median,user,system,min,max (seconds)
  awk -F, -v chip="$name" -v words="$words" '
    NR == 2 { t = $2; tm = $4 }
    NR == 3 { g = $2; gm = $4 }
    NR == 4 { fm = $4 }
    NR == 5 { zm = $4 }
    END {
      printf "%-8s %5d words: tolvek-cli %.2f ms, gpdasm %.2f ms: ratio %.2f (of means %.2f); floor %.2f ms, tolvek-cli %.2f times the floor  [writing its .dis file: %.2f ms]\n",
             chip, words, tm * 1000, gm * 1000, gm / tm, g / t, zm * 1000, tm / zm, fm * 1000
    }' "$work/$chip.csv"
}

echo "tolvek-cli: $cli"
echo "chip data:  $chipdat"
echo "load:      $(cut -d' ' -f1-3 /proc/loadavg) (medians of $runs runs)"
compare 16f877a 16F877A
compare 16c57 16C57
