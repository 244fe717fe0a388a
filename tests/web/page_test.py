#!/usr/bin/python3
"""The browser page in headless Chromium, checked against tolvek-cli.

usage: page_test.py PAGE TOLVEK_CLI [CONFORMANCE_CASES [ROUNDTRIP_DIR]]

One browser session for everything: the page loads from file://; each
conformance case's status lines and listing, and the source of each round-trip
image, are the bytes tolvek-cli gives for the same input, chip and options; a
click on a label jumps and Back returns; a rename is kept in the symbol file
and the next run reads it; a bad record shows its error panel with the fields
the engine marks. Exits 77 (skipped) when the browser or its driver is missing.
"""
import base64
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

try:
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import Select
except ImportError:
    print("skipped: python3-selenium is not installed")
    sys.exit(77)

SKIP = 77
failures = []


def fail(what):
    failures.append(what)
    print("FAIL:", what, flush=True)


def browser(profile):
    chromium = shutil.which("chromium")
    driver = shutil.which("chromedriver")
    if not chromium or not driver:
        print("skipped: chromium or chromedriver is not installed")
        sys.exit(SKIP)
    options = Options()
    # the switches a root user on a machine without network needs
    for switch in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                   "--no-first-run", "--disable-background-networking",
                   "--disable-component-update", "--disable-sync",
                   "--window-size=1280,900", "--user-data-dir=" + profile):
        options.add_argument(switch)
    options.binary_location = chromium
    return webdriver.Chrome(service=Service(driver), options=options)


class Page:
    def __init__(self, driver, url):
        self.d = driver
        self.d.get(url)
        self.wait("return window.tolvekPage && tolvekPage.ready", "the page did not start")

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def wait(self, script, message, seconds=20):
        end = time.time() + seconds
        while time.time() < end:
            if self.js(script):
                return True
            time.sleep(0.02)
        raise AssertionError(message)

    def settle(self):
        self.wait("return tolvekPage.pending === 0", "a file was not read")

    def el(self, ident):
        return self.d.find_element(By.ID, ident)

    def choose(self, name, value):
        self.d.find_element(By.CSS_SELECTOR, f"input[name={name}][value='{value}']").click()

    def chip_data(self, path):
        """path: a chip data file, "" for the built-in one, None for none."""
        select = Select(self.el("chipData"))
        if path is None:
            select.select_by_value("none")
        elif path == "":
            select.select_by_value("builtin")
        else:
            self.el("chipDataFile").send_keys(path)
            self.settle()

    def open(self, paths):
        self.el("imageFile").send_keys("\n".join(paths))
        self.settle()

    def chip(self, name):
        """Types into the filter and picks the name; False when the list lacks it."""
        box = self.el("chipFilter")
        # emptied as typing would, so the list shows every name again
        self.js("arguments[0].value = ''; arguments[0].dispatchEvent(new Event('input'))", box)
        if name is None:  # the command line's default: the first of the list
            if self.js("return document.getElementById('chipList').options.length"):
                Select(self.el("chipList")).select_by_index(0)
            return True
        box.send_keys(name)
        names = self.js("return [...document.getElementById('chipList').options].map(o => o.value)")
        match = [n for n in names if n.lower() == name.lower()]
        if not match:
            return False
        Select(self.el("chipList")).select_by_value(match[0])
        return True

    def run(self):
        before = self.js("return tolvekPage.runs")
        self.el("runButton").click()
        self.wait(f"return tolvekPage.runs > {before}", "the run did not end")

    def shown(self):
        """The status line, and the record line when the panel shows it."""
        return self.js("""
            const t = (id) => document.getElementById(id).textContent;
            const lines = [t('status')];
            if (!document.getElementById('errorPanel').hidden && !document.getElementById('recordLine').hidden)
              lines.push(t('lineNumber'), t('lineText'));
            return lines;""")

    def result(self, which="result"):
        data = self.js("return tolvekPage.bytes(arguments[0])", which)
        return None if data is None else base64.b64decode(data)


def cli_run(cli, case_dir, args, work):
    """Runs the command line as the conformance runner does; returns its
    standard output lines and the listing it wrote (None when it wrote none)."""
    for name in os.listdir(case_dir):
        if name not in ("cmd", "out", "rc", "expect", "absent"):
            shutil.copy(os.path.join(case_dir, name), work)
    def listings():
        return {n: os.stat(os.path.join(work, n)).st_mtime_ns
                for n in os.listdir(work) if n.endswith(".dis")}
    before = listings()
    time.sleep(0.01)
    run = subprocess.run([cli] + args, cwd=work, capture_output=True)
    out = run.stdout.decode("latin-1").splitlines()
    written = [n for n, t in listings().items() if before.get(n) != t]
    listing = open(os.path.join(work, written[0]), "rb").read() if written else None
    return run.returncode, out, listing


def option_values(args):
    values = set()
    for i, a in enumerate(args[:-1]):
        if a in ("-c", "--chipdat", "-p", "--chip", "-f", "--format", "-o", "--output"):
            values.add(args[i + 1])
    return values


def option(args, *names):
    for i, a in enumerate(args[:-1]):
        if a in names:
            return args[i + 1]
    return None


def conformance(page, cli, cases):
    checked = 0
    for case in sorted(os.listdir(cases)):
        case_dir = os.path.join(cases, case)
        args = shlex.split(open(os.path.join(case_dir, "cmd")).read())
        if "--list-chips" in args or "-l" in args:
            continue
        with tempfile.TemporaryDirectory() as work:
            rc, out, listing = cli_run(cli, case_dir, args, work)
            if rc == 2:
                continue  # a usage error: the page offers only what the list holds
            chipdat = option(args, "-c", "--chipdat")
            page.chip_data(None if "--no-chipdat" in args else
                           os.path.join(work, chipdat) if chipdat else "")
            fmt = option(args, "-f", "--format") or "inhx8m"
            page.choose("format", {"inhx8m": 0, "inhx8s": 1, "inhx32": 2}[fmt])
            page.choose("output", "dis")
            inputs = [a for a in args if not a.startswith("-") and a not in option_values(args)]
            files = [os.path.join(work, inputs[0])]
            if fmt == "inhx8s":  # the engine finds the partner among them
                files += [os.path.join(work, n) for n in sorted(os.listdir(work))
                          if n.endswith(".hxh") and n != inputs[0]]
            page.open(files)
            page.choose("format", {"inhx8m": 0, "inhx8s": 1, "inhx32": 2}[fmt])
            if not page.chip(option(args, "-p", "--chip")):
                fail(f"{case}: the chip list lacks {option(args, '-p', '--chip')}")
                continue
            page.run()
            status = [line for line in out if not line.startswith("hint:")]
            shown = page.shown()
            if shown != status:
                fail(f"{case}: the page shows {shown!r}, the command line {status!r}")
            got = page.result()
            if got != listing:
                fail(f"{case}: the page's listing differs from the command line's "
                     f"({None if got is None else len(got)} and "
                     f"{None if listing is None else len(listing)} bytes)")
            checked += 1
    page.chip_data("")
    print(f"conformance cases compared: {checked}")
    return checked


def roundtrip(page, cli, folder):
    checked = 0
    for row in open(os.path.join(folder, "MANIFEST.tsv")).read().splitlines()[1:]:
        image, part = row.split("\t")[:2]
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, os.path.basename(image))
            shutil.copy(os.path.join(folder, image), path)
            run = subprocess.run([cli, "--source", "-p", part, path, "-o", "-"],
                                 capture_output=True)
            page.choose("format", 2)
            page.choose("output", "asm")
            page.open([path])
            page.chip(part)
            page.run()
            got = page.result()
            if got != run.stdout:
                fail(f"{image}: the page's source differs from the command line's")
            checked += 1
    print(f"round-trip sources compared: {checked}")
    return checked


def clicks_and_renames(page, cli, folder):
    work = tempfile.mkdtemp()
    path = os.path.join(work, "prog.hex")
    shutil.copy(os.path.join(folder, "images", "05-16f877a.hex"), path)
    page.choose("format", 2)
    page.choose("output", "asm")
    page.open([path])
    page.chip("16F877A")
    page.run()
    # a click on a call's target goes to the routine's label, Back comes home
    line = page.js("""const s = tolvekPage.state;
        const i = s.lines.findIndex(l => /^\\s+call\\s/.test(l));
        document.getElementById('listing').scrollTop = i * s.rowHeight;
        return i;""")
    page.wait(f"return document.querySelector('#rows .ln[data-line=\"{line}\"] span.k')",
              "the call's line was not drawn")
    link = page.d.find_element(By.CSS_SELECTOR, f"#rows .ln[data-line='{line}'] span.k")
    name = link.text
    link.click()
    cursor = page.js("return tolvekPage.state.cursor")
    text = page.js("return tolvekPage.state.lines[tolvekPage.state.cursor]")
    if not text.startswith(name + ":"):
        fail(f"a click on {name} led to line {cursor}: {text!r}")
    page.el("listing").send_keys(Keys.ALT, Keys.ARROW_LEFT)
    if page.js("return tolvekPage.state.cursor") != line:
        fail("Alt+Left did not go back to where the jump started")
    # rename that label from its own line, then run again
    page.js("document.getElementById('goTo').value = arguments[0]", name)
    page.el("goTo").send_keys(Keys.ENTER)
    page.el("listing").send_keys(Keys.F2)
    box = page.el("renameInput")
    box.clear()
    box.send_keys("blink_routine", Keys.ENTER)
    if page.js("return document.getElementById('renameDialog').open"):
        fail("the rename was refused: " + page.el("renameError").text)
        return
    if not any("blink_routine" in l for l in page.js("return tolvekPage.state.lines")):
        fail("the renamed label is not in the view")
    page.run()
    got = page.result()
    symbols = page.result("symbols")
    if symbols is None or b"blink_routine" not in symbols or not symbols.startswith(b"# tolvek symbol file"):
        fail("the symbol file is not Tolvek's or does not hold the new name")
        return
    sym = os.path.join(work, "names.sym")
    open(sym, "wb").write(symbols)
    run = subprocess.run([cli, "--source", "-p", "16F877A", "--symbols", sym, path, "-o", "-"],
                         capture_output=True)
    if got is None or b"blink_routine" not in got:
        fail("the second run's source lacks the new name")
    elif got != run.stdout:
        fail("the second run's source differs from the command line's with that symbol file")
    shutil.rmtree(work)


def bad_record(page, cases):
    """A bad data digit marks the data field; a bad type digit the type field."""
    for case, field in (("core-bad-data-digit", "HHHHHH"), ("core-bad-type-digit", "TT")):
        page.chip_data(None)
        page.choose("format", 0)
        page.choose("output", "dis")
        page.open([os.path.join(cases, case, "prog.hex")])
        page.run()
        if not page.js("return !document.getElementById('errorPanel').hidden"):
            fail(f"{case}: no error panel")
            continue
        red = page.js("return [...document.querySelectorAll('#legend .red')].map(e => e.textContent)")
        if len(red) != 1 or not red[0].startswith(field):
            fail(f"{case}: the red fields are {red}, not {field}")
        if not page.el("lineNumber").text.startswith("LineNumber"):
            fail(f"{case}: no line number")
    page.chip_data("")


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    page_file, cli = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    # the driver takes only canonical paths for files to open
    cases = os.path.realpath(sys.argv[3]) if len(sys.argv) > 3 else ""
    folder = os.path.realpath(sys.argv[4]) if len(sys.argv) > 4 else ""
    if not os.path.exists(page_file):
        print(f"skipped: no page at {page_file}")
        return SKIP
    profile = tempfile.mkdtemp()
    try:
        driver = browser(profile)
    except WebDriverException as error:
        print(f"skipped: the browser did not start: {error.msg}")
        return SKIP
    try:
        page = Page(driver, "file://" + page_file)
        errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        if errors:
            fail(f"the page logged errors on loading: {errors}")
        if cases and os.path.isdir(cases):
            conformance(page, cli, cases)
            bad_record(page, cases)
        if folder and os.path.isdir(folder):
            roundtrip(page, cli, folder)
            clicks_and_renames(page, cli, folder)
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    print(f"page test: {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
