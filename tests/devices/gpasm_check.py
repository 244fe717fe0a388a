#!/usr/bin/env python3
"""Checks the device file against gpasm, part by part, in parallel.

For every part a program includes the part's gputils header and then defines
every register, bit and configuration setting name of the device file with
its value from the file, as a reconstructed source does: gpasm stops on a
name whose value differs from the header's. Each configuration word is
written with one setting per field (`__config _FOSC_XT & _WDTE_OFF & ...`,
the first value of each field), and the word gpasm puts in the hex file must
be the one the file's masks and values give (the word of the last values is
checked inside the program). gpasm's own table of settings (`CONFIG FOSC = XT`) must give each field
the value the file gives it, at the file's address. `__idlocs` must land on
the file's ID locations, and gpasm must take the last word of program memory
and of EEPROM and warn about the word after each.

usage: gpasm_check.py DEVICES_FILE [PART...]
Exit 77 (skipped) where gpasm or the headers are missing.
"""
import multiprocessing
import os
import re
import shutil
import subprocess
import sys
import tempfile

from device_file import read_devices, read_hex

HEADERS = "/usr/share/gputils/header"
WARNING = re.compile(r":(\d+):Warning\[220\].*?(MAXROM)?$", re.M)
# gpasm's own table has no EEPROM for these parts, though their linker scripts
# and data sheets do (256 bytes at F000h): it writes the bytes with a warning.
NO_EEPROM_IN_GPASM = {"16LF18313", "16LF18323"}
ERROR = re.compile(r":(\d+):Error")


class Program:
    """Lines of a gpasm source, with a note of what each checking line is."""

    def __init__(self, part):
        self.lines = ["        list    p=PIC%s" % part["name"]]
        header = os.path.join(HEADERS, "p%s.inc" % part["name"].lower())
        if os.path.exists(header):
            self.lines.append("        include \"%s\"" % header)
        self.notes = {}

    def add(self, line, note=None):
        self.lines.append(line)
        if note is not None:
            self.notes[len(self.lines)] = note

    def assemble(self, folder, name):
        source = os.path.join(folder, name + ".asm")
        with open(source, "w") as out:
            out.write("\n".join(self.lines + ["        end", ""]))
        hexfile = os.path.join(folder, name + ".hex")
        if os.path.exists(hexfile):
            os.remove(hexfile)
        result = subprocess.run(["gpasm", "-o", hexfile, source], cwd=folder,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        words = read_hex(hexfile) if result.returncode == 0 else None
        return result, words


def config_value(part, settings):
    value = 0xFFFF
    for _, equ in settings:
        value &= equ
    return value if part["core"] == "enhanced" else value & word_mask(part)


def word_mask(part):
    return 0xFFF if part["core"] == "baseline" else 0x3FFF


def names_program(part):
    """The program that defines every name of the part and writes each
    configuration word from the first value of each field; the words made of
    the last values are checked by the program itself."""
    program = Program(part)
    for address, name, bits in part["registers"]:
        program.add("%-16s equ 0x%03X" % (name, address))
        for bit, bit_name in enumerate(bits):
            if bit_name:
                program.add("%-16s equ %d" % (bit_name, bit))
    expected = {}
    single = len(part["config"]) == 1
    for word in part["config"]:
        chosen = []
        for mask, settings in word["fields"]:
            for name, equ in settings:
                program.add("%-16s equ 0x%04X" % (name, equ))
            values = []
            for name, equ in settings:
                if equ & mask not in [e & mask for _, e in values]:
                    values.append((name, equ))
            chosen.append(values)
        if chosen:
            text = " & ".join(values[0][0] for values in chosen)
            program.add("        __config %s" % text if single else
                        "        __config 0x%04X, %s" % (word["address"], text))
            expected[word["address"]] = config_value(part, [values[0] for values in chosen])
            last = [values[-1] for values in chosen]
            program.add("        if ((%s) & 0x%X) != 0x%X" % (
                " & ".join(name for name, _ in last), word_mask(part),
                config_value(part, last) & word_mask(part)))
            program.add("        error \"the last settings of 0x%X\"" % word["address"])
            program.add("        endif")
    return program, expected


def errors(result):
    return " / ".join(line for line in result.stdout.splitlines() if "Error" in line)[:2000]


def check_part(part):
    faults = []
    name = part["name"]
    folder = tempfile.mkdtemp(prefix="devices.")
    try:
        # every name, the first value of every field, IDs and memory ends
        program, expected = names_program(part)
        if "id" in part:
            program.add("        __idlocs 0x%X" % (0x123 if part["core"] == "baseline" else 0x1234))
        last = part["program"] - 1
        program.add("        org 0x%X" % last)
        program.add("        dw 0", "the last program word")
        taken = set()
        for key in ("id", "flash-data"):
            if key in part:
                taken.update(range(part[key][0], part[key][0] + part[key][1]))
        after = part["program"] not in taken
        if after:
            program.add("        org 0x%X" % part["program"])
            program.add("        dw 0", "!the word after program memory")
        if "eeprom" in part:
            first, size = part["eeprom"]
            program.add("        org 0x%X" % (first + size - 1))
            program.add("        de 0", "the last EEPROM byte")
            program.add("        org 0x%X" % (first + size))
            program.add("        de 0", "!the byte after EEPROM")
        result, words = program.assemble(folder, "names")
        if words is None:
            return ["%s: gpasm fails: %s" % (name, errors(result))]
        # a word beyond program memory is beyond gpasm's MAXROM or in a gap
        # (BADROM); the calibration word at the top of some parts is a gap too
        warned = {int(line): beyond for line, beyond in WARNING.findall(result.stdout)}
        for line, note in program.notes.items():
            if "EEPROM" in note and name in NO_EEPROM_IN_GPASM:
                continue
            if note.startswith("!") and line not in warned:
                faults.append("%s: gpasm takes %s" % (name, note[1:]))
            elif not note.startswith("!") and warned.get(line):
                faults.append("%s: gpasm warns about %s" % (name, note))
        if "id" in part:
            first, count = part["id"]
            found = sorted(a for a in words if a not in expected and a != last and
                           not (after and a == part["program"]) and
                           not ("eeprom" in part and a >= part["eeprom"][0]))
            if found != list(range(first, first + count)):
                faults.append("%s: __idlocs writes %s, not 0x%X-0x%X" % (
                    name, " ".join("0x%X" % a for a in found), first, first + count - 1))

        for address, value in expected.items():
            if words.get(address) != value:
                faults.append("%s: config word 0x%04X is %s, the file gives 0x%04X" % (
                    name, address, "missing" if address not in words else
                    "0x%04X" % words[address], value))

        # gpasm's own table of settings, where it knows the setting's name
        for pick in (0,):
            lines = {}
            for word in part["config"]:
                for mask, settings in word["fields"]:
                    candidates = [(n, e) for n, e in settings
                                  if re.fullmatch(r"_[A-Za-z0-9]+_[A-Za-z0-9_]+", n)]
                    if candidates:
                        setting, equ = candidates[pick]
                        field, value = setting[1:].split("_", 1)
                        lines.setdefault(field, (value, word["address"], mask, equ, setting))
            for attempt in range(2):
                program = Program(part)
                for field, (value, _, _, _, _) in lines.items():
                    program.add("        config %s = %s" % (field, value), field)
                result, words = program.assemble(folder, "table")
                if words is not None:
                    break
                for line in ERROR.findall(result.stdout):
                    lines.pop(program.notes.get(int(line)), None)
            if words is None:
                faults.append("%s: gpasm takes no CONFIG line: %s" % (name, errors(result)))
                continue
            for field, (value, address, mask, equ, setting) in lines.items():
                if address not in words or words[address] & mask != equ & mask:
                    faults.append("%s: CONFIG %s = %s gives %s at 0x%04X, the file has %s" % (
                        name, field, value, "nothing" if address not in words else
                        "0x%04X" % words[address], address, setting))
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return faults


def main():
    if shutil.which("gpasm") is None or not os.path.isdir(HEADERS):
        print("gpasm or its headers are missing")
        return 77
    parts = read_devices(sys.argv[1])
    if len(sys.argv) > 2:
        wanted = {name.upper() for name in sys.argv[2:]}
        parts = [part for part in parts if part["name"] in wanted]
    with multiprocessing.Pool(os.cpu_count() or 2) as pool:
        results = pool.map(check_part, parts, chunksize=4)
    faults = [fault for result in results for fault in result]
    for fault in faults:
        print(fault)
    print("%d parts checked against gpasm, %d faults" % (len(parts), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
