#!/usr/bin/env bash
# Writes a gpasm source that fills a chip's whole program memory with a mix of
# every instruction of its core, jumps to targets spread over every ROM page and
# register operands in every RAM bank.
#   make_source.sh 16f877a  > image.asm    8K words, 14-bit core, 749 jump targets
#   make_source.sh 16c57    > image.asm    2K words, 12-bit core
set -euo pipefail
chip=${1:?usage: make_source.sh 16f877a|16c57}
case "$chip" in
  16f877a) words=8192 core=14 targets=749 ;;
  16c57) words=2048 core=12 targets=300 ;;
  *) echo "unknown chip: $chip" >&2; exit 2 ;;
esac
awk -v chip="$chip" -v words="$words" -v core="$core" -v targets="$targets" '
function next_random() { seed = (seed * 1103515245 + 12345) % 2147483648; return int(seed / 65536) }
BEGIN {
  seed = 20261207
  printf "        LIST    P=%s\n", toupper(chip)
  printf "        #include <p%s.inc>\n", chip
  # page crossings and banked operands are what this image is about
  printf "        ERRORLEVEL -302, -306, -219\n"
  printf "        ORG     0\n"
  if (core == 14) {
    page = 2048
    n = split("ADDWF ANDWF COMF DECF DECFSZ INCF INCFSZ IORWF MOVF RLF RRF SUBWF SWAPF XORWF", byteops, " ")
    n2 = split("ADDLW ANDLW IORLW MOVLW SUBLW XORLW", litops, " ")
    n3 = split("NOP CLRW CLRWDT RETFIE RETURN SLEEP", plain, " ")
    banks = 4; bankstep = 128; regs = 128
    # a distinct place in its page for every target, spread over all pages
    for (i = 0; i < targets; i++) {
      t = (i % 4) * page + (i * 1031) % page
      label[t] = sprintf("T%04d", i); target[i] = t
    }
  } else {
    page = 512
    n = split("ADDWF ANDWF COMF DECF DECFSZ INCF INCFSZ IORWF MOVF RLF RRF SUBWF SWAPF XORWF", byteops, " ")
    n2 = split("ANDLW IORLW MOVLW XORLW", litops, " ")
    n3 = split("NOP CLRW CLRWDT OPTION SLEEP", plain, " ")
    banks = 1; bankstep = 0; regs = 32
    # CALL reaches only the first half of a page on this core
    for (i = 0; i < targets; i++) {
      t = (i % 4) * page + (i * 37) % 256
      label[t] = sprintf("T%04d", i); target[i] = t
    }
  }
  jumps = 0
  for (a = 0; a < words; a++) {
    if (a in label) printf "%s\n", label[a]
    r = next_random() % 16
    f = (next_random() % banks) * bankstep + next_random() % regs
    if (a == words - 1) {
      # the last target is named only here: a table filled to the last entry
      # refuses every later GOTO or CALL, also one to a known target
      printf "        GOTO    %s\n", label[target[targets - 1]]
    } else if (r <= 2) {
      t = target[jumps % (targets - 1)]; jumps++
      printf "        %s    %s\n", (r == 0 && (core == 14 || t % page < 256)) ? "CALL" : "GOTO", label[t]
    } else if (r <= 6) {
      printf "        %s   0x%02X, %s\n", byteops[1 + next_random() % n], f, (next_random() % 2) ? "F" : "W"
    } else if (r == 7) {
      printf "        %s   0x%02X\n", (next_random() % 2) ? "MOVWF" : "CLRF", f
    } else if (r <= 9) {
      split("BCF BSF BTFSC BTFSS", bitops, " ")
      printf "        %s   0x%02X, %d\n", bitops[1 + next_random() % 4], f, next_random() % 8
    } else if (r <= 11) {
      printf "        %s   0x%02X\n", litops[1 + next_random() % n2], next_random() % 256
    } else if (r == 12) {
      printf "        RETLW   0x%02X\n", next_random() % 256
    } else if (r == 13) {
      printf "        %s\n", plain[1 + next_random() % n3]
    } else if (core == 12 && r == 14) {
      printf "        TRIS    %d\n", 5 + next_random() % 3
    } else {
      printf "        %s   0x%02X, %s\n", byteops[1 + next_random() % n], f, "F"
    }
  }
  printf "        END\n"
}'
