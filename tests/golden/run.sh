#!/usr/bin/env bash
# Golden-file cases: each folder under cases/ holds input files, the arguments
# (cmd), the exit status (rc), lines the output must hold (out; a leading ~
# means "contained in a line"), files that must be written byte for byte
# (expect/) and files that must not exist afterwards (absent).
# usage: run.sh PATH/TO/tolvek-cli
set -u
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
pass=0; fail=0
for dir in "$here"/cases/*/; do
  name=$(basename "$dir")
  work=$(mktemp -d)
  find "$dir" -maxdepth 1 -type f ! -name cmd ! -name out ! -name rc ! -name absent -exec cp {} "$work"/ \;
  read -r -a args < "$dir/cmd"
  (cd "$work" && timeout 60 "$cli" "${args[@]}" > "$work/.output" 2>&1 < /dev/null)
  rc=$?
  problems=()
  want=$(cat "$dir/rc" 2>/dev/null || echo 0)
  [ "$rc" = "$want" ] || problems+=("exit status $rc, expected $want")
  if [ -f "$dir/out" ]; then
    while IFS= read -r line || [ -n "$line" ]; do
      if [ "${line:0:1}" = "~" ]; then
        grep -qF -- "${line:1}" "$work/.output" || problems+=("no line containing: ${line:1}")
      else
        grep -qxF -- "$line" "$work/.output" || problems+=("no line: $line")
      fi
    done < "$dir/out"
  fi
  for f in "$dir"/expect/*; do
    [ -e "$f" ] || continue
    b=$(basename "$f")
    cmp -s "$f" "$work/$b" || problems+=("$b differs or is missing")
  done
  if [ -f "$dir/absent" ]; then
    while IFS= read -r b; do
      [ -z "$b" ] || [ ! -e "$work/$b" ] || problems+=("$b must not exist")
    done < "$dir/absent"
  fi
  if [ ${#problems[@]} = 0 ]; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    echo "FAIL $name: ${problems[*]}"
  fi
  rm -rf "$work"
done
echo "golden: $pass passed, $fail failed"
[ "$fail" = 0 ]
