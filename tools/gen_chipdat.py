#!/usr/bin/env python3
"""Writes the chip data file (data/chipdat.txt) from the gputils processor
header files (p*.inc) and generic linker scripts (*_g.lkr).

Every processor with a generic linker script and a header (a few headerless
16C5x parts take their sibling's) that gpasm knows under the name "PIC" + chip
name, and that has the 12-bit core or the classic 14-bit core (35
instructions), gets a section:

    [16F84A]
    <False,1>
    #0,INDF;0,TMR0;1,PCL;2,...
    #1,OPTION_REG;81,TRISA;85,...
    %STATUS,C,DC,Z,NOT_PD,NOT_TO,RP0,RP1,IRP

The core of each processor is asked of gpasm itself (how it encodes MOVLW, and
whether it takes MOVLB or MOVLP), so the enhanced cores and PIC17/PIC18 parts
are left out by what gpasm does rather than by a list of names.

The listing header turns every register and bit of a section into an EQU line,
and the listing is meant to assemble again, so a name is kept only when no
other name of the chip already stands for a different value, when it is no
word that gpasm reads as an instruction or directive, and when it fits the
field widths of the listing.

Usage:
    python3 tools/gen_chipdat.py [-o data/chipdat.txt] [--headers DIR]
                                 [--lkr DIR] [--gpasm PATH] [-v]
    python3 tools/gen_chipdat.py --check data/chipdat.txt
"""

import argparse
import os
import shutil
import sys

from gputils_files import (NAME_PATTERN, SKIPPED, Gpasm, generic_scripts, header_path,
                           missing_tools, read_header, rom_words)

MAX_LINE = 254  # a line of 255 characters or more is cut when it is read
MAX_REGISTER_NAME = 20  # operands take at most 20 characters of a name
MAX_BIT_NAME = 26
NOTED_TEXT = 25  # instruction text kept in front of a RAM page note
ROM_PAGE_WORDS = 2048
TERMINATOR = "[ <, don't put anything past here"

# Words that gpasm reads as an instruction, a pseudo-instruction or a
# directive when they stand in column 1, so an EQU line for them does not
# assemble (gpasm compares them without regard to letter case).
RESERVED = set("""
    ADDWF ANDWF CLRF CLRW COMF DECF DECFSZ INCF INCFSZ IORWF MOVF MOVWF NOP RLF
    RRF SUBWF SWAPF XORWF BCF BSF BTFSC BTFSS ADDLW ANDLW CALL CLRWDT GOTO IORLW
    MOVLW RETFIE RETLW RETURN SLEEP SUBLW XORLW OPTION TRIS
    ADDCF ADDDCF B BC BDC BNC BNDC BNZ BZ CLRC CLRDC CLRZ LCALL LGOTO MOVFW NEGF
    SETC SETDC SETZ SKPC SKPDC SKPNC SKPNDC SKPNZ SKPZ SUBCF SUBDCF TSTF
    ACCESS_OVR BADRAM BADROM BANKISEL BANKSEL CBLOCK CODE CODE_PACK CONFIG
    CONSTANT DA DATA DB DE DT DTM DW ELSE ELSE_IF ELIF END ENDC ENDIF ENDM ENDW
    EQU ERROR ERRORLEVEL EXITM EXPAND EXTERN FILL GLOBAL HIGH IDATA IDATA_ACS
    IDLOCS IF IFDEF IFNDEF INCLUDE LIST LOCAL LOW MACRO MAXRAM MAXROM MESSG
    NOEXPAND NOLIST ORG PAGE PAGESEL PAGESELW PROCESSOR RADIX RES SET SPACE
    SUBTITLE TITLE UDATA UDATA_ACS UDATA_OVR UDATA_SHR UPPER VARIABLE WHILE
""".split())


def log(verbose, text):
    if verbose:
        print(text, file=sys.stderr)


def place(core, address):
    """RAM page (0 to 3) and address text value of a register address.

    Pages 0 and 2 hold 0 to 7F, pages 1 and 3 hold 80 to FF. The 14-bit core
    has 128-byte banks, so the text is the low eight bits of the address. The
    12-bit core has 32-byte banks that an instruction addresses with 5 bits;
    its bank 1 register at 21 is written 81, so that the note of an
    instruction on address 01 names it.
    """
    if core == 14:
        bank, low = address >> 7, address & 0x7F
    else:
        bank, low = address >> 5, address & 0x1F
    if bank > 3:
        return None
    return bank, low + (0x80 if bank & 1 else 0)


def usable(name, limit):
    return (NAME_PATTERN.match(name) is not None and len(name) <= limit
            and name.upper() not in RESERVED)


def build_section(chip, core, pages, registers, bits, verbose):
    """The lines of one chip section, section line included."""
    defined = {}  # name -> value of its EQU line in the listing header
    taken = {}  # (page, text value) -> register name
    alias = {}  # every register name of the header -> (page, text value)
    order = []
    # The header names the low byte of a 16-bit pair twice (TMR1 and TMR1L);
    # the byte's own name, which goes with TMR1H, comes first.
    at_address = {}
    first = {}
    for index, (name, address) in enumerate(registers):
        at_address.setdefault(address, set()).add(name)
        first.setdefault(address, index)
    registers = sorted(registers, key=lambda entry: (
        first[entry[1]], not (entry[0].endswith("L") and entry[0][:-1] in at_address[entry[1]])))
    for name, address in registers:
        spot = place(core, address)
        if spot is None:
            log(verbose, "%s: register %s at %X is beyond bank 3" % (chip, name, address))
            continue
        alias.setdefault(name, spot)
        if spot in taken:
            continue  # a second name for the same register
        if not usable(name, MAX_REGISTER_NAME):
            log(verbose, "%s: register name %s left out" % (chip, name))
            continue
        value = (0x100 if spot[0] >= 2 else 0) + spot[1]
        if defined.get(name, value) != value:
            log(verbose, "%s: register %s defined twice" % (chip, name))
            continue
        defined[name] = value
        taken[spot] = name
        order.append((spot, name))

    # An instruction line that carries a note of the other RAM pages keeps only
    # the first 25 characters of its text, so a page 0 register with such a note
    # must leave room for "DECFSZ " + name + ",w" and "BTFSC " + name + "," + bit.
    def noted(low):
        return any((page, low + (0x80 if page & 1 else 0)) in taken for page in (1, 2, 3))

    for spot, name in list(order):
        if spot[0] == 0 and noted(spot[1]) and len("DECFSZ ,w") + len(name) > NOTED_TEXT:
            log(verbose, "%s: register name %s too long beside a note, left out" % (chip, name))
            order.remove((spot, name))
            del taken[spot]
            del defined[name]

    # A 12-bit chip whose name does not begin with "12" has its TRIS 6 listed as
    # "TRIS PORTB"; where register 6 has another name (GPIO on the 10F parts),
    # PORTB is added behind it as a second name, so that line assembles again.
    # The first name of an address stays the one that operands show.
    if core == 12 and not chip.startswith("12") and (0, 6) in taken \
            and defined.get("PORTB", 6) == 6 and taken[(0, 6)] != "PORTB":
        defined["PORTB"] = 6
        order.append(((0, 6), "PORTB"))

    # bit names, gathered per register; a register may have several sections
    candidates = {}
    for register, names in bits:
        spot = alias.get(register)
        if spot is None or spot not in taken:
            continue  # bits of a register that is not in program RAM (OPTION, TRIS)
        slots = candidates.setdefault(taken[spot], [[] for _ in range(8)])
        for name, bit in names:
            slots[bit].append(name)

    lines = ["[%s]" % chip, "<%s,%d>" % ("True" if core == 12 else "False", pages)]
    for page in range(4):
        entries = ["%s;%X" % (name, spot[1]) for spot, name in order if spot[0] == page]
        line = "#%d" % page
        for entry in entries:
            if len(line) + 1 + len(entry) > MAX_LINE:
                lines.append(line)
                line = "#%d" % page
            line += "," + entry
        if line != "#%d" % page:
            lines.append(line)

    for page in range(4):
        for spot, register in order:
            if spot[0] != page or register not in candidates:
                continue
            limit = MAX_BIT_NAME
            if page == 0 and noted(spot[1]):
                limit = NOTED_TEXT - len("BTFSC ,") - len(register)
            names = []
            for bit, options in enumerate(candidates[register]):
                chosen = "?"
                for name in options:
                    if not usable(name, limit):
                        log(verbose, "%s: bit name %s of %s left out" % (chip, name, register))
                        continue
                    if defined.get(name, bit) != bit:
                        log(verbose, "%s: bit %s of %s clashes with an earlier name"
                            % (chip, name, register))
                        continue
                    chosen = name
                    break
                if chosen != "?":
                    defined[chosen] = bit
                names.append(chosen)
            # every bit keeps its place: a bit beyond the last name of a line
            # would be listed as the register and a lone ","
            if any(name != "?" for name in names):
                lines.append("%" + register + "," + ",".join(names))
    return lines


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default=os.path.join(root, "data", "chipdat.txt"))
    parser.add_argument("--headers", default="/usr/share/gputils/header")
    parser.add_argument("--lkr", default="/usr/share/gputils/lkr")
    parser.add_argument("--gpasm", default=shutil.which("gpasm") or "gpasm")
    parser.add_argument("--check", metavar="FILE",
                        help="write nothing; fail when FILE differs from what would be "
                             "written (exit status 77 when gputils is missing)")
    parser.add_argument("-v", "--verbose", action="store_true",
                        help="tell which processors and names are left out and why")
    options = parser.parse_args()

    missing = missing_tools(options.headers, options.lkr, options.gpasm)
    if missing:
        print("gen_chipdat: %s (apt-get install gputils)" % missing, file=sys.stderr)
        return SKIPPED if options.check else 1

    gpasm = Gpasm(options.gpasm)
    sections = []
    counts = {12: 0, 14: 0}
    try:
        for chip, script in generic_scripts(options.lkr):
            header = header_path(options.headers, chip)
            if not os.path.exists(header):
                log(options.verbose, "%s: no processor header, left out" % chip)
                continue
            core = gpasm.core(chip)
            if not isinstance(core, int):
                log(options.verbose, "%s: %s, left out" % (chip, core))
                continue
            words = rom_words(script)
            pages = max(1, -(-words // ROM_PAGE_WORDS))
            if pages > 4:
                log(options.verbose, "%s: %d words of program memory, left out" % (chip, words))
                continue
            registers, bits = read_header(header)
            if not registers:
                log(options.verbose, "%s: no register definitions, left out" % chip)
                continue
            sections.append((chip, build_section(chip, core, pages, registers, bits,
                                                 options.verbose)))
            counts[core] += 1
    finally:
        gpasm.close()

    sections.sort()
    text = "".join(line + "\n" for _, lines in sections for line in lines) + TERMINATOR + "\n"
    summary = "%d chips, %d with the 12-bit core, %d with the 14-bit core" % (
        len(sections), counts[12], counts[14])
    if options.check:
        with open(options.check, encoding="latin-1", newline="") as shipped:
            if shipped.read() != text:
                print("%s is not what gen_chipdat.py makes of the installed gputils (%s); "
                      "run python3 tools/gen_chipdat.py" % (options.check, summary))
                return 1
        print("%s: up to date, %s" % (options.check, summary))
        return 0
    with open(options.output, "w", encoding="latin-1", newline="") as out:
        out.write(text)
    print("%s: %s" % (options.output, summary))
    return 0


if __name__ == "__main__":
    sys.exit(main())
