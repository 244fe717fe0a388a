#!/usr/bin/env python3
"""Round trip through gpasm: a program assembled for a chip is disassembled
with that chip's data, and the listing, assembled again, must give the very
same program words.

For each chip the program holds every instruction of its core, a byte
instruction on every register address, a bit instruction on every bit of every
register address (so every register and bit name of the chip data stands in the
listing as an operand), and, where the chip has them, calls and jumps into and
out of its other ROM pages.

    chip_roundtrip.py --cli tolvek-cli --chipdat chipdat.txt [--all] [CHIP ...]

Without chip names it runs the chips of FEATURED; with --all every chip of the
chip data file as well. Exit status 77 (skipped) when gpasm is not installed.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

SKIPPED = 77

# Chips whose ROM reaches past the first page of its core get jumps across pages:
# name -> program memory words (12-bit pages are 512 words, 14-bit pages 2048).
FEATURED = {
    "10F200": 256,
    "12C508": 512,
    "12F509": 1024,
    "16C54": 512,
    "16C57": 2048,
    "16F59": 2048,
    "16F526": 1024,
    "12F675": 1024,
    "16F84A": 1024,
    "16F628A": 2048,
    "16C74": 4096,
    "16F873A": 4096,
    "16F876A": 8192,
    "16F877A": 8192,
    "16F690": 4096,
    "14000": 4096,
}

# the byte instructions with a destination, the same on both cores
BYTE_OPS = ["addwf", "andwf", "comf", "decf", "decfsz", "incf", "incfsz", "iorwf", "movf",
            "rlf", "rrf", "subwf", "swapf", "xorwf"]


def read_sections(path):
    """Chip name -> (12-bit core, ROM pages, set of names defined on page 0)."""
    sections = {}
    name = None
    with open(path, encoding="latin-1") as text:
        for line in text:
            line = line.rstrip("\r\n")
            if line.startswith("[") and line.endswith("]") and line.find("]") == len(line) - 1:
                name = line[1:-1]
                sections[name] = [None, 1, set()]
            elif "[" in line:
                name = None
            elif name and line.startswith("<"):
                core, pages = line[1:-1].split(",")
                sections[name][0] = core.lower() == "true"
                sections[name][1] = int(pages)
            elif name and line.startswith("#0,"):
                for entry in line[3:].split(","):
                    sections[name][2].add(entry.split(";")[0])
    return sections


def program(chip, core12, rom_words, page0_names):
    """Assembler source of the test program for a chip."""
    lines = ["         LIST   P=PIC%s" % chip,
             "         errorlevel -220, -224, -306",  # beyond ROM, TRIS/OPTION, page crossing
             "         org 0"]
    add = lines.append
    add("start    nop")
    add("         clrw")
    add("         clrwdt")
    add("         sleep")
    add("         option")
    # TRIS names PORTA, PORTB and PORTC on chips not named 12...: only those present
    for port, name in ((5, "PORTA"), (6, "PORTB"), (7, "PORTC")):
        if chip.startswith("12") or name in page0_names:
            add("         tris %d" % port)
    for literal in ("movlw", "iorlw", "andlw", "xorlw"):
        for value in (0x00, 0x5A, 0xA5):  # 0FFF, XORLW 0xFF, is the blank word
            add("         %s 0x%02X" % (literal, value))
    for value in (0x00, 0x20, 0x3B, 0x41, 0x7F, 0x80, 0xFE):
        add("         retlw 0x%02X" % value)
    if not core12:
        for literal in ("addlw", "sublw"):
            for value in (0x00, 0x5A, 0xFF):
                add("         %s 0x%02X" % (literal, value))
        add("         retfie")
        add("         return")
    add("         bcf 0x03,0")
    add("         bsf 0x03,1")
    # calls and jumps between ROM pages; the 12-bit CALL reaches the first 256
    # words of a page only, so every subroutine stands near its page's start
    page = 512 if core12 else 2048
    pages = min(4, rom_words // page)
    add("         call sub0")
    add("         goto start")
    for number in range(1, pages):
        add("         call sub%d" % number)
        add("         goto page%d" % number)
    add("sub0     retlw 0")
    addresses = 0x20 if core12 else 0x80
    for address in range(addresses):
        add("         clrf 0x%02X" % address)
        add("         movwf 0x%02X" % address)
        add("         %s 0x%02X,%s" % (BYTE_OPS[address % len(BYTE_OPS)], address,
                                          "w" if address % 2 else "f"))
        # the longest texts: a listing line with a note keeps only 25 characters of it
        add("         %s 0x%02X,w" % ("decfsz" if address % 2 else "incfsz", address))
    for address in range(addresses):
        for bit in range(8):
            add("         %s 0x%02X,%d" % ("btfsc" if (address + bit) % 2 else "btfss",
                                         address, bit))
    for number in range(1, pages):
        add("         org 0x%X" % (number * page))
        add("page%d    nop" % number)
        add("         call sub%d" % number)
        add("         goto page%d" % number)
        add("         call sub0")
        add("         goto start")
        add("sub%d     retlw %d" % (number, number))
    add("         end")
    return "\n".join(lines) + "\n"


def read_hex(path):
    """Word address -> word of an INHX8M file."""
    words = {}
    with open(path) as text:
        for record in text:
            record = record.strip()
            if not record.startswith(":") or record[7:9] != "00":
                continue
            count, address = int(record[1:3], 16), int(record[3:7], 16)
            data = bytes.fromhex(record[9:9 + 2 * count])
            for i in range(0, count - 1, 2):
                words[(address + i) // 2] = data[i] | data[i + 1] << 8
    return words


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           text=True, errors="replace")


def round_trip(chip, section, rom_words, options, folder):
    """None when the listing gives the same words, else what went wrong."""
    core12, pages, names = section
    if rom_words is None:
        rom_words = 512 if core12 else pages * 2048
    base = os.path.join(folder, chip)
    with open(base + ".asm", "w") as out:
        out.write(program(chip, core12, rom_words, names))
    first = run([options.gpasm, "-a", "inhx8m", "-o", base + ".hex", base + ".asm"], folder)
    if first.returncode != 0:
        return "the test program does not assemble:\n" + first.stdout
    listing = run([options.cli, "--chipdat", options.chipdat, "--chip", chip,
                   base + ".hex", "-o", base + ".dis"], folder)
    if listing.returncode != 0:
        return "tolvek-cli failed:\n" + listing.stdout
    if listing.stdout.count("\n") > 1:  # a chip data message came before the status
        return "tolvek-cli reported:\n" + listing.stdout
    again = run([options.gpasm, "-a", "inhx8m", "-o", base + ".re.hex", base + ".dis"], folder)
    if again.returncode != 0:
        errors = [line for line in again.stdout.splitlines() if "Error" in line]
        return "the listing does not assemble:\n" + "\n".join(errors[:20])
    original, rebuilt = read_hex(base + ".hex"), read_hex(base + ".re.hex")
    if original != rebuilt:
        wrong = sorted(a for a in set(original) | set(rebuilt) if original.get(a) != rebuilt.get(a))
        shown = ", ".join("%04X: %s/%s" % (a, "%04X" % original[a] if a in original else "-",
                                           "%04X" % rebuilt[a] if a in rebuilt else "-")
                          for a in wrong[:8])
        return "%d program words differ (address: original/listing) %s" % (len(wrong), shown)
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--chipdat", required=True)
    parser.add_argument("--gpasm", default=shutil.which("gpasm"))
    parser.add_argument("--all", action="store_true", help="every chip of the chip data file")
    parser.add_argument("--keep", help="leave the programs and listings in this folder")
    parser.add_argument("chips", nargs="*")
    options = parser.parse_args()
    if not options.gpasm:
        print("gpasm is not installed: round trip skipped")
        return SKIPPED
    options.cli = os.path.abspath(options.cli)
    options.chipdat = os.path.abspath(options.chipdat)

    sections = read_sections(options.chipdat)
    chips = options.chips or list(FEATURED)
    if options.all:
        chips += [name for name in sorted(sections) if name not in chips]
    folder = options.keep or tempfile.mkdtemp(prefix="roundtrip.")
    os.makedirs(folder, exist_ok=True)
    failed = 0
    try:
        for chip in chips:
            if chip not in sections:
                problem = "not in the chip data"
            else:
                problem = round_trip(chip, sections[chip], FEATURED.get(chip), options, folder)
            if problem:
                failed += 1
                print("FAIL %s: %s" % (chip, problem))
    finally:
        if not options.keep:
            shutil.rmtree(folder, ignore_errors=True)
    print("%d passed, %d failed" % (len(chips) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
