#!/usr/bin/env bash
# The Debian package: cpack builds it from this build tree, dpkg-deb unpacks it
# into a temporary root, and the tolvek-cli there runs from another folder, with
# the chip data of the root's share/tolvek. Exit status 77 (skipped) where
# dpkg-deb is missing.
# usage: package_test.sh PATH/TO/cpack BUILD_DIR SOURCE_DIR
set -u
cpack=$1 build=$2 source=$3
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is missing: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pass=0; fail=0
expect() {  # expect NAME COMMAND...
  local name=$1; shift
  if "$@"; then pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAIL $name"; fi
}

if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" > "$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"; echo "package: cpack failed"; exit 1
fi
deb=$(echo "$work"/out/tolvek_*.deb)
root=$work/root
expect "the package unpacks" dpkg-deb -x "$deb" "$root"
for file in usr/bin/tolvek-cli usr/share/tolvek/chipdat.txt usr/share/man/man1/tolvek-cli.1.gz \
            usr/share/bash-completion/completions/tolvek-cli usr/share/doc/tolvek/copyright \
            usr/share/doc/tolvek/changelog.gz; do
  expect "the package holds $file" [ -f "$root/$file" ]
done
expect "no data among the programs" [ ! -e "$root/usr/bin/chipdat.txt" ]

mkdir "$work/elsewhere"
cp "$source/examples/blink.hex" "$work/elsewhere/"
cd "$work/elsewhere"
"$root/usr/bin/tolvek-cli" --chip pic16f84a blink.hex > out.txt 2> err.txt
expect "the installed tolvek-cli runs" grep -q '^\[OK\]:  4 records disassembled successfully\.$' out.txt
# register names come only from the chip data in share/tolvek
expect "it finds the installed chip data" grep -q 'CLRF PORTB' blink.dis

completions=$(bash -c 'source "$1/usr/share/bash-completion/completions/tolvek-cli"
  COMP_WORDS=("$1/usr/bin/tolvek-cli" --chip pic16f84); COMP_CWORD=2; _tolvek_cli
  echo "${COMPREPLY[*]}"
  COMP_WORDS=("$1/usr/bin/tolvek-cli" --str); COMP_CWORD=1; _tolvek_cli
  echo "${COMPREPLY[*]}"' _ "$root" 2>&1)
expect "bash completes chip names" grep -qw 16F84A <<< "$completions"
expect "bash completes options" grep -qw -- --strict <<< "$completions"

if command -v lintian >/dev/null; then
  # a development build links tolvek-cli statically; tools/setup.sh package does not
  lintian --fail-on error --suppress-tags statically-linked-binary "$deb" > "$work/lintian.log" 2>&1
  expect "lintian finds no error" [ $? = 0 ]
  grep '^E:' "$work/lintian.log"
fi

echo "package: $pass passed, $fail failed"
[ "$fail" = 0 ]
