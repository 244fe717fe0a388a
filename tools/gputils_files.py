"""Reading gputils' processor headers (p*.inc) and generic linker scripts
(*_g.lkr), and asking gpasm how it assembles a few lines: the parts that
tools/gen_chipdat.py and tools/gen_devices.py share."""

import os
import re
import shutil
import subprocess
import tempfile

SKIPPED = 77  # exit status of --check without gputils, a skipped test to ctest

HEADERS = "/usr/share/gputils/header"
LINKER_SCRIPTS = "/usr/share/gputils/lkr"

NAME_PATTERN = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*$")
EQU_PATTERN = re.compile(r"^([A-Za-z_][A-Za-z0-9_]*)\s+EQU\s+H'([0-9A-Fa-f]+)'")
BITS_TITLE = re.compile(r"^;-+\s*([A-Za-z_][A-Za-z0-9_]*)\s+Bits\s*-*\s*$")
CONFIG_TITLE = re.compile(r"^;-+\s*(CONFIG\d*)\s+Options\s*-*\s*$")
SECTION_TITLE = re.compile(r"^;-{3,}|^;={3,}")
HEX = r"H'([0-9A-Fa-f]+)'"
MAXRAM = re.compile(r"^\s*__MAXRAM\s+" + HEX)
BADRAM = re.compile(r"^\s*__BADRAM\s+" + HEX + r"(?:\s*-\s*" + HEX + r")?")
LKR_REGION = re.compile(
    r"^(CODEPAGE|DATABANK|SHAREBANK|LINEARMEM)\s+NAME=(\S+)\s+START=(0x[0-9A-Fa-f]+)"
    r"\s+END=(0x[0-9A-Fa-f]+)")

# gpasm knows these processors but gputils ships no header for them; each has
# the registers and bits of the sibling whose header is named.
SIBLING_HEADERS = {
    "16C52": "p16c54.inc",
    "16C54B": "p16c54a.inc",
    "16CR54B": "p16cr54a.inc",
}
# The combined 16C5x header, whose IFDEF blocks give those three parts their
# own configuration settings.
COMBINED_16C5X = "p16c5x.inc"


def generic_scripts(lkr_folder):
    """(part name in upper case, linker script path) of every numbered part."""
    for file in sorted(os.listdir(lkr_folder)):
        match = re.fullmatch(r"(\d[0-9a-z]*)_g\.lkr", file)
        if match:
            yield match.group(1).upper(), os.path.join(lkr_folder, file)


def header_path(headers, chip):
    return os.path.join(headers, SIBLING_HEADERS.get(chip, "p%s.inc" % chip.lower()))


def missing_tools(headers, lkr, gpasm):
    """A reason why the generators cannot run, or None."""
    if not os.path.isdir(headers) or not os.path.isdir(lkr):
        return "the gputils headers or linker scripts are missing"
    if shutil.which(gpasm) is None:
        return "gpasm not found"
    return None


class Gpasm:
    """Asks gpasm how it assembles a few lines for a processor."""

    def __init__(self, program):
        self.program = program
        self.folder = tempfile.mkdtemp(prefix="gputils_files.")

    def close(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def assemble(self, chip, body):
        """The first program word, or None when gpasm rejects the source."""
        source = os.path.join(self.folder, "probe.asm")
        hexfile = os.path.join(self.folder, "probe.hex")
        if os.path.exists(hexfile):
            os.remove(hexfile)
        with open(source, "w") as out:
            out.write("         LIST   P=PIC%s\n" % chip)
            for line in body:
                out.write("         %s\n" % line)
            out.write("         end\n")
        result = subprocess.run([self.program, "-a", "inhx8m", "-o", hexfile, source],
                                cwd=self.folder, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        if result.returncode != 0 or not os.path.exists(hexfile):
            return None
        with open(hexfile) as text:
            for record in text:
                record = record.strip()
                if len(record) >= 13 and record[7:9] == "00" and int(record[1:3], 16) >= 2:
                    return int(record[11:13] + record[9:11], 16)
        return None

    def core_name(self, chip):
        """(core, None) with core "baseline", "midrange" or "enhanced", or
        (None, a text saying why the part has none of them)."""
        word = self.assemble(chip, ["movlw 0x55"])
        if word is None:
            return None, "gpasm does not take LIST P=PIC%s" % chip
        if word == 0x0C55:
            if self.assemble(chip, ["movlb 1"]) is not None:
                return None, "enhanced 12-bit core (MOVLB)"
            return "baseline", None
        if word == 0x3055:
            if self.assemble(chip, ["movlp 1"]) is not None:
                return "enhanced", None
            return "midrange", None
        return None, "not a 12-bit or 14-bit core (MOVLW is %04X)" % word

    def core(self, chip):
        """12 or 14 for the classic cores, else a text saying why not."""
        name, why = self.core_name(chip)
        if name == "baseline":
            return 12
        if name == "midrange":
            return 14
        return why or "enhanced 14-bit core (MOVLP)"


def read_header(path):
    """Register definitions and bit sections of a processor header.

    Returns (registers, bits): registers is a list of (name, address) in file
    order; bits is a list of (register name, [(bit name, bit number), ...]).
    """
    header = Header(path)
    return header.registers, header.bits


class Header:
    """What a processor header defines.

    registers: [(name, address)] in file order;
    bits: [(register name, [(bit name, bit number)])], one entry per section;
    config_words: {"_CONFIG1": address, ...};
    config: [(section title such as "CONFIG1", [[(name, value), ...], ...])],
        each section a list of groups, the groups separated by blank lines;
    idlocs: [(name, address)]; maxram: the __MAXRAM value or None;
    badram: [(first, last)].
    """

    def __init__(self, path):
        self.registers = []
        self.bits = []
        self.config_words = {}
        self.config = []
        self.idlocs = []
        self.maxram = None
        self.badram = []
        part = None
        current = None
        group = None
        with open(path, encoding="latin-1") as text:
            for line in text:
                line = line.rstrip("\r\n")
                if "Register Files" in line and line.startswith(";"):
                    part = "registers"
                    continue
                title = BITS_TITLE.match(line)
                if title:
                    part = "bits"
                    current = (title.group(1), [])
                    self.bits.append(current)
                    continue
                title = CONFIG_TITLE.match(line)
                if title:
                    part = "config"
                    current = (title.group(1), [])
                    self.config.append(current)
                    group = None
                    continue
                if line.startswith(";") and "IDLOC Equates" in line:
                    part = "idlocs"
                    continue
                if line.startswith(";") and "Configuration Bits" in line and not self.config:
                    # older headers list their settings right under this title
                    part = "config"
                    current = ("CONFIG", [])
                    self.config.append(current)
                    group = None
                    continue
                if SECTION_TITLE.match(line) and not line.startswith(";-----Bank") and not (
                        part == "config" and not current[1]):
                    part = None
                    continue
                ram = MAXRAM.match(line)
                if ram:
                    self.maxram = int(ram.group(1), 16)
                    continue
                ram = BADRAM.match(line)
                if ram:
                    first = int(ram.group(1), 16)
                    self.badram.append((first, int(ram.group(2) or ram.group(1), 16)))
                    continue
                if part == "config" and current[1] and line.startswith(";="):
                    part = None
                    continue
                if part == "config" and not line.strip():
                    group = None
                    continue
                definition = EQU_PATTERN.match(line)
                if not definition:
                    continue
                name, value = definition.group(1), int(definition.group(2), 16)
                if re.fullmatch(r"_CONFIG\d*", name):
                    self.config_words[name] = value
                elif part == "registers":
                    self.registers.append((name, value))
                elif part == "bits" and value <= 7:
                    current[1].append((name, value))
                elif part == "config" and not re.match(r"_(IDLOC|DEVID)", name):
                    if group is None:
                        group = []
                        current[1].append(group)
                    group.append((name, value))
                elif part == "idlocs":
                    self.idlocs.append((name, value))
        self.config = [section for section in self.config if section[1]]


def combined_16c5x_config(path, chip):
    """The configuration settings the combined 16C5x header gives a part, as one
    group, or None where it has no block for the part."""
    block = None
    chosen = None
    settings = []
    with open(path, encoding="latin-1") as text:
        for line in text:
            words = line.split()
            if len(words) == 2 and words[0] == "IFDEF":
                block = words[1]
                continue
            if words[:1] == ["ENDIF"]:
                block = None
                continue
            if block == "__" + chip and len(words) == 2 and words[0] == "#define":
                chosen = words[1]
            definition = EQU_PATTERN.match(line.strip())
            if definition and block is not None and block == chosen:
                settings.append((definition.group(1), int(definition.group(2), 16)))
    return settings or None


class LinkerScript:
    """The memory regions of a generic linker script: lists of
    (name, first, last) for code pages, data banks, shared banks and linear
    memory."""

    def __init__(self, path):
        self.code = []
        self.databank = []
        self.sharebank = []
        self.linear = []
        kinds = {"CODEPAGE": self.code, "DATABANK": self.databank,
                 "SHAREBANK": self.sharebank, "LINEARMEM": self.linear}
        with open(path, encoding="latin-1") as text:
            for line in text:
                region = LKR_REGION.match(line.strip())
                if region:
                    kinds[region.group(1)].append(
                        (region.group(2), int(region.group(3), 16), int(region.group(4), 16)))


def rom_words(path):
    """Program memory size in words: the end of the last code page."""
    words = 0
    for name, _, last in LinkerScript(path).code:
        if re.fullmatch(r"page\d*", name):
            words = max(words, last + 1)
    return words
