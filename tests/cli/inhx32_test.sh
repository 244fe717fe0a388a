#!/usr/bin/env bash
# An INHX32 file written by gpasm gives, with --format inhx32, exactly the
# listing that the same source gives as INHX8M. Skipped (77) without gpasm.
# usage: inhx32_test.sh PATH/TO/tolvek-cli
set -u
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
command -v gpasm > /dev/null || { echo "gpasm not found: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cat > mid.asm <<'ASM'
        list p=16f877a
        include "p16f877a.inc"
        __config _XT_OSC & _WDT_OFF & _LVP_OFF
        org 0
start   bsf STATUS,RP0
        clrf TRISB
        bcf STATUS,RP0
loop    call far
        movlw 0x3f
        retlw 'A'
        goto loop
        org 0x1800
far     incf PORTB,f
        return
        org 0x2100
        de 1,2,3
        end
ASM
cat > base.asm <<'ASM'
        list p=16c57
        include "p16c5x.inc"
        org 0
        movlw 0x0f
        tris PORTB
l1      decfsz 0x10,f
        goto l1
        call sub
        org 0x600
sub     retlw 0x42
        end
ASM
status=0
for src in mid base; do
  # gpasm names its hex file after the source, whatever -o says
  gpasm -q -a inhx32 "$src.asm" > /dev/null || { echo "gpasm failed on $src"; exit 1; }
  mv "$src.hex" "$src.h32"
  gpasm -q -a inhx8m "$src.asm" > /dev/null || { echo "gpasm failed on $src"; exit 1; }
  grep -q '^:02000004' "$src.h32" || { echo "FAIL $src: gpasm wrote no type 04 record"; status=1; }
  chip=$([ $src = mid ] && echo 16F877A || echo 16C57)
  printf '[16F877A]\n<False,4>\n#0,PORTB;6,STATUS;3\n#1,TRISB;86\n%%STATUS,C,DC,Z,NOT_PD,NOT_TO,RP0\n[16C57]\n<True,4>\n#0,PORTB;6\n%%PORTB,RB0\nx\n[ end\n' > chips.txt
  "$cli" -c chips.txt -p $chip -f inhx32 -o "$src.32.dis" "$src.h32" > out32.txt || { echo "FAIL $src: inhx32 run"; cat out32.txt; status=1; }
  "$cli" -c chips.txt -p $chip -o "$src.8m.dis" "$src.hex" > out8.txt || { echo "FAIL $src: inhx8m run"; cat out8.txt; status=1; }
  if cmp -s "$src.32.dis" "$src.8m.dis"; then
    echo "ok $src: listings equal"
  else
    echo "FAIL $src: listings differ"; diff "$src.32.dis" "$src.8m.dis" | head; status=1
  fi
  "$cli" -c chips.txt -p $chip "$src.h32" > hint.txt
  grep -q -- '--format inhx32' hint.txt || { echo "FAIL $src: no hint in INHX8M mode"; status=1; }
done
exit $status
