#!/usr/bin/env bash
# Sets up a fresh Debian machine for Tolvek, builds it, and then either runs the
# bundled example (run), every test (test), builds the Debian package (package)
# or the browser page (web).
#   bash tools/setup.sh run      install, build, disassemble examples/blink.hex
#   bash tools/setup.sh test     install, build (the page too), run all tests
#   bash tools/setup.sh package  install, build build-deb/tolvek_VERSION_ARCH.deb, lintian it
#   bash tools/setup.sh web      install emscripten, build build-web/tolvek.html
set -euo pipefail
mode=${1:-run}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOLVEK_BUILD_DIR:-$root/build}

packages=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev
          libbenchmark-dev qt6-base-dev qt6-svg-dev libgraphviz-dev gputils python3 hyperfine time
          dpkg-dev help2man lintian)
# the browser page: emscripten builds it; the tests drive it in headless Chromium
web_packages=(emscripten gzip)
browser_packages=(chromium chromium-driver python3-selenium)
case "$mode" in
  web) packages=(cmake ninja-build "${web_packages[@]}") ;;
  test) packages+=("${web_packages[@]}" "${browser_packages[@]}") ;;
esac
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  local sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
}
install_missing "${packages[@]}"

# Builds build-web/tolvek.html (only what the page needs); false, with a
# message, where emscripten cannot run. emscripten finds its acorn through
# NODE_PATH when the node on the PATH is not Debian's.
web=${TOLVEK_WEB_DIR:-$root/build-web}
build_web() {
  export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
  if ! command -v emcmake >/dev/null || ! em++ --version >/dev/null 2>&1; then
    echo "emscripten is missing or does not run: the browser page is not built" >&2
    return 1
  fi
  emcmake cmake -S "$root" -B "$web" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVEK_WERROR=ON \
    >/dev/null &&
    nice cmake --build "$web" --target tolvek_page -j "${TOLVEK_WEB_JOBS:-2}"
}

case "$mode" in
  run | test)
    page_option=()
    if [ "$mode" = test ] && build_web; then
      page_option=(-DTOLVEK_WEB_PAGE="$web/tolvek.html")
    fi
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVEK_WERROR=ON \
      "${page_option[@]}" >/dev/null
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
  web)
    build_web
    ls "$web/tolvek.html"
    ;;
  package)
    # as Debian builds its packages: linked dynamically, with the distribution's
    # hardening flags, for /usr; with the browser page where emscripten is
    # installed (or can be), without it otherwise
    deb=${TOLVEK_PACKAGE_DIR:-$root/build-deb}
    install_missing "${web_packages[@]}" || echo "could not install emscripten" >&2
    page=""
    if build_web; then
      page=$web/tolvek.html
    fi
    cmake -S "$root" -B "$deb" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVEK_WEB_PAGE="$page" \
      -DCMAKE_INSTALL_PREFIX=/usr -DTOLVEK_STATIC_CLI=OFF -DTOLVEK_BUILD_TESTS=OFF \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
    cmake --build "$deb"
    (cd "$deb" && cpack -G DEB)
    lintian --fail-on error "$deb"/tolvek_*.deb
    ls "$deb"/tolvek_*.deb
    ;;
  *)
    echo "usage: $0 run|test|package|web" >&2; exit 2 ;;
esac
