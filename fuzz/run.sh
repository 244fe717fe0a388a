#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   bash fuzz/run.sh [SECONDS] [TARGET...]
# SECONDS per target (default 60); TARGET among fuzz_run, fuzz_chipdata,
# fuzz_splitmerge, fuzz_devices, fuzz_source, fuzz_symbols, fuzz_browse (default
# all). New inputs go to build-fuzz/corpus/TARGET; a crashing input is left in
# build-fuzz/ as crash-*, and the script fails.
# TOLVEK_FUZZ_JOBS (default 1) runs that many fuzzing processes per target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOLVEK_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(fuzz_run fuzz_chipdata fuzz_splitmerge fuzz_devices fuzz_source fuzz_symbols fuzz_browse)
jobs=${TOLVEK_FUZZ_JOBS:-1}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOLVEK_FUZZ=ON -DTOLVEK_BUILD_TESTS=OFF -DTOLVEK_BUILD_UI=OFF -DTOLVEK_WERROR=ON >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# new inputs are gathered in memory where a tmpfs is at hand
scratch_root=$build
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_root=/dev/shm
scratch=$(mktemp -d "$scratch_root/tolvek-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
status=0
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  corpus=$build/corpus/$name
  mkdir -p "$corpus"
  max_len=8192
  # Readers of lines: every rule of a symbol file shows in a line or two, and
  # every reading rule of a listing (labels and their words, EQU sections,
  # cross-references) within a few lines. Longer texts only make each input
  # cost more, and libFuzzer lets its inputs grow to the limit over a long run.
  case $target in
    fuzz_symbols) max_len=1024 ;;
    fuzz_browse) max_len=256 ;;
  esac
  parallel=()
  # with -jobs libFuzzer writes each job's output to fuzz-N.log instead
  [ "$jobs" -gt 1 ] && parallel=(-jobs="$jobs" -workers="$jobs")
  echo "== $target: ${seconds}s"
  # The first folder receives new inputs; the seeds in the repository stay as
  # they are. libFuzzer writes each new input as a file at once, and on a disk
  # creating files costs more than running the inputs in the first minutes, so
  # they go to a folder in memory and join the kept corpus when the run ends.
  fresh=$scratch/$name
  mkdir -p "$fresh"
  if ! (cd "$build" && "$build/fuzz/$target" "$fresh" "$corpus" "$root/fuzz/corpus/$name" \
          -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
          "${parallel[@]}" -print_final_stats=1 2>"$build/$target.log"); then
    status=1
    tail -n 40 "$build/$target.log"
  fi
  cp -r "$fresh"/. "$corpus"/
  rm -rf "$fresh"
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+.*DONE' "$build/$target.log" \
    | sed "s/^/$target: /" || true
done
exit $status
