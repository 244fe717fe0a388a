#!/usr/bin/env bash
# The reconstructed source of a few small programs, byte for byte: each
# golden/CHIP.hex (assembled by gpasm from CHIP.src) against golden/CHIP.asm.
#   golden.sh PATH/TO/tolvek-cli
set -euo pipefail
cli=$1
dir=$(cd "$(dirname "$0")/golden" && pwd)
failed=0
passed=0
for hex in "$dir"/*.hex; do
  chip=$(basename "$hex" .hex)
  if diff -u "$dir/$chip.asm" <("$cli" --source -p "$chip" "$hex" -o - 2>/dev/null); then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done
echo "golden sources: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
