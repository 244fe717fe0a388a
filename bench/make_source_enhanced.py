#!/usr/bin/env python3
"""Writes a gpasm source for an enhanced-core part that fills WORDS words of
program memory with a mix of every instruction of the core, MOVLB to every
bank with register operands in it, and CALL, GOTO and BRA to targets spread
over every page, each CALL and GOTO after a MOVLP of its page.

usage: make_source_enhanced.py [CHIP [WORDS]] > image.asm    (default 16f1847 8192)
"""
import random
import sys

chip = sys.argv[1] if len(sys.argv) > 1 else "16f1847"
words = int(sys.argv[2]) if len(sys.argv) > 2 else 8192
r = random.Random(20261207)
fileops = "addwf andwf comf decf decfsz incf incfsz iorwf movf rlf rrf subwf swapf xorwf lslf lsrf asrf addwfc subwfb".split()
litops = "addlw andlw iorlw movlw sublw xorlw retlw".split()
plain = "nop clrw clrwdt retfie return sleep brw callw reset".split()
fsr = ["moviw ++FSR0", "moviw FSR1--", "movwi --FSR0", "movwi FSR1++", "moviw .5[FSR0]",
       "movwi -.7[FSR1]", "addfsr FSR0, .12", "addfsr FSR1, -.3"]
targets = sorted(r.sample(range(16, words - 4), max(words // 11, 8)))
target_set = set(targets)
print("        processor %s" % chip)
print("        errorlevel -302, -306")
print("FSR0 EQU 4\nFSR1 EQU 6")
print("        org 0")
a = 0
while a < words:
    if a in target_set:
        print("t_%04X:" % a)
    room = words - a
    pick = r.random()
    if pick < 0.08 and room >= 3:
        t = r.choice(targets)
        print("        movlp 0x%02X" % (t >> 8))
        if a + 1 in target_set:
            print("t_%04X:" % (a + 1))
        print("        %s t_%04X" % (r.choice(["call", "goto"]), t))
        a += 2
        continue
    if pick < 0.12:
        print("        movlb .%d" % r.randrange(32))
    elif pick < 0.16:
        near = [t for t in targets if -250 < t - (a + 1) < 250]
        print("        bra t_%04X" % r.choice(near) if near else "        nop")
    elif pick < 0.62:
        op = r.choice(fileops + ["bcf", "bsf", "btfsc", "btfss", "movwf", "clrf"])
        f = r.randrange(0x0C, 0x70)
        if op in ("bcf", "bsf", "btfsc", "btfss"):
            print("        %s 0x%02X, %d" % (op, f, r.randrange(8)))
        elif op in ("movwf", "clrf"):
            print("        %s 0x%02X" % (op, f))
        else:
            print("        %s 0x%02X, %s" % (op, f, r.choice("wf")))
    elif pick < 0.85:
        print("        %s 0x%02X" % (r.choice(litops), r.randrange(256)))
    elif pick < 0.93:
        print("        " + r.choice(fsr))
    else:
        print("        " + r.choice(plain))
    a += 1
print("        end")
