#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over the program's own sources
# (not tests, benchmarks or fuzz targets); fails on any finding.
#   bash tools/tidy.sh [BUILD_DIR]    (default build/, configured by CMake)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
tidy=$(command -v run-clang-tidy-14 || command -v run-clang-tidy || true)
[ -n "$tidy" ] || { echo "tidy.sh: run-clang-tidy is missing (apt-get install clang-tidy)" >&2; exit 2; }
[ -f "$build/compile_commands.json" ] || { echo "tidy.sh: no $build/compile_commands.json" >&2; exit 2; }
# the window's sources include what moc generates
cmake --build "$build" --target tolvek_ui_autogen >/dev/null 2>&1
output=$("$tidy" -p "$build" -quiet -j "$(nproc)" \
  "$root/(base|image|isa|devices|chipdb|decode|run|convert|source|job|cli|ui)/[^/]+\.cpp$" 2>&1)
status=$?
printf '%s\n' "$output" | grep -A3 -E '(warning|error): ' || true
if [ $status != 0 ]; then
  echo "tidy: findings above"
  exit 1
fi
echo "tidy: clean"
