#!/usr/bin/env bash
# Sets up a fresh Debian machine for Tolvek, builds it, and then either runs the
# bundled example (run) or every test (test).
#   bash tools/setup.sh run     install, build, disassemble examples/blink.hex
#   bash tools/setup.sh test    install, build, run all tests
set -euo pipefail
mode=${1:-run}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOLVEK_BUILD_DIR:-$root/build}

packages=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev
          libbenchmark-dev qt6-base-dev qt6-svg-dev gputils python3 hyperfine time)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build"

case "$mode" in
  run)
    "$build/tolvek-cli" --chip 16F84A "$root/examples/blink.hex" -o -
    ;;
  test)
    export QT_QPA_PLATFORM=offscreen
    ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
    ;;
  *)
    echo "usage: $0 run|test" >&2; exit 2 ;;
esac
