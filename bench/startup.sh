#!/usr/bin/env bash
# Where tolvek-cli's time goes, step by step, above the floor (a static C
# program that only returns 0), the commands taking turns (bench/interleave.c);
# then how long the window takes to come up.
#   bench/startup.sh [BUILD]     (default: build; BUILD/tolvek-cli must exist)
# Each step adds to the one before:
#   floor         exec and exit of a program that does nothing
#   start-up      tolvek-cli --no-chipdat on an image of only the end record
#   chip data     the same with the shipped chip data and the chip 16F877A
#   8K words      the same on the 8K-word 16F877A image of compare.sh
#   (gpdasm       gputils' gpdasm on that image, for scale)
# The window: BUILD/ui/tolvek_window_startup (built with -DTOLVEK_BUILD_UI=ON
# -DTOLVEK_BUILD_BENCH=ON), offscreen, started as the window starts and ended
# as soon as it has painted and waits for input; the chip list's timer, one
# second after start, is not waited for. Skipped when it was not built.
# RUNS and WARMUP (environment) set the rounds; the default is 300 and 30.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
cli=$build/tolvek-cli
runs=${RUNS:-300}
warmup=${WARMUP:-30}
for tool in gpasm gpdasm hyperfine cc; do
  command -v "$tool" >/dev/null || { echo "startup.sh: $tool is missing (apt-get install gputils hyperfine gcc)" >&2; exit 2; }
done
gpdasm=$(command -v gpdasm)
[ -x "$cli" ] || { echo "startup.sh: no $cli; build it first" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/data/chipdat.txt" "$work/chipdat.txt"
"$root/bench/make_floor.sh" "$work/floor"
# Both programs are timed as copies, as an installed program is: a file the
# linker has just written starts slower than a copy of it (on this machine the
# floor by 0.05 ms and tolvek-cli by 0.1 ms, measured in turns), as the kernel
# keeps it in memory in smaller pieces and maps fewer pages at each fault.
cp "$work/floor" "$work/floor.copy" && mv "$work/floor.copy" "$work/floor"
cp "$cli" "$work/tolvek-cli"
cc -O2 -o "$work/interleave" "$root/bench/interleave.c"
"$root/bench/make_source.sh" 16f877a > "$work/16f877a.asm"
(cd "$work" && gpasm -q -a inhx8m -o 16f877a.hex 16f877a.asm >/dev/null)
printf ':00000001FF\n' > "$work/eof.hex"

echo "tolvek-cli: $cli"
echo "load:       $(cut -d' ' -f1-3 /proc/loadavg) (medians of $runs interleaved runs)"
(cd "$work" && ./interleave "$runs" "$warmup" ./floor -- \
    ./tolvek-cli --no-chipdat eof.hex -o - -- \
    ./tolvek-cli -c chipdat.txt -p 16F877A eof.hex -o - -- \
    ./tolvek-cli -c chipdat.txt -p 16F877A 16f877a.hex -o - > steps.tsv &&
  # gpdasm in turns of its own: it empties the caches the next program starts in
  ./interleave "$runs" "$warmup" ./tolvek-cli -c chipdat.txt -p 16F877A 16f877a.hex -o - -- \
    "$gpdasm" -p p16f877a 16f877a.hex | tail -n 1 >> steps.tsv)
# interleave's lines: median, mean (seconds), command
awk -F'\t' '
  BEGIN { split("floor|start-up|chip data|8K words|gpdasm", step, "|") }
  {
    i = NR; m[i] = $1
    share = i == 1 ? $1 : (i == 5 ? 0 : $1 - m[i - 1])
    if (i < 5) {
      printf "%-10s %6.3f ms  step %6.3f ms  %5.2f times the floor\n", step[i], $1 * 1000, share * 1000, $1 / m[1]
    } else {
      printf "%-10s %6.3f ms  %5.2f times tolvek-cli on 8K words\n", step[i], $1 * 1000, $1 / m[4]
    }
  }' "$work/steps.tsv"

probe=$build/ui/tolvek_window_startup
if [ -x "$probe" ]; then
  # in-process: from main() to ready; hyperfine: the whole process, exit included
  ready=$(QT_QPA_PLATFORM=offscreen "$probe" 2>/dev/null)
  (QT_QPA_PLATFORM=offscreen hyperfine -N --style none --warmup 3 --runs 30 \
      --export-csv "$work/window.csv" "$probe" >/dev/null 2>"$work/window.err") ||
    { cat "$work/window.err" >&2; exit 1; }
  awk -F, -v ready="$ready" 'NR == 2 {
      printf "window     %6.1f ms  median of 30 whole runs (exec to ready and exit, offscreen); one run: %s\n", $4 * 1000, ready
    }' "$work/window.csv"
else
  echo "window     not measured: $probe was not built"
fi
