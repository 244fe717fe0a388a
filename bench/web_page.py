#!/usr/bin/python3
"""Speed and weight of the browser page in headless Chromium (not a test).

usage: web_page.py [PAGE] [RUNS]     PAGE defaults to build-web/tolvek.html

Prints: the size of tolvek.html; the time from the start of navigation until
the page is usable (engine started, data unpacked, chip list filled), over
RUNS fresh loads; and the time from pressing Run on the 8K-word PIC16F877A
image of bench/compare.sh (bench/make_source.sh, assembled by gpasm) until its
source is shown in the listing view, and the same for the classic listing.
Needs chromium, chromium-driver, python3-selenium and gpasm.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
page = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build-web", "tolvek.html"))
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 9

work = tempfile.mkdtemp()
asm = os.path.join(work, "image.asm")
with open(asm, "w") as out:
    subprocess.run(["bash", os.path.join(root, "bench", "make_source.sh"), "16f877a"], stdout=out, check=True)
subprocess.run(["gpasm", "-q", "-a", "inhx8m", "-o", "image.hex", "image.asm"], cwd=work, check=True,
               stdout=subprocess.DEVNULL)
image = os.path.join(work, "image.hex")

options = Options()
for switch in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--window-size=1280,900", "--user-data-dir=" + tempfile.mkdtemp()):
    options.add_argument(switch)
options.binary_location = "/usr/bin/chromium"
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def wait(script):
    while not driver.execute_script(script):
        time.sleep(0.005)


loads = []
for _ in range(runs):
    driver.get("about:blank")
    driver.get("file://" + page)
    wait("return window.tolvekPage && tolvekPage.ready")
    loads.append(driver.execute_script("return tolvekPage.readyAt"))

driver.find_element(By.ID, "imageFile").send_keys(image)
wait("return tolvekPage.pending === 0")
timings = {}
for output, chip in (("asm", "16F877A"), ("dis", "16F877A")):
    driver.find_element(By.CSS_SELECTOR, f"input[name=output][value='{output}']").click()
    driver.find_element(By.ID, "chipFilter").clear()
    driver.find_element(By.ID, "chipFilter").send_keys(chip)
    Select(driver.find_element(By.ID, "chipList")).select_by_value(chip)
    times = []
    for _ in range(runs):
        driver.find_element(By.ID, "runButton").click()
        wait("return tolvekPage.shownMs !== null && tolvekPage.shownMs !== undefined")
        times.append(driver.execute_script("return tolvekPage.shownMs"))
    timings[output] = times
lines = driver.execute_script("return tolvekPage.state.lines.length")
driver.quit()

print(f"tolvek.html: {os.path.getsize(page)} bytes ({os.path.getsize(page) / 1e6:.2f} MB)")
print(f"usable after opening: median {statistics.median(loads):.0f} ms, "
      f"min {min(loads):.0f}, max {max(loads):.0f} ({runs} loads)")
for output, times in timings.items():
    print(f"8K-word image, Run to {output} view shown: median {statistics.median(times):.0f} ms, "
          f"min {min(times):.0f}, max {max(times):.0f} ({runs} runs)")
print(f"(the last view: {lines} lines)")
