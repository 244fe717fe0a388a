#!/usr/bin/env python3
"""Records what a tolvek-cli writes over a wide sample, and compares two records.

    tools/compare_outputs.py CLI OUT                 record into OUT
    tools/compare_outputs.py CLI OUT --against REF   record with REF's inputs, then compare

The sample: every conformance case (../shared/conformance/cases) and every
golden case (tests/golden/cases), each chip of the chip data on three generated
images (a program spread over every ROM page, every word of the core in mixed
letter case, and a long image of repeated words), and one file of 100,000
records. For each run OUT/results holds standard output, standard error, the
exit status, the files the run wrote and a list of every file left with its
mode. The inputs are kept in OUT/inputs, so that a later record runs on exactly
the same bytes (--against takes them from REF). A restructuring that keeps the
behaviour shows "all identical".
"""

import argparse
import concurrent.futures
import filecmp
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CONFORMANCE = os.path.join(ROOT, "..", "shared", "conformance", "cases")
GOLDEN = os.path.join(ROOT, "tests", "golden", "cases")
CONTROL_FILES = {"cmd", "out", "rc", "absent", "expect"}


# ---------------------------------------------------------------- images

def record(address, words, lower=False, line_end="\n"):
    """One INHX8M data record of 16-bit words at a byte address."""
    data = bytes(b for w in words for b in (w & 0xFF, w >> 8))
    fields = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, 0]) + data
    checksum = (-sum(fields)) & 0xFF
    text = ":" + (fields + bytes([checksum])).hex().upper()
    return (text.lower() if lower else text) + line_end


def end_record(line_end="\n"):
    return ":00000001FF" + line_end


def jump_words(core, targets):
    """CALL and GOTO words of the core for the given targets."""
    words = []
    for t in targets:
        if core == 12:
            words.append(0x900 | (t & 0xFF))            # CALL
            words.append(0xA00 | (t & 0x1FF))           # GOTO
        else:
            words.append(0x2000 | (t & 0x7FF))          # CALL
            words.append(0x2800 | (t & 0x7FF))          # GOTO
    return words


def no_instruction(core, word):
    """Words that stop a run with result code 8 (checked elsewhere)."""
    if core == 12:
        return word > 0xFFF
    return word in range(0x0001, 0x0008) or word in range(0x000A, 0x0010) or \
        (word >> 12 >= 3 and (word >> 8) & 15 == 0xB)


def is_jump(core, word):
    if core == 12:
        return 0x900 <= word <= 0xBFF
    return 0x2000 <= word <= 0x2FFF


def image_program(core, pages, rng):
    """A program in blocks on every ROM page, jumps to a few hundred targets."""
    page_words = 2048
    targets = [rng.randrange(page_words) for _ in range(150)]
    pool = [w for w in range(1 << core) if not no_instruction(core, w) and not is_jump(core, w)]
    lines = []
    for page in range(pages):
        base = page * page_words
        for block in range(3):
            start = base + rng.randrange(0, page_words - 200)
            words = []
            for _ in range(rng.randrange(60, 200)):
                words.append(rng.choice(jump_words(core, [rng.choice(targets)]))
                             if rng.random() < 0.15 else rng.choice(pool))
            for i in range(0, len(words), 8):
                lines.append(record((start + i) * 2, words[i:i + 8]))
    lines.append(end_record())
    return "".join(lines)


def image_every_word(core, rng):
    """Every word of the core that is an instruction (jumps to 64 targets only),
    with 14-bit words above 3FFF sampled; records of 1 to 8 words, every third
    one in lower case, with a gap now and then."""
    words = [w for w in range(1 << core) if not no_instruction(core, w) and not is_jump(core, w)]
    words += jump_words(core, range(0, 2048, 32))
    if core == 14:
        words += [w for w in range(0x4000, 0x10000, 61) if not no_instruction(core, w)]
    rng.shuffle(words)
    lines = []
    address = 0
    i = 0
    n = 0
    while i < len(words):
        count = rng.randrange(1, 9)
        chunk = words[i:i + count]
        if address + len(chunk) > 0x1FFF:
            address = 0
        lines.append(record(address * 2, chunk, lower=n % 3 == 1,
                            line_end="\r\n" if n % 5 == 2 else "\n"))
        address += len(chunk) + (7 if n % 11 == 0 else 0)
        i += count
        n += 1
    lines.append(end_record())
    return "".join(lines)


def image_repeated(core, rng, total=17000):
    """More words than the building pass decodes before it reuses results: a
    pool of 600 words (some in lower case, the erased word among them) over
    program memory again and again."""
    pool = [w for w in range(1 << core) if not no_instruction(core, w) and not is_jump(core, w)]
    chosen = rng.sample(pool, 560) + jump_words(core, rng.sample(range(2048), 20))
    chosen.append((1 << core) - 1)
    lines = []
    address = 0
    written = 0
    n = 0
    while written < total:
        words = [rng.choice(chosen) for _ in range(8)]
        lines.append(record(address * 2, words, lower=n % 7 == 3,
                            line_end="\r" if n % 13 == 5 else "\n"))
        address = (address + 8) % 0x2000
        written += 8
        n += 1
    lines.append(end_record())
    return "".join(lines)


def image_big(rng, records=100000):
    """100,000 records of eight words over 8K words of program memory, again and again."""
    targets = rng.sample(range(2048), 500)
    pool = [w for w in range(1 << 14) if not no_instruction(14, w) and not is_jump(14, w)]
    pool = rng.sample(pool, 3000) + jump_words(14, targets)
    lines = []
    address = 0
    for _ in range(records - 1):
        lines.append(record(address * 2, [rng.choice(pool) for _ in range(8)]))
        address = (address + 8) % 0x2000
    lines.append(end_record())
    return "".join(lines)


def chip_sections(chipdat):
    """(name, core bits, ROM pages) of each section, read from its parameter line."""
    with open(chipdat, "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
    chips = []
    for i, line in enumerate(lines):
        if not (line.startswith("[") and line.endswith("]") and len(line) > 2):
            continue
        name = line[1:-1]
        rest = [l for l in lines[i + 1:i + 3] if l.strip()]
        core, pages = 14, 1
        if rest and rest[0].startswith("<") and rest[0].endswith(">"):
            kind, _, count = rest[0][1:-1].partition(",")
            core = 12 if kind.strip().lower() == "true" else 14
            pages = int(count) if count.strip().isdigit() else 1
        chips.append((name, core, max(1, min(pages, 4))))
    return chips


def make_inputs(inputs):
    os.makedirs(inputs)
    shutil.copytree(CONFORMANCE, os.path.join(inputs, "conformance"))
    shutil.copytree(GOLDEN, os.path.join(inputs, "golden"))
    shutil.copy(os.path.join(ROOT, "data", "chipdat.txt"), os.path.join(inputs, "chipdat.txt"))
    images = os.path.join(inputs, "images")
    os.makedirs(images)
    for core in (12, 14):
        for pages in (1, 2, 4):
            rng = random.Random(core * 100 + pages)
            write(os.path.join(images, f"program-{core}-{pages}.hex"), image_program(core, pages, rng))
        rng = random.Random(core)
        write(os.path.join(images, f"every-word-{core}.hex"), image_every_word(core, rng))
        write(os.path.join(images, f"repeated-{core}.hex"), image_repeated(core, rng))
    write(os.path.join(images, "big-100000.hex"), image_big(random.Random(100000)))


def write(path, text):
    with open(path, "w", newline="") as f:
        f.write(text)


# ---------------------------------------------------------------- runs

def run_one(cli, name, files, args, out_dir):
    """Runs the program in a fresh folder holding copies of files; keeps what it printed and wrote."""
    work = tempfile.mkdtemp(prefix="tolvek-proof-")
    try:
        for src in files:
            shutil.copy(src, work)
        proc = subprocess.run([cli] + args, cwd=work, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        dest = os.path.join(out_dir, name)
        os.makedirs(os.path.join(dest, "files"))
        for stream, data in (("stdout", proc.stdout), ("stderr", proc.stderr)):
            with open(os.path.join(dest, stream), "wb") as f:
                f.write(data.replace(work.encode(), b"<work>"))
        write(os.path.join(dest, "rc"), f"{proc.returncode}\n")
        inputs = {os.path.basename(src): src for src in files}
        manifest = []
        for entry in sorted(os.listdir(work)):
            path = os.path.join(work, entry)
            manifest.append(f"{entry} {os.stat(path).st_mode & 0o7777:o}")
            # a temporary listing left behind would be a fault, and is seen here
            if entry in inputs and filecmp.cmp(path, inputs[entry], shallow=False):
                continue
            shutil.copy(path, os.path.join(dest, "files", entry))
        write(os.path.join(dest, "manifest"), "\n".join(manifest) + "\n")
    finally:
        shutil.rmtree(work)


def case_runs(cli, cases, group, out):
    runs = []
    for name in sorted(os.listdir(cases)):
        case = os.path.join(cases, name)
        if not os.path.isfile(os.path.join(case, "cmd")):
            continue
        files = [os.path.join(case, f) for f in sorted(os.listdir(case))
                 if f not in CONTROL_FILES and os.path.isfile(os.path.join(case, f))]
        with open(os.path.join(case, "cmd")) as f:
            args = f.read().split()
        runs.append((cli, f"{group}-{name}", files, args, out))
    return runs


def all_runs(cli, inputs, out):
    runs = case_runs(cli, os.path.join(inputs, "conformance"), "conformance", out)
    runs += case_runs(cli, os.path.join(inputs, "golden"), "golden", out)
    chipdat = os.path.join(inputs, "chipdat.txt")
    images = os.path.join(inputs, "images")
    for name, core, pages in chip_sections(chipdat):
        for image in (f"program-{core}-{pages}.hex", f"every-word-{core}.hex", f"repeated-{core}.hex"):
            runs.append((cli, f"chip-{name}-{image[:-4]}", [chipdat, os.path.join(images, image)],
                         ["--chipdat", "chipdat.txt", "--chip", name, image], out))
    runs.append((cli, "big-100000", [chipdat, os.path.join(images, "big-100000.hex")],
                 ["--chipdat", "chipdat.txt", "--chip", "16F877A", "big-100000.hex"], out))
    return runs


def compare(reference, results):
    """Counts the files of both records and lists every difference."""
    def walk(top):
        found = set()
        for dirpath, _, filenames in os.walk(top):
            for f in filenames:
                found.add(os.path.relpath(os.path.join(dirpath, f), top))
        return found
    before, after = walk(reference), walk(results)
    differ = [f for f in sorted(before & after)
              if not filecmp.cmp(os.path.join(reference, f), os.path.join(results, f), shallow=False)]
    only_before, only_after = sorted(before - after), sorted(after - before)
    for f in differ:
        print(f"differs: {f}")
    for f in only_before:
        print(f"only in the reference: {f}")
    for f in only_after:
        print(f"only in this record: {f}")
    runs = len({f.split(os.sep)[0] for f in before | after})
    size = sum(os.path.getsize(os.path.join(results, f)) for f in after)
    if differ or only_before or only_after:
        print(f"compared {len(before | after)} files of {runs} runs: "
              f"{len(differ) + len(only_before) + len(only_after)} differ")
        return False
    print(f"compared {len(before)} files of {runs} runs ({size / 1e6:.1f} MB): all identical")
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("cli")
    parser.add_argument("out")
    parser.add_argument("--against", help="a earlier record: take its inputs and compare with it")
    parser.add_argument("--jobs", type=int, default=2)
    options = parser.parse_args()
    cli = os.path.abspath(options.cli)
    out = os.path.abspath(options.out)
    if os.path.exists(os.path.join(out, "results")):
        sys.exit(f"{out}/results exists already")
    os.makedirs(out, exist_ok=True)
    if options.against:
        inputs = os.path.join(os.path.abspath(options.against), "inputs")
    else:
        inputs = os.path.join(out, "inputs")
        make_inputs(inputs)
    results = os.path.join(out, "results")
    os.makedirs(results)
    runs = all_runs(cli, inputs, results)
    with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
        for future in [pool.submit(run_one, *r) for r in runs]:
            future.result()
    print(f"{len(runs)} runs recorded in {results}")
    if options.against:
        return 0 if compare(os.path.join(os.path.abspath(options.against), "results"), results) else 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
