#!/usr/bin/env bash
# Times tolvek-cli --source against gputils' gpdasm -n -s on the same images,
# side by side, the two taking turns (bench/interleave.c), and shows how --source
# grows with the image.
#   bench/source_compare.sh [PATH/TO/tolvek-cli]   (default: build/tolvek-cli)
# Images: the 8K-word 16F877A image of compare.sh (make_source.sh), an 8K-word
# enhanced-core image for the 16F1847 (make_source_enhanced.py), and for growth
# 2K to 16K words of the same kind for the 16F1939.
# RUNS and WARMUP (environment) set the rounds; the default is 200 and 20.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/tolvek-cli}
case "$cli" in /*) ;; *) cli="$PWD/$cli" ;; esac
runs=${RUNS:-200}
warmup=${WARMUP:-20}
for tool in gpasm gpdasm cc python3; do
  command -v "$tool" >/dev/null || { echo "source_compare.sh: $tool is missing" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "source_compare.sh: no $cli (build tolvek-cli first)" >&2; exit 2; }
[ -f "$(dirname "$cli")/devices.txt" ] || { echo "source_compare.sh: no devices.txt beside $cli" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/interleave" "$root/bench/interleave.c"
gpdasm=$(command -v gpdasm)

compare() {  # label, chip, hex file
  local label=$1 chip=$2 hex=$3
  (cd "$work" && ./interleave "$runs" "$warmup" "$cli" --source -p "$chip" "$hex" -o - -- \
      "$gpdasm" -n -s -p "p$chip" "$hex" > "$label.tsv")
  # interleave's lines: median, mean (seconds), command
  awk -F'\t' -v label="$label" '
    NR == 1 { tm = $1; t = $2 }
    NR == 2 { gm = $1; g = $2 }
    END {
      printf "%-22s tolvek-cli --source %.2f ms, gpdasm -n -s %.2f ms (medians): gpdasm takes %.2f times as long (means %.2f)\n",
             label, tm * 1000, gm * 1000, gm / tm, g / t
    }' "$work/$label.tsv"
}

"$root/bench/make_source.sh" 16f877a > "$work/16f877a.asm"
(cd "$work" && gpasm -q -a inhx8m -o 16f877a.hex 16f877a.asm >/dev/null)
python3 "$root/bench/make_source_enhanced.py" 16f1847 8192 > "$work/16f1847.asm"
(cd "$work" && gpasm -q -p p16f1847 -a inhx32 -o 16f1847.hex 16f1847.asm >/dev/null)

echo "tolvek-cli: $cli"
compare "16F877A, 8K words" 16f877a "$work/16f877a.hex"
compare "16F1847, 8K words" 16f1847 "$work/16f1847.hex"

echo "growth (16F1939, enhanced core):"
for words in 2048 4096 8192 16384; do
  python3 "$root/bench/make_source_enhanced.py" 16f1939 "$words" > "$work/g$words.asm"
  (cd "$work" && gpasm -q -p p16f1939 -a inhx32 -o "g$words.hex" "g$words.asm" >/dev/null)
  compare "16F1939, $words words" 16f1939 "$work/g$words.hex"
done
