#!/usr/bin/env python3
"""How the reconstructed source reads small programs that gpasm builds.

usage: rules.py PATH/TO/tolvek-cli [CASE-SUBSTRING...]

Each case is a program as real images hold it (a calibration call, code at the
top of memory, an application behind a loader, a string table, a state machine
through a variable, code at the interrupt vector of a program without
interrupts, a trampoline that several pages call). gpasm assembles it;
`tolvek-cli --source` reads the image back; the source must hold the lines the
case expects, none of those it refuses, and assemble again to the same bytes.
Exit status 77 when gpasm is not installed.
"""
import os, re, shutil, subprocess, sys, tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from roundtrip import read_hex  # noqa: E402

CASES = [
    {
        "name": "calibration call",
        "chip": "12f675",
        "src": """
        org 0
        bsf 0x03, 5
        call 0x3FF          ; the factory's RETLW, not in the image
        movwf 0x10          ; OSCCAL
        bcf 0x03, 5
        movlw 7
        movwf 0x19          ; CMCON
        goto $
""",
        "expect": [r"movwf\s+OSCCAL", r"movwf\s+CMCON"],
        "refuse": [r"not reached"],
    },
    {
        "name": "program at the top of memory",
        "chip": "16f84a",
        "src": """
        org 0x3F0
start:  bsf 0x03, 5
        clrf 0x06           ; TRISB
        bcf 0x03, 5
        clrf 0x06           ; PORTB
        goto start
""",
        "expect": [r"clrf\s+TRISB", r"clrf\s+PORTB", r"goto\s+label_03F0"],
        "refuse": [r"not reached"],
    },
    {
        "name": "application behind a loader",
        "chip": "16f877a",
        "src": """
        org 0x200
app:    bsf 0x03, 5
        bcf 0x03, 6
        clrf 0x07           ; TRISC
        bcf 0x03, 5
        pagesel work
        call work
        clrf 0x07           ; PORTC
        pagesel app
        goto app
work:   incf 0x20, f
        return
        org 0x300
other:  bcf 0x03, 5         ; entered through --entry only
        bcf 0x03, 6
        clrf 0x07           ; PORTC
        return
""",
        "args": ["--entry", "0x300"],
        "expect": [r"clrf\s+TRISC", r"clrf\s+PORTC\s+; 0207", r"call\s+function_020B",
                   r"clrf\s+PORTC\s+; 0302"],
        "refuse": [r"not reached"],
    },
    {
        "name": "code at the interrupt vector without interrupts",
        "chip": "16f628a",
        "src": """
        org 0
        goto main
        org 4
main:   clrf 0x06           ; PORTB: bank 0 from reset
        bsf 0x03, 5
        clrf 0x06           ; TRISB
        bcf 0x03, 5
        goto main
""",
        "expect": [r"; interrupt vector", r"clrf\s+PORTB\s+; 0004", r"clrf\s+TRISB"],
        "refuse": [r"bank unknown:", r"not reached"],
    },
    {
        "name": "interrupts enabled: the vector is an entry",
        "chip": "16f628a",
        "src": """
        org 0
        goto main
        org 4
isr:    movwf 0x70
        clrf 0x06           ; bank 0 wherever the main program runs
        retfie
main:   bsf 0x0B, 7
        goto main
""",
        "expect": [r"clrf\s+PORTB\s+; 0005"],
        "refuse": [r"not reached"],
    },
    {
        "name": "trampoline called with and without a known page",
        "chip": "16f57",
        "src": """
        org 0
        bcf 0x03, 5
        bcf 0x03, 6
        call tramp          ; page 0
        movf 0x10, w
        movwf 0x03          ; page bits unknown
        call tramp
        goto $
tramp:  goto body
        org 0x091
body:   retlw 0
""",
        "expect": [r"goto\s+label_0091"],
        "refuse": [r"goto\s+0x091"],
    },
    {
        "name": "string table and variables",
        "chip": "16f628a",
        "src": """
        org 0
        clrf 0x20
loop:   movf 0x20, w
        call msg
        incf 0x20, f
        movlw 0
        call msg + 5        ; a label inside the text
        btfsc 0x21, 0
        bsf 0x03, 5
        clrf 0x22           ; bank 0 or 1: no name
        bcf 0x03, 5
        goto loop
msg:    addwf 0x02, f
        dt "Password:", 0
        retlw 'x'
""",
        "expect": [r'dt\s+"Pass"\s+; 000C', r'function_0010:.*\n\s+dt\s+"word:"\s+; 0010',
                   r"retlw\s+0x78\s+; 0016  'x'",
                   r"ram_020\s+EQU\s+0x20\s+; reads: 2, writes: 2",
                   r"ram_021\s+EQU\s+0x21\s+; reads: 1, writes: 0",
                   r"; function called from 0002; on entry: bank 0\n",
                   r"incf\s+ram_020, f"],
        "refuse": [r"ram_022", r"ram_0A2", r"retlw\s+0x50"],
    },
    {
        "name": "string with a quote and a backslash",
        "chip": "16f84a",
        "src": """
        org 0
        movf 0x20, w
        call text
        goto $
        org 0x10
text:   addwf 0x02, f
        dt "He said \\"hi\\" in C:\\\\dir; ok"
""",
        "expect": [r'dt\s+"He said \\"hi\\" in "\s+; 0011', r'dt\s+"C:\\\\dir; ok"\s+; 0021'],
        "refuse": [r"retlw\s+0x22", r"retlw\s+0x5C"],
    },
    {
        "name": "three characters make a string; a function's callers",
        "chip": "16f84a",
        "src": """
        org 0
        movf 0x20, w
        call msg
        movf 0x20, w
        call two
        btfsc 0x21, 0
        goto work           ; a jump to the function, not a call
        call work
        goto $
msg:    addwf 0x02, f
        dt "abc"
two:    addwf 0x02, f
        dt "ab"
work:   clrf 0x22
        return
""",
        "expect": [r'dt\s+"abc"\s+; 0009', r"retlw\s+0x61\s+; 000D  'a'",
                   r"; function called from 0006; on entry: bank 0\n"
                   r"function_000F:  ; called from 0006; jumped to from 0005\n"],
        "refuse": [r'dt\s+"ab"', r"function called from 0005"],
    },
    {
        "name": "state machine through a variable",
        "chip": "16f628a",
        "src": """
        org 0
        movlw low first
        movwf 0x20
loop:   movf 0x20, w
        movwf 0x02          ; PCL: to the state stored in 0x20
first:  bsf 0x03, 5
        clrf 0x06           ; TRISB
        bcf 0x03, 5
        movlw low second
        movwf 0x20
        goto loop
second: clrf 0x06           ; PORTB
        movlw low first
        movwf 0x20
        goto loop
""",
        "expect": [r"label_0004:  ; jumped to from 0003", r"label_000A:  ; jumped to from 0003",
                   r"clrf\s+TRISB", r"clrf\s+PORTB\s+; 000A"],
        "refuse": [r"not reached"],
    },
    {
        "name": "a variable that is counted is no state",
        "chip": "16f628a",
        "src": """
        org 0
        movlw 4
        movwf 0x20
loop:   movf 0x20, w
        movwf 0x02
        clrf 0x06
        incf 0x20, f        ; not a constant: the jump stays unknown
        goto loop
""",
        "expect": [r"; not reached by any path from the vectors\n; interrupt vector\n"
                   r"\s+clrf\s+0x06"],
        "refuse": [r"label_0004"],
    },
    {
        "name": "code no path reaches",
        "chip": "16f1847",
        "src": """
        org 0
        goto $
unused: movlb 1
        clrf 0x0C           ; TRISA
        movlp 0
        call helper
        return
helper: movlb 0
        clrf 0x0C           ; PORTA
        return
""",
        "expect": [r"clrf\s+TRISA", r"clrf\s+PORTA", r"call\s+function_0006",
                   r"; not reached by any path from the vectors"],
        "refuse": [r"bank unknown:"],
    },
]


def assemble(chip, asm, hex_path):
    run = subprocess.run(["gpasm", "-p", "p" + chip, "-a", "inhx32", "-o", hex_path, asm],
                         capture_output=True, text=True)
    return run.returncode == 0 and os.path.exists(hex_path), run.stdout + run.stderr


def one(cli, case, work):
    """The faults of one case, as text; empty when it passes."""
    stem = os.path.join(work, re.sub(r"\W+", "_", case["name"]))
    with open(stem + ".src", "w") as f:
        f.write("        processor %s\n        errorlevel -302, -306\n%s        end\n"
                % (case["chip"], case["src"]))
    ok, out = assemble(case["chip"], stem + ".src", stem + ".hex")
    if not ok:
        return ["the case does not assemble: " + out]
    run = subprocess.run([cli, "--source", "-p", case["chip"], stem + ".hex", "-o", stem + ".asm"]
                         + case.get("args", []), capture_output=True, text=True)
    if run.returncode != 0:
        return ["tolvek-cli failed: " + run.stderr]
    text = open(stem + ".asm").read()
    faults = []
    for pattern in case.get("expect", []):
        if not re.search(pattern, text):
            faults.append("missing: " + pattern)
    for pattern in case.get("refuse", []):
        if re.search(pattern, text):
            faults.append("present: " + pattern)
    ok, out = assemble(case["chip"], stem + ".asm", stem + ".back.hex")
    if not ok:
        faults.append("the source does not assemble: " + out)
    elif read_hex(stem + ".hex") != read_hex(stem + ".back.hex"):
        faults.append("the source assembles to other bytes")
    if faults:
        faults.append("source:\n" + text)
    return faults


def main():
    if shutil.which("gpasm") is None:
        print("gpasm is not installed")
        return 77
    cli = os.path.abspath(sys.argv[1])
    wanted = sys.argv[2:]
    passed = failed = 0
    with tempfile.TemporaryDirectory() as work:
        for case in CASES:
            if wanted and not any(w in case["name"] for w in wanted):
                continue
            faults = one(cli, case, work)
            if faults:
                failed += 1
                print("FAIL %s:\n  %s" % (case["name"], "\n  ".join(faults)))
            else:
                passed += 1
    print("source rules: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
