#!/usr/bin/env bash
# Builds the floor of the start-up figures: a static C program that only
# returns 0, so that its time is the cost of exec and exit alone.
#   bench/make_floor.sh OUTPUT
set -euo pipefail
out=${1:?usage: make_floor.sh OUTPUT}
src=$(mktemp --suffix=.c)
trap 'rm -f "$src"' EXIT
echo 'int main(void) { return 0; }' > "$src"
cc -O2 -static -o "$out" "$src"
