#!/usr/bin/env bash
# Sets up a fresh Debian machine for Tolvek, builds it, and then either runs the
# bundled example (run), every test (test), or builds the Debian package (package).
#   bash tools/setup.sh run      install, build, disassemble examples/blink.hex
#   bash tools/setup.sh test     install, build, run all tests
#   bash tools/setup.sh package  install, build build-deb/tolvek_VERSION_ARCH.deb, lintian it
set -euo pipefail
mode=${1:-run}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOLVEK_BUILD_DIR:-$root/build}

packages=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev
          libbenchmark-dev qt6-base-dev qt6-svg-dev libgraphviz-dev gputils python3 hyperfine time
          dpkg-dev help2man lintian)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

case "$mode" in
  run | test)
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVEK_WERROR=ON >/dev/null
    cmake --build "$build"
    ;;
esac

case "$mode" in
  run)
    "$build/tolvek-cli" --chip 16F84A "$root/examples/blink.hex" -o -
    ;;
  test)
    export QT_QPA_PLATFORM=offscreen
    ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
    ;;
  package)
    # as Debian builds its packages: linked dynamically, with the distribution's
    # hardening flags, for /usr
    deb=${TOLVEK_PACKAGE_DIR:-$root/build-deb}
    cmake -S "$root" -B "$deb" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX=/usr -DTOLVEK_STATIC_CLI=OFF -DTOLVEK_BUILD_TESTS=OFF \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
    cmake --build "$deb"
    (cd "$deb" && cpack -G DEB)
    lintian --fail-on error "$deb"/tolvek_*.deb
    ls "$deb"/tolvek_*.deb
    ;;
  *)
    echo "usage: $0 run|test|package" >&2; exit 2 ;;
esac
