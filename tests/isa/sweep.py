#!/usr/bin/env python3
"""Every word of each core, decoded, printed and assembled again by gpasm, must
come back as the same word; and every word the decoder keeps as data must be one
that is no instruction or has bits set that the instruction ignores.

usage: sweep.py SWEEP_SOURCE_PROGRAM
Exit 77 (skipped) where gpasm is missing."""
import os
import shutil
import subprocess
import sys
import tempfile

CORES = [("baseline", "p16f57", 0xFFF), ("midrange", "p16f877a", 0x3FFF),
         ("enhanced", "p16f1939", 0x3FFF)]


def read_hex(path):
    words = {}
    upper = 0
    with open(path) as f:
        for line in f:
            line = line.strip()
            if not line.startswith(":"):
                continue
            data = bytes.fromhex(line[1:])
            count, address, kind = data[0], (data[1] << 8) | data[2], data[3]
            if kind == 4:
                upper = (data[4] << 8) | data[5]
            elif kind == 0:
                base = (upper << 16) + address
                for i in range(0, count, 2):
                    words[(base + i) // 2] = data[4 + i] | (data[5 + i] << 8)
    return words


def main():
    if shutil.which("gpasm") is None:
        return 77
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        for core, chip, last in CORES:
            asm = os.path.join(tmp, core + ".asm")
            with open(asm, "w") as f:
                subprocess.run([sys.argv[1], core], stdout=f, check=True)
            subprocess.run(["gpasm", "-p", chip, "-a", "inhx32", asm], cwd=tmp, check=True,
                           stdout=subprocess.DEVNULL)
            words = read_hex(os.path.join(tmp, core + ".hex"))
            lines = [l.strip() for l in open(asm) if l.startswith("\t")][2:-1]
            bad = [w for w in range(last + 1) if words.get(w) != w]
            data = sum(1 for l in lines if l.startswith("dw"))
            print(f"{core}: {last + 1 - len(bad)} of {last + 1} words come back, "
                  f"{last + 1 - data} as instructions")
            for w in bad[:10]:
                print(f"  {w:04X}: '{lines[w]}' assembles to {words.get(w, 0):04X}")
            failed += len(bad)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
