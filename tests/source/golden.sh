#!/usr/bin/env bash
# The reconstructed source, byte for byte: each golden/CHIP.hex (assembled by
# gpasm from CHIP.src) against golden/CHIP.asm, and each image of the shared
# round-trip set against golden/shared/NAME.asm.gz (kept compressed: these are
# whole programs). A difference is shown as a diff, so the test names the line.
#   golden.sh PATH/TO/tolvek-cli [ROUNDTRIP_DIR]
#   golden.sh --update PATH/TO/tolvek-cli ROUNDTRIP_DIR   writes the shared ones anew
set -euo pipefail
update=0
if [ "${1:-}" = --update ]; then
  update=1
  shift
fi
cli=$1
shared=${2:-}
dir=$(cd "$(dirname "$0")/golden" && pwd)
failed=0
passed=0
check() { # EXPECTED-FILE ARGS... (the file plain or compressed)
  local expected=$1 name
  name=$(basename "$expected" .gz)
  shift
  if diff -u --label "$name (expected)" --label "$name (tolvek)" <(gzip -dcf "$expected") \
       <("$cli" --source "$@" -o - 2>/dev/null) | head -n 60; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
}
for hex in "$dir"/*.hex; do
  chip=$(basename "$hex" .hex)
  check "$dir/$chip.asm" -p "$chip" "$hex"
done
if [ -n "$shared" ] && [ -f "$shared/MANIFEST.tsv" ]; then
  while IFS=$'\t' read -r file chip _; do
    [ "$file" = file ] && continue
    name=$(basename "$file" .hex)
    if [ $update -eq 1 ]; then
      "$cli" --source -p "$chip" "$shared/$file" -o - | gzip -9n >"$dir/shared/$name.asm.gz"
      continue
    fi
    check "$dir/shared/$name.asm.gz" -p "$chip" "$shared/$file"
  done <"$shared/MANIFEST.tsv"
else
  echo "the shared round-trip images were not found (${shared:-none given}): only the small programs checked"
fi
echo "golden sources: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
