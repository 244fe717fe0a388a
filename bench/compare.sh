#!/usr/bin/env bash
# Times tolvek-cli against gputils' gpdasm on the same images, side by side,
# with the floor: a static C program that only returns 0 (the cost of exec and
# exit). The commands take turns, one run each (bench/interleave.c), so that
# the load of a shared machine falls on all of them alike.
#   bench/compare.sh [PATH/TO/tolvek-cli]     (default: build/tolvek-cli, built if missing)
# Prints one line per image: the medians, how many times faster tolvek is
# (gpdasm's median over tolvek-cli's; also the ratio of the means, which
# outliers on a busy machine move more) and tolvek-cli's median over the floor's.
# RUNS and WARMUP (environment) set the rounds; the default is 300 and 30.
# bench/startup.sh splits tolvek-cli's time into its steps and times the window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/tolvek-cli}
case "$cli" in /*) ;; *) cli="$PWD/$cli" ;; esac
runs=${RUNS:-300}
warmup=${WARMUP:-30}
for tool in gpasm gpdasm cc; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing (apt-get install gputils gcc)" >&2; exit 2; }
done
gpdasm=$(command -v gpdasm)
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
# Both programs are timed as copies, as an installed program is: a file the
# linker has just written starts slower than a copy of it (on this machine the
# floor by 0.05 ms and tolvek-cli by 0.1 ms, measured in turns), as the kernel
# keeps it in memory in smaller pieces and maps fewer pages at each fault.
cp "$work/floor" "$work/floor.copy" && mv "$work/floor.copy" "$work/floor"
cp "$cli" "$work/tolvek-cli"
cc -O2 -o "$work/interleave" "$root/bench/interleave.c"

compare() {  # chip (gputils name), chip (chip data name)
  local chip=$1 name=$2
  "$root/bench/make_source.sh" "$chip" > "$work/$chip.asm"
  (cd "$work" && gpasm -q -a inhx8m -o "$chip.hex" "$chip.asm" >/dev/null)
  local words
  words=$(( $(grep -c '^:10' "$work/$chip.hex") * 8 ))
  # Three rounds of turns. Both programs write the listing to standard output,
  # which goes to /dev/null: the same work for both. Apart from them, tolvek-cli
  # and the floor: a program that follows gpdasm's 7 ms of work in turn starts
  # in caches it has emptied, which would raise the floor. Last, tolvek's usual
  # run, which writes the listing beside the input (a temporary file, fsync,
  # rename over the listing): its time also depends on the disk.
  local run=(./tolvek-cli --chipdat chipdat.txt --chip "$name" "$chip.hex" --output -)
  (cd "$work" &&
    ./interleave "$runs" "$warmup" "${run[@]}" -- "$gpdasm" -p "p$chip" "$chip.hex" > "$chip.tsv" &&
    ./interleave "$runs" "$warmup" ./floor -- "${run[@]}" >> "$chip.tsv" &&
    ./interleave "$(( (runs + 2) / 3 ))" 3 \
      ./tolvek-cli --chipdat chipdat.txt --chip "$name" "$chip.hex" >> "$chip.tsv")
  # interleave's lines: median, mean (seconds), command
  awk -F'\t' -v chip="$name" -v words="$words" '
    NR == 1 { tm = $1; t = $2 }
    NR == 2 { gm = $1; g = $2 }
    NR == 3 { zm = $1 }
    NR == 4 { tzm = $1 }
    NR == 5 { fm = $1 }
    END {
      printf "%-8s %5d words: tolvek-cli %.2f ms, gpdasm %.2f ms: ratio %.2f (of means %.2f); floor %.2f ms, tolvek-cli %.2f ms, %.2f times the floor  [writing its .dis file: %.2f ms]\n",
             chip, words, tm * 1000, gm * 1000, gm / tm, g / t, zm * 1000, tzm * 1000, tzm / zm, fm * 1000
    }' "$work/$chip.tsv"
}

echo "tolvek-cli: $cli"
echo "chip data:  $chipdat"
echo "load:      $(cut -d' ' -f1-3 /proc/loadavg) (medians of $runs interleaved runs)"
compare 16f877a 16F877A
compare 16c57 16C57
