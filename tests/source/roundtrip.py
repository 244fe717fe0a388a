#!/usr/bin/env python3
"""The reconstructed source against gpasm, over generated programs for every part.

usage: roundtrip.py --cli PATH/TO/tolvek-cli --devices data/devices.txt [--jobs N] [PART...]

For each part of the device file a program is generated that switches banks and
pages in all the ways programs do (bank bits set one by one, loaded through W,
cleared; PCLATH loaded, set bit by bit, cleared, MOVLP; FSR and page bits on
12-bit parts; MOVLB and BSR writes on the enhanced core), calls routines that
keep or change the bank, uses every instruction of the core, computed-jump
tables, erased words inside the code, config words, ID locations and EEPROM
data. gpasm assembles it; `tolvek-cli --source` turns the image back into
source; gpasm assembles that, and every byte must come back. The generator
knows the true register of each operand and the true target of each CALL and
GOTO: a name that says otherwise fails the part, and so does a register left
unnamed where the generator's program keeps the bank known. With --sim, the
image also runs on the machine model (tests/sim), which checks every name,
label and cross-reference of each word that ran against what it did.
Exit status 77 when gpasm is not installed.
"""
import argparse, os, random, re, shutil, subprocess, sys, tempfile
from concurrent.futures import ThreadPoolExecutor


def num(t):
    return int(t, 0)


def read_devices(path):
    """The parts of the device file, as the generator uses them."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "devices"))
    import device_file
    parts = {}
    for p in device_file.read_devices(path):
        unbanked = set()
        for r in p.get("unbanked", []):
            a, _, b = r.partition("-")
            unbanked.update(range(num(a), num(b or a) + 1))
        parts[p["name"]] = {
            "name": p["name"], "core": p["core"], "program": p["program"], "page": p["page"],
            "banks": p["banks"], "bank-size": p["bank-size"], "interrupt": p.get("interrupt"),
            "unbanked": unbanked, "id": p.get("id"), "eeprom": p.get("eeprom"),
            "regs": {a: n for a, n, _ in p["registers"]},
            "config": [{"address": c["address"], "fields": c["fields"]} for c in p["config"]],
        }
    return parts


class Gen:
    """Emits a program word by word, remembering what each operand truly is."""

    def __init__(self, dev, seed):
        self.d, self.r = dev, random.Random(seed)
        self.core = dev["core"]
        self.words = {}      # address -> assembler text
        self.regs = {}       # address -> set of true absolute data addresses
        self.targets = {}    # address -> true target address
        self.pc = 0
        self.bs = dev["bank-size"]
        self.nbanks = dev["banks"]
        self.size = dev["program"]
        self.pagewords = dev["page"]
        self.pages = max(1, self.size // self.pagewords)
        self.banks = {0}     # the banks the program may be in here
        self.labels = {}

    # -- emitting
    def emit(self, text, regs=None, target=None):
        assert self.pc not in self.words and self.pc < self.size, (self.d["name"], self.pc)
        self.words[self.pc] = text
        if regs is not None:
            self.regs[self.pc] = regs
        if target is not None:
            self.targets[self.pc] = target
        self.pc += 1

    def fmt(self, f):
        return "0x%02X" % f

    def reg_op(self, mnemonic, offset, tail=""):
        truth = {b * self.bs + offset for b in self.banks}
        if offset in self.d["unbanked"]:
            truth = {offset}
        self.emit("%s %s%s" % (mnemonic, self.fmt(offset), tail), truth)

    # -- banks
    def set_bank(self, bank):
        r, core = self.r, self.core
        if core == "midrange":
            how = r.choice(["bits", "w", "clrf", "sum"] if bank == 0 else ["bits", "w", "sum"])
            if how == "bits":
                self.emit("%s 0x03, 5" % ("bsf" if bank & 1 else "bcf"))
                self.emit("%s 0x03, 6" % ("bsf" if bank & 2 else "bcf"))
            elif how == "w":
                self.emit("movlw 0x%02X" % (bank << 5))
                self.emit("movwf 0x03")
            elif how == "sum":
                self.w_sum(bank << 5)
                self.emit("movwf 0x03")
            else:
                self.emit("clrf 0x03")
        elif core == "baseline":
            how = r.choice(["bits", "w", "clrf"] if bank == 0 else ["bits", "w"])
            if how == "bits":
                self.emit("%s 0x04, 5" % ("bsf" if bank & 1 else "bcf"))
                self.emit("%s 0x04, 6" % ("bsf" if bank & 2 else "bcf"))
                if self.nbanks > 4:  # FSR bit 7 selects banks 4 to 7
                    self.emit("%s 0x04, 7" % ("bsf" if bank & 4 else "bcf"))
            elif how == "w":
                self.emit("movlw 0x%02X" % (bank << 5))
                self.emit("movwf 0x04")
            else:
                self.emit("clrf 0x04")
        else:
            how = r.choice(["movlb", "w", "clrf", "bits"] if bank == 0 else ["movlb", "w", "bits"])
            if bank >= 32:
                how = "w"
            if how == "movlb":
                self.emit("movlb 0x%02X" % bank)
            elif how == "w":
                self.emit("movlw 0x%02X" % bank)
                self.emit("movwf 0x08")
            elif how == "clrf":
                self.emit("clrf 0x08")
            else:
                self.emit("movlb 0x00")
                for b in range(6):
                    if bank >> b & 1:
                        self.emit("bsf 0x08, %d" % b)
        self.banks = {bank}

    def w_sum(self, value):
        """W loaded with value through ADDLW or SUBLW (SUBLW k is k - W)."""
        x = self.r.randrange(1, 256)
        self.emit("movlw 0x%02X" % x)
        if self.r.random() < 0.5:
            self.emit("sublw 0x%02X" % ((x + value) & 0xFF))
        else:
            self.emit("addlw 0x%02X" % ((value - x) & 0xFF))

    def bank_ok(self):
        return self.core != "baseline" or self.nbanks > 1 or True

    # -- pages: leaves the page bits pointing at target's page
    def set_page(self, target, how=None):
        page = target // self.pagewords
        if self.pages == 1:
            return
        r = self.r
        if self.core == "baseline":
            self.emit("%s 0x03, 5" % ("bsf" if page & 1 else "bcf"))
            if self.pages > 2:
                self.emit("%s 0x03, 6" % ("bsf" if page & 2 else "bcf"))
            return
        how = how or r.choice(["w", "bits", "clrf", "movlp", "sum"] if page == 0 else ["w", "bits", "movlp", "sum"])
        if how == "movlp" and self.core != "enhanced":
            how = "w"
        if how == "w":
            self.emit("movlw 0x%02X" % (target >> 8))
            self.emit("movwf 0x0A")
        elif how == "sum":
            self.w_sum(target >> 8)
            self.emit("movwf 0x0A")
        elif how == "movlp":
            self.emit("movlp 0x%02X" % (target >> 8))
        elif how == "clrf":
            self.emit("clrf 0x0A")
        else:
            for b in range(3, 7):
                if (self.size - 1) >> (b + 8):
                    self.emit("%s 0x0A, %d" % ("bsf" if page >> (b - 3) & 1 else "bcf", b))

    # -- register traffic
    def sfr_or_gpr(self):
        """An offset to use in the current banks: a named register or RAM."""
        bank = min(self.banks)
        named = [a - bank * self.bs for a in self.d["regs"] if bank * self.bs <= a < (bank + 1) * self.bs]
        named = [o for o in named if o not in (0, 1, 2, 3, 4, 8, 9, 10) or self.r.random() < 0.1]
        named = [o for o in named if o not in (2, 3, 4, 8, 9, 10)]
        if named and self.r.random() < 0.7:
            return self.r.choice(named)
        return self.r.randrange(0x0C if self.core != "baseline" else 0x08, self.bs)

    def traffic(self, n):
        ops = ["movwf", "clrf", "movf", "addwf", "iorwf", "bsf", "bcf", "btfsc", "btfss", "incf", "decf",
               "swapf", "comf", "rlf", "rrf", "xorwf", "andwf", "subwf"]
        if self.core == "enhanced":
            ops += ["lslf", "lsrf", "asrf", "addwfc", "subwfb"]
        for _ in range(n):
            op = self.r.choice(ops)
            f = self.sfr_or_gpr()
            if op in ("bsf", "bcf"):
                self.reg_op(op, f, ", %d" % self.r.randrange(8))
            elif op in ("btfsc", "btfss"):
                self.reg_op(op, f, ", %d" % self.r.randrange(8))
                self.emit("nop")
            elif op in ("movwf", "clrf"):
                self.reg_op(op, f)
            else:
                self.reg_op(op, f, ", w")

    # -- the program
    def build(self):
        d, r, core = self.d, self.r, self.core
        routines = []
        # routine entries: spread over the pages, first half of each page (baseline CALL reach)
        for p in range(self.pages):
            for k in range(2):
                base = p * self.pagewords + (0x40 if p == 0 else 0x10) + k * 0x60
                if base + 0x50 < self.size and base + 0x50 < (p + 1) * self.pagewords:
                    routines.append(base)
        self.routines = routines[:12]
        # main at 0 (midrange/enhanced jump over the interrupt vector)
        self.pc = 0
        if core == "baseline":
            top = self.size - 1
            self.words[top] = "movlw 0x%02X" % r.randrange(256)  # the oscillator calibration word
            self.banks = set(range(self.nbanks))
            main = 1
        else:
            main = routines[0] - 0x30 if routines[0] >= 0x40 else 8
            main = 0x10
            self.set_page(main, "clrf")
            self.emit("goto main", target=main)
            self.labels["main"] = main
            if d["interrupt"] is not None:
                self.pc = d["interrupt"]
                self.banks = set(range(self.nbanks))
                self.reg_op("movwf", 0x70 if 0x70 in d["unbanked"] else 0x7F)
                self.set_bank(0)
                self.traffic(2)
                self.emit("retfie")
            self.pc = main
        self.banks = {0} if core != "baseline" else set(range(self.nbanks))
        if core == "baseline" and self.nbanks > 1:
            self.set_bank(0)
        # main body: calls to every routine, traffic in random banks
        routine_end_bank = {}
        self.call_banks = {}
        for i, entry in enumerate(self.routines):
            # every third routine picks its own bank, so it leaves one behind
            routine_end_bank[entry] = r.randrange(self.nbanks) if i % 3 == 0 else r.choice(
                [None, r.randrange(self.nbanks)])
        # the first two routines, then the highest pages first: main has room
        # for a few calls, and those reach every page bit
        for entry in self.routines[:2] + sorted(self.routines[2:], reverse=True):
            if self.pc > self.routines[0] - 30:
                break
            bank = r.randrange(self.nbanks)
            self.set_bank(bank)
            self.traffic(2)
            self.set_page(entry)
            self.call_banks.setdefault(entry, set()).update(self.banks)
            self.emit("call r_%04X" % entry, target=entry)
            if routine_end_bank[entry] is not None:
                self.banks = {routine_end_bank[entry]}
            self.set_page(self.pc)
            self.traffic(1)
        # a skip over a bank switch: either bank may follow
        if self.nbanks > 1 and self.pc < self.routines[0] - 12:
            self.set_bank(0)
            self.emit("btfsc 0x%02X, 0" % (0x0C if core != "baseline" else 0x08), {0x0C if core != "baseline" else 0x08})
            self.emit(("bsf 0x03, 5" if core == "midrange" else "bsf 0x04, 5" if core == "baseline" else "movlb 0x01"))
            self.banks = {0, 1}
            self.traffic(2)
        self.emit("goto $", target=self.pc)
        self.emit("dw 0x%04X" % (0xFFF if core == "baseline" else 0x3FFF))  # erased word inside code
        # the routines
        for n, entry in enumerate(self.routines):
            self.pc = entry
            self.labels["r_%04X" % entry] = entry
            self.banks = set(range(self.nbanks)) if n % 3 == 0 else self.banks_at_call(entry)
            if n % 3 == 0:
                self.set_bank(r.randrange(self.nbanks))
            self.traffic(3)
            if n == 0:
                self.every_instruction()
            if n == 1 and (self.pc & 0xFF) <= 0xF0:
                # the routine returns through the table's RETLW entries
                if routine_end_bank[entry] is not None:
                    self.set_bank(routine_end_bank[entry])
                self.table()
                continue
            # a loop inside the routine: a GOTO within its page
            self.emit("decfsz 0x%02X, f" % self.sfr_gpr_common(), self.last_truth)
            self.emit("goto r_%04X" % entry, target=entry)
            end = routine_end_bank[entry]
            if end is not None:
                self.set_bank(end)
            self.emit("retlw 0x00" if core == "baseline" else r.choice(["return", "retlw 0x05"]))
        return self

    def banks_at_call(self, entry):
        return self.call_banks.get(entry) or set(range(self.nbanks))

    def sfr_gpr_common(self):
        common = [o for o in sorted(self.d["unbanked"]) if o >= 0x0C]
        f = common[-1] if common else (0x0C if self.core != "baseline" else 0x08)
        self.last_truth = {f} if f in self.d["unbanked"] else {b * self.bs + f for b in self.banks}
        return f

    def every_instruction(self):
        core = self.core
        self.emit("nop")
        self.emit("clrwdt")
        self.emit("clrw")
        self.emit("movlw 0x12")
        self.emit("iorlw 0x01")
        self.emit("andlw 0x7F")
        self.emit("xorlw 0x55")
        self.emit("option")
        self.emit("tris 0x06" if core != "baseline" else "tris 0x06")
        self.reg_op("btfss", 0x0C if core != "baseline" else 0x08, ", 1")
        self.emit("sleep")
        for op in ("incfsz", "decfsz"):
            self.reg_op(op, 0x0C if core != "baseline" else 0x08, ", f")
            self.emit("nop")
        if core != "baseline":
            self.emit("addlw 0x03")
            self.emit("sublw 0x40")
        if core == "enhanced":
            for text in ("addfsr FSR0, .5", "addfsr FSR1, -.3", "moviw ++FSR0", "moviw --FSR1",
                         "moviw FSR0++", "movwi FSR1--", "moviw .3[FSR0]", "movwi -.2[FSR1]",
                         "movwi ++FSR1"):
                self.emit(text)
            self.emit("btfsc 0x70, 0", {0x70})
            self.emit("reset")
            self.emit("bra $+.3", target=self.pc + 3)
            self.emit("nop")
            self.emit("nop")
            self.emit("movlw 0x01")
            self.emit("brw")
            self.emit("retlw 0x01")
            self.emit("nop")
            self.emit("movlp 0x%02X" % (self.pc >> 8))
            self.emit("movlw 0x%02X" % ((self.pc + 3) & 0xFF))
            self.emit("callw", target=self.pc + 2)
            self.emit("goto $+2", target=self.pc + 2)
            self.emit("retlw 0x02")

    def table(self):
        """A computed jump: ADDWF PCL into RETLW entries within one 256-word block."""
        core = self.core
        if core != "baseline":
            self.set_page(self.pc, "w")
        self.emit("movlw 0x01")
        self.emit("addwf 0x02, f")
        self.emit("retlw 0x10")
        self.emit("retlw 0x20")
        self.emit("retlw 0x30")

    def source(self):
        d = self.d
        out = ["        processor %s" % d["name"].lower(), "        errorlevel -302, -306"]
        if self.core == "enhanced":
            out += ["FSR0 EQU 4", "FSR1 EQU 6"]
        for name, a in self.labels.items():
            out.append("%s EQU 0x%04X" % (name, a))
        out.append("        __config 0x%04X, 0x%04X" % (0, 0))
        out.pop()
        r = self.r
        wmask = 0xFFF if self.core == "baseline" else 0x3FFF
        for c in d["config"]:
            value = wmask
            for mask, settings in c["fields"]:
                value &= r.choice(settings)[1] | ~mask
            value &= wmask
            if self.core == "enhanced" and r.random() < 0.5:
                value |= 0xC000  # as the headers' setting values leave them
            out.append("        __config 0x%04X, 0x%04X" % (c["address"], value))
        for a in sorted(self.words):
            out.append("        org 0x%04X" % a)
            out.append("        " + self.words[a])
        if d["id"]:
            out.append("        org 0x%04X" % d["id"][0])
            out.append("        dw " + ", ".join("0x%X" % r.randrange(16) for _ in range(d["id"][1])))
        if d["eeprom"]:
            out.append("        org 0x%04X" % d["eeprom"][0])
            out.append("        de \"Hi!\", 0x00, 0xFF, 0x7F")
        out.append("        end")
        return "\n".join(out) + "\n"


def read_hex(path):
    mem, base = {}, 0
    for line in open(path):
        line = line.strip()
        if not line.startswith(":"):
            continue
        n, a, t = int(line[1:3], 16), int(line[3:7], 16), int(line[7:9], 16)
        data = bytes.fromhex(line[9:9 + 2 * n])
        if t == 0:
            for i, b in enumerate(data):
                mem[base + a + i] = b
        elif t == 4:
            base = int.from_bytes(data, "big") << 16
    return mem


def check_names(dev, gen, asm, ram_names):
    """Names in the source that contradict the generator's truth; share of operands named."""
    faults, named, known = [], 0, 0
    by_name = {}
    for a, n in dev["regs"].items():
        by_name.setdefault(n, set()).add(a)
    bs = dev["bank-size"]
    for m in re.finditer(r"^\s+(\w+)\s+([^;\n]*?)\s*; ([0-9A-F]{4})", asm, re.M):
        mnem, operands, addr = m.group(1), m.group(2), int(m.group(3), 16)
        first = operands.split(",")[0].strip()
        if addr in gen.targets and (first.startswith("label_") or first.startswith("function_")):
            if int(first.split("_")[1], 16) != gen.targets[addr]:
                faults.append("%04X: %s %s, true target %04X" % (addr, mnem, first, gen.targets[addr]))
        truth = gen.regs.get(addr)
        if not truth:
            continue
        if len(truth) == 1:
            known += 1
        generated = re.fullmatch(r"ram_([0-9A-F]{3})", first)
        if first in ram_names or generated:
            named += len(truth) == 1
            place = ram_names[first] if first in ram_names else int(generated.group(1), 16)
            if not all(t == place or (t % bs in dev["unbanked"] and t % bs == place % bs) for t in truth):
                faults.append("%04X: %s %s, true address %s" % (addr, mnem, first,
                              " or ".join("0x%03X" % t for t in sorted(truth))))
        elif first in by_name:
            named += len(truth) == 1
            ok = all(t in by_name[first] or (t % bs in dev["unbanked"] and t % bs in {x % bs for x in by_name[first]})
                     for t in truth)
            if not ok:
                faults.append("%04X: %s %s, true register %s" % (addr, mnem, first,
                              " or ".join("0x%03X" % t for t in sorted(truth))))
        elif first.startswith("0x") and len(truth) == 1:
            named += 1  # an address where nothing is named: as good as a name
    return faults, named, known


def run_sim(sim, devices, name, img, asm):
    """The source's names against execution; None when they agree."""
    s = subprocess.run([sim, "--devices", devices, "--part", name, img, asm],
                       capture_output=True, text=True)
    if s.returncode == 0:
        return None
    lines = (s.stdout + s.stderr).strip().splitlines()
    return "%s: names against execution: %s" % (name, "; ".join(lines[:3] + lines[-1:] if len(lines) > 4 else lines))


def one(cli, dev, work, seed, sim=None, devices=None):
    name = dev["name"]
    gen = Gen(dev, seed).build()
    d = os.path.join(work, name)
    os.makedirs(d, exist_ok=True)
    src, img, asm, back = (os.path.join(d, x) for x in ("gen.asm", "gen.hex", "gen.src.asm", "back.hex"))
    open(src, "w").write(gen.source())
    g = subprocess.run(["gpasm", "-q", "-p", "p" + name.lower(), "-a", "inhx32", "-o", img, src],
                       capture_output=True, text=True, cwd=d)
    if g.returncode != 0:
        return "%s: the generated program does not assemble: %s" % (name, (g.stdout + g.stderr)[:300])
    # the user's names: a routine and a RAM location; the source must still reassemble
    entry = gen.routines[0] if gen.routines else 0
    ram = dev["bank-size"] - 1
    with open(os.path.join(d, "gen.tolvek.sym"), "w") as sym:
        sym.write("# tolvek symbol file\nlabel 0x%04X first_routine\nram 0x%03X last_byte  # a comment\n" % (entry, ram))
    t = subprocess.run([cli, "--source", "-p", name, img, "-o", asm], capture_output=True, text=True)
    if t.returncode != 0:
        return "%s: tolvek-cli exit %d: %s" % (name, t.returncode, (t.stdout + t.stderr)[:300])
    g = subprocess.run(["gpasm", "-q", "-p", "p" + name.lower(), "-a", "inhx32", "-o", back, asm],
                       capture_output=True, text=True, cwd=d)
    if g.returncode != 0:
        return "%s: the source does not assemble: %s" % (name, (g.stdout + g.stderr)[:300])
    a, b = read_hex(img), read_hex(back)
    diff = sorted(k for k in set(a) | set(b) if a.get(k) != b.get(k))
    if diff:
        return "%s: %d bytes differ, first at byte %X" % (name, len(diff), diff[0])
    if sim:
        wrong = run_sim(sim, devices, name, img, asm)
        if wrong:
            return wrong
    text = open(asm).read()
    if "first_routine:" not in text or "last_byte" not in text:
        return "%s: the names of gen.tolvek.sym are not in the source" % name
    faults, named, known = check_names(dev, gen, text.replace("first_routine", "function_%04X" % entry),
                                         {"last_byte": ram})
    if faults:
        return "%s: wrong names: %s" % (name, "; ".join(faults[:3]))
    if named < known:
        return "%s: %d of %d operands in a known bank left unnamed" % (name, known - named, known)
    return None


def hex_record(address, data, kind=0):
    b = [len(data), (address >> 8) & 255, address & 255, kind] + data
    return ":" + "".join("%02X" % x for x in b) + "%02X" % (-sum(b) & 255)


def sweep(cli, work, chip, core_words, size, sim=None, devices=None):
    """Every word of a core, in program memory from 0 (as many images as it takes)."""
    for first in range(0, core_words, size):
        lines = [hex_record(0, [0, 0], 4)]
        for a in range(0, size, 8):
            data = []
            for w in range(first + a, min(first + a + 8, core_words)):
                data += [w & 255, w >> 8]
            lines.append(hex_record(2 * a, data))
        img = os.path.join(work, "sweep-%s-%d.hex" % (chip, first))
        asm, back = img[:-4] + ".asm", img[:-4] + ".back.hex"
        open(img, "w").write("\n".join(lines + [":00000001FF"]) + "\n")
        t = subprocess.run([cli, "--source", "-p", chip, img, "-o", asm], capture_output=True, text=True)
        g = subprocess.run(["gpasm", "-q", "-p", "p" + chip.lower(), "-a", "inhx32", "-o", back, asm],
                           capture_output=True, text=True, cwd=work)
        if t.returncode != 0 or g.returncode != 0:
            return "sweep %s from %04X: %s" % (chip, first, (t.stderr + g.stdout + g.stderr)[:300])
        if read_hex(img) != read_hex(back):
            return "sweep %s from %04X: the words do not come back" % (chip, first)
        if sim:
            wrong = run_sim(sim, devices, chip, img, asm)
            if wrong:
                return "sweep from %04X: %s" % (first, wrong)
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--devices", required=True)
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    ap.add_argument("--keep")
    ap.add_argument("--sim", help="the machine model's checker (sim_check) to run on each program")
    ap.add_argument("parts", nargs="*")
    args = ap.parse_args()
    if shutil.which("gpasm") is None:
        print("gpasm is not installed")
        return 77
    devs = read_devices(args.devices)
    names = [n for n in devs if not args.parts or n in args.parts]
    work = args.keep or tempfile.mkdtemp(prefix="tolvek-srt-")
    counts = {}
    with ThreadPoolExecutor(args.jobs) as pool:
        results = list(pool.map(lambda n: (n, one(os.path.abspath(args.cli), devs[n], work, n,
                                                          args.sim and os.path.abspath(args.sim),
                                                          os.path.abspath(args.devices))), names))
    if not args.parts:
        # every word of each core through the whole source path
        sweeps = [("16F57", 4096, 2048), ("16F877A", 16384, 8192), ("16F1939", 16384, 16384)]
        with ThreadPoolExecutor(args.jobs) as pool:
            for chip, why in zip([c for c, _, _ in sweeps], pool.map(
                    lambda c: sweep(os.path.abspath(args.cli), work, *c, args.sim and os.path.abspath(args.sim),
                                   os.path.abspath(args.devices)), sweeps)):
                results.append((chip, why))
                names.append(chip)
    failed = 0
    for n, why in results:
        core = devs[n]["core"]
        ok, bad = counts.get(core, (0, 0))
        counts[core] = (ok + (why is None), bad + (why is not None))
        if why:
            failed += 1
            print("FAIL " + why)
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    for core, (ok, bad) in sorted(counts.items()):
        print("%s: %d passed, %d failed" % (core, ok, bad))
    print("%d passed, %d failed" % (len(names) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
