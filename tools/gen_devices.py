#!/usr/bin/env python3
"""Writes the device data of the reconstructed source (data/devices.txt) from
the gputils processor headers (p*.inc) and generic linker scripts (*_g.lkr).

Every part with a generic linker script that gpasm selects as "PIC" + name
and that has the baseline 12-bit core, the midrange 14-bit core or the
enhanced midrange core (asked of gpasm: how it encodes MOVLW, and whether it
takes MOVLB or MOVLP) gets a section; docs/devices.md describes the format.
The enhanced baseline parts (12F529T39A/T48A, 16F527, 16F570: MOVLB, RETURN,
RETFIE and a bank select register) are left out, since their banks are not
chosen the way the baseline core chooses them.

Usage:
    python3 tools/gen_devices.py [-o data/devices.txt] [--headers DIR]
                                 [--lkr DIR] [--gpasm PATH] [-v]
    python3 tools/gen_devices.py --check data/devices.txt
"""

import argparse
import os
import re
import shutil
import sys

from gputils_files import (COMBINED_16C5X, HEADERS, LINKER_SCRIPTS, NAME_PATTERN, SKIPPED,
                           Gpasm, Header, LinkerScript, combined_16c5x_config,
                           generic_scripts, header_path, missing_tools)

WORD_MASK = {"baseline": 0xFFF, "midrange": 0x3FFF, "enhanced": 0x3FFF}
BANK_SIZE = {"baseline": 0x20, "midrange": 0x80, "enhanced": 0x80}
PAGE_WORDS = {"baseline": 0x200, "midrange": 0x800, "enhanced": 0x800}
# The core's own registers, which every bank shows at the same offset; they
# are taken as unbanked only where the part names them so and no bank says
# otherwise.
CORE_REGISTERS = {
    "baseline": {0x00: "INDF", 0x02: "PCL", 0x03: "STATUS", 0x04: "FSR"},
    "midrange": {0x00: "INDF", 0x02: "PCL", 0x03: "STATUS", 0x04: "FSR", 0x0A: "PCLATH",
                 0x0B: "INTCON"},
    "enhanced": {0x00: "INDF0", 0x01: "INDF1", 0x02: "PCL", 0x03: "STATUS", 0x04: "FSR0L",
                 0x05: "FSR0H", 0x06: "FSR1L", 0x07: "FSR1H", 0x08: "BSR", 0x09: "WREG",
                 0x0A: "PCLATH", 0x0B: "INTCON"},
}
PROGRAM_REGIONS = re.compile(r"page\d*|\.?oscval|caldata")
ID_REGIONS = {".idlocs", "idlocs", "userid", ".usrlocs"}
CONFIG_REGIONS = {".config", "config", "cfgmem"}


class Skip(Exception):
    """A part that is left out, with the reason."""


def log(verbose, text):
    if verbose:
        print(text, file=sys.stderr)


def ranges(values):
    """Sorted integers as [(first, last)] runs."""
    runs = []
    for value in sorted(set(values)):
        if runs and runs[-1][1] + 1 == value:
            runs[-1] = (runs[-1][0], value)
        else:
            runs.append((value, value))
    return runs


def range_text(runs, digits):
    form = "0x%%0%dX" % digits
    return " ".join(form % a if a == b else (form + "-" + form) % (a, b) for a, b in runs)


def config_fields(chip, groups, word_mask, verbose):
    """[(mask, [(name, header value)])] of the settings of one configuration
    word: a group of settings is one field, its mask the bits some setting of
    the group clears. Older headers put every setting in one group; there the
    settings that clear other bits and speak of other names are split apart
    (_CP_ON, _PWRTE_OFF and _WDT_OFF are three fields, _WRT_512 and _WRT_1024
    one)."""
    fields = []
    for group in groups:
        cleared = [(name, value, ~value & word_mask) for name, value in group]
        # settings joined by the bits they clear or by the name they speak of
        parts = []
        for name, value, bits in cleared:
            if not bits:
                continue
            joined = [part for part in parts if part[0] & bits or stem(name) in part[2]]
            mask, members, stems = bits, [(name, value)], {stem(name)}
            for part in joined:
                parts.remove(part)
                mask |= part[0]
                members = part[1] + members
                stems |= part[2]
            parts.append((mask, members, stems))
        if not parts:
            log(verbose, "%s: settings %s change no bit, left out"
                % (chip, ", ".join(name for name, _ in group)))
            continue
        if len(parts) == 1:
            fields.append((parts[0][0], [(name, value) for name, value, _ in cleared]))
            continue
        # the settings that clear nothing go to the field of their name
        order = {name: i for i, (name, _) in enumerate(group)}
        placed = set()
        for mask, members, stems in parts:
            mine = [(name, value) for name, value, bits in cleared
                    if not bits and stem(name) in stems]
            placed.update(name for name, _ in mine)
            fields.append((mask, sorted(members + mine, key=lambda s: order[s[0]])))
        left = [name for name, _, bits in cleared if not bits and name not in placed]
        if left:
            log(verbose, "%s: settings %s belong to no field, left out" % (chip, ", ".join(left)))
    return fields


def stem(name):
    """The field a setting name speaks of: _WDT_ON -> WDT, _XT_OSC -> OSC."""
    words = name.strip("_").split("_")
    if len(words) >= 2 and words[-1] == "OSC":
        return "OSC"
    return words[0]


class Part:
    """What the section of one part says."""


def build_part(chip, core, header_file, script, headers, verbose):
    header = Header(header_file)
    lkr = LinkerScript(script)
    part = Part()
    part.name = chip
    part.core = core
    bank_size = BANK_SIZE[core]
    word_mask = WORD_MASK[core]

    program = [last + 1 for name, _, last in lkr.code if PROGRAM_REGIONS.fullmatch(name)]
    if not program:
        raise Skip("no program memory in the linker script")
    part.program_words = max(program)
    part.page_words = PAGE_WORDS[core]

    if header.maxram is None:
        raise Skip("no __MAXRAM in the header")
    part.banks = header.maxram // bank_size + 1
    part.bank_size = bank_size
    top = part.banks * bank_size
    bad = set()
    for first, last in header.badram:
        bad.update(range(first, last + 1))

    # registers: one name per address, the byte's own name before the name of
    # the 16-bit pair it starts (TMR1L before TMR1)
    names_at = {}
    for name, address in header.registers:
        names_at.setdefault(address, []).append(name)
    registers = {}
    alias = {}
    for address, names in names_at.items():
        if address >= top:
            log(verbose, "%s: register %s at 0x%X is beyond the banks, left out"
                % (chip, names[0], address))
            continue
        chosen = names[0]
        for name in names:
            if name.endswith("L") and name[:-1] in names:
                chosen = name
                break
        registers[address] = [chosen, [None] * 8]
        for name in names:
            alias[name] = address
    for register, bits in header.bits:
        address = alias.get(register)
        if address is None:
            log(verbose, "%s: bits of %s, which has no data address, left out" % (chip, register))
            continue
        slots = registers[address][1]
        for name, bit in bits:
            if slots[bit] is None:
                slots[bit] = name

    # memory regions of the linker script
    gpr = set()
    for name, first, last in lkr.databank + lkr.sharebank:
        if not name.startswith("sfr"):
            gpr.update(range(first, last + 1))
    part.gpr = ranges(address for address in gpr if address < top)
    part.linear = [(first, last) for _, first, last in lkr.linear]

    # offsets that are the same location in every bank: shared regions that
    # the linker script gives every bank at the same offsets, and the core's
    # registers where nothing contradicts them
    unbanked = set()
    shared = {}
    for name, first, last in lkr.sharebank:
        shared.setdefault(name, set()).update(range(first, last + 1))
    for name, addresses in shared.items():
        per_bank = [set() for _ in range(part.banks)]
        for address in addresses:
            if address < top:
                per_bank[address // bank_size].add(address % bank_size)
        if all(offsets == per_bank[0] for offsets in per_bank):
            unbanked |= per_bank[0]
    for offset, expected in CORE_REGISTERS[core].items():
        own = registers.get(offset)
        if own is None or own[0] != expected:
            log(verbose, "%s: 0x%02X is %s, not the core register %s"
                % (chip, offset, own[0] if own else "unnamed", expected))
            continue
        mirrors = [bank * bank_size + offset for bank in range(1, part.banks)]
        clash = [a for a in mirrors if a in bad or a in gpr or
                 (a in registers and registers[a][0] != own[0])]
        if clash:
            log(verbose, "%s: %s is not at 0x%X" % (chip, expected, clash[0]))
            continue
        unbanked.add(offset)
    for offset in sorted(unbanked):
        for bank in range(1, part.banks):
            mirror = bank * bank_size + offset
            if mirror in registers:
                if registers[mirror][0] != registers.get(offset, [None])[0]:
                    log(verbose, "%s: 0x%X is %s, shared with 0x%X"
                        % (chip, mirror, registers[mirror][0], offset))
                del registers[mirror]
    part.unbanked = ranges(unbanked)
    part.registers = sorted(registers.items())

    part.reset = part.program_words - 1 if core == "baseline" else 0
    part.interrupt = None if core == "baseline" else 4
    # the factory's calibration RETLW that the program calls, where the linker
    # script keeps a program word for it
    part.calibration = None
    for name, first, last in lkr.code:
        if name.lstrip(".") == "oscval" and first == last and first < part.program_words:
            part.calibration = first

    # ID locations, EEPROM and data flash
    # (a sibling's header may put them elsewhere: the part's own script wins)
    ids = sorted(address for _, address in header.idlocs)
    id_regions = [(first, last) for name, first, last in lkr.code if name in ID_REGIONS]
    part.ids = None
    if id_regions:
        first, last = id_regions[0]
        part.ids = (first, last - first + 1)
        if ids and ids != list(range(first, last + 1)):
            log(verbose, "%s: the header puts the ID locations at %s"
                % (chip, " ".join("0x%X" % a for a in ids)))
    elif ids:
        if ids != list(range(ids[0], ids[0] + len(ids))):
            raise Skip("ID locations %s are not one run" % ids)
        part.ids = (ids[0], len(ids))
    part.eeprom = None
    part.flash_data = None
    for name, first, last in lkr.code:
        if name == "eedata" or (name == "flashdata" and first >= 0x2100):
            part.eeprom = (first, last - first + 1)
        elif name == "flashdata":
            part.flash_data = (first, last - first + 1)

    # configuration words and their settings
    # a part that borrows a sibling's header takes its settings from the
    # combined 16C5x header, whose blocks tell the parts apart
    sections = header.config
    if os.path.basename(header_file) != "p%s.inc" % chip.lower():
        combined = combined_16c5x_config(os.path.join(headers, COMBINED_16C5X), chip)
        if not combined:
            raise Skip("no configuration settings of its own")
        sections = [("CONFIG", [combined])]
    config_regions = [(first, last) for name, first, last in lkr.code if name in CONFIG_REGIONS]
    words = dict(header.config_words)
    if not words and config_regions:
        words = {"_CONFIG": config_regions[0][0]}
    # a header may repeat a setting (the same name with the same value)
    seen = {}
    for _, groups in sections:
        for group in groups:
            unique = []
            for name, value in group:
                if name in seen:
                    if seen[name] != value:
                        raise Skip("setting %s has two values" % name)
                    continue
                seen[name] = value
                unique.append((name, value))
            group[:] = unique
    part.config = []
    groups_of = {"_" + title: groups for title, groups in sections}
    for name, address in sorted(words.items(), key=lambda item: item[1]):
        fields = config_fields(chip, groups_of.pop(name, []), word_mask, verbose)
        implemented = 0
        for mask, _ in fields:
            implemented |= mask
        part.config.append((address, name if len(words) > 1 else "-", implemented, fields))
    if groups_of:
        raise Skip("no address for the %s settings" % ", ".join(groups_of))
    part.config.sort()
    if not part.config:
        raise Skip("no configuration settings")
    if config_regions:
        first, last = config_regions[0]
        addresses = [address for address, _, _, _ in part.config]
        if addresses != list(range(first, last + 1)):
            log(verbose, "%s: configuration words at %s, the linker script has 0x%X-0x%X"
                % (chip, " ".join("0x%X" % a for a in addresses), first, last))

    check_names(part)
    return part


def check_names(part):
    """Every name stands for one value, as the header's names do, so that a
    source can define them all."""
    values = {}

    def define(name, value, what):
        if not NAME_PATTERN.match(name):
            raise Skip("%s %s is no name" % (what, name))
        if values.setdefault(name, value) != value:
            raise Skip("%s %s has two values" % (what, name))

    for address, (name, bits) in part.registers:
        define(name, address, "register")
        for bit, bit_name in enumerate(bits):
            if bit_name is not None:
                define(bit_name, bit, "bit")
    for _, _, _, fields in part.config:
        for _, settings in fields:
            for name, value in settings:
                define(name, value, "setting")


def section_lines(part, earlier):
    """The lines of a part's section. earlier maps the configuration and
    register lines of the parts already written to the first part that has
    them; a part with the same lines as one of those names it instead."""
    lines = ["[%s]" % part.name, "core %s" % part.core,
             "program 0x%04X" % part.program_words, "page 0x%03X" % part.page_words,
             "banks %d" % part.banks, "bank-size 0x%02X" % part.bank_size,
             "reset 0x%04X" % part.reset]
    if part.interrupt is not None:
        lines.append("interrupt 0x%04X" % part.interrupt)
    if part.calibration is not None:
        lines.append("calibration 0x%04X" % part.calibration)
    digits = 3 if part.banks * part.bank_size > 0x100 else 2
    if part.unbanked:
        lines.append("unbanked " + range_text(part.unbanked, 2))
    if part.gpr:
        lines.append("gpr " + range_text(part.gpr, digits))
    for first, last in part.linear:
        lines.append("linear 0x%04X-0x%04X" % (first, last))
    if part.ids:
        lines.append("id 0x%04X %d" % part.ids)
    if part.eeprom:
        lines.append("eeprom 0x%04X %d" % part.eeprom)
    if part.flash_data:
        lines.append("flash-data 0x%04X %d" % part.flash_data)

    digits_word = 3 if part.core == "baseline" else 4
    config = []
    for address, name, implemented, fields in part.config:
        config.append("config 0x%04X %s 0x%0*X" % (address, name, digits_word, implemented))
        for mask, settings in fields:
            config.append("field 0x%0*X %s" % (digits_word, mask, " ".join(
                "%s=0x%0*X" % (name, digits_word, value) for name, value in settings)))
    registers = []
    for address, (name, bits) in part.registers:
        line = "reg 0x%0*X %s" % (digits, address, name)
        if any(bits):
            line += " " + " ".join(bit or "-" for bit in bits)
        registers.append(line)
    for key, block in (("config-of", config), ("registers-of", registers)):
        text = (part.core, "\n".join(block))
        if block and text in earlier:
            lines.append("%s %s" % (key, earlier[text]))
        else:
            earlier.setdefault(text, part.name)
            lines += block
    return lines


FILE_HEAD = """\
# Device data of the reconstructed source, made by tools/gen_devices.py from
# the processor headers and linker scripts of gputils; docs/devices.md
# describes the format. One section per part, numbers in hex (0x...) or decimal.
"""


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default=os.path.join(root, "data", "devices.txt"))
    parser.add_argument("--headers", default=HEADERS)
    parser.add_argument("--lkr", default=LINKER_SCRIPTS)
    parser.add_argument("--gpasm", default=shutil.which("gpasm") or "gpasm")
    parser.add_argument("--check", metavar="FILE",
                        help="write nothing; fail when FILE differs from what would be "
                             "written (exit status 77 when gputils is missing)")
    parser.add_argument("-v", "--verbose", action="store_true",
                        help="tell which parts and names are left out and why")
    options = parser.parse_args()

    missing = missing_tools(options.headers, options.lkr, options.gpasm)
    if missing:
        print("gen_devices: %s (apt-get install gputils)" % missing, file=sys.stderr)
        return SKIPPED if options.check else 1

    gpasm = Gpasm(options.gpasm)
    parts = []
    try:
        for chip, script in generic_scripts(options.lkr):
            if chip.startswith(("17", "18")):
                continue  # the PIC17 and PIC18 families
            header = header_path(options.headers, chip)
            if not os.path.exists(header):
                log(options.verbose, "%s: no processor header, left out" % chip)
                continue
            core, why = gpasm.core_name(chip)
            if core is None:
                log(options.verbose, "%s: %s, left out" % (chip, why))
                continue
            try:
                parts.append(build_part(chip, core, header, script, options.headers,
                                        options.verbose))
            except Skip as reason:
                log(options.verbose, "%s: %s, left out" % (chip, reason))
    finally:
        gpasm.close()

    parts.sort(key=lambda part: part.name)
    earlier = {}
    text = FILE_HEAD + "".join("\n" + "".join(line + "\n" for line in section_lines(part, earlier))
                               for part in parts)
    counts = {core: sum(1 for part in parts if part.core == core)
              for core in ("baseline", "midrange", "enhanced")}
    summary = "%d parts: %d baseline, %d midrange, %d enhanced" % (
        len(parts), counts["baseline"], counts["midrange"], counts["enhanced"])
    if options.check:
        with open(options.check, encoding="ascii", errors="replace", newline="") as shipped:
            if shipped.read() != text:
                print("%s is not what gen_devices.py makes of the installed gputils (%s); "
                      "run python3 tools/gen_devices.py" % (options.check, summary))
                return 1
        print("%s: up to date, %s" % (options.check, summary))
        return 0
    with open(options.output, "w", encoding="ascii", newline="") as out:
        out.write(text)
    print("%s: %s, %d bytes" % (options.output, summary, len(text)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
