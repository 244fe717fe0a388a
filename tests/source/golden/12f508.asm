; Source reconstructed by tolvek from 12f508.hex for the PIC12F508
; gpasm -p p12f508 assembles it to the same image.

        processor 12f508
        errorlevel -302, -306

; registers
OSCCAL          EQU     0x05
GPIO            EQU     0x06

; bits
GP1             EQU     .1

; configuration settings
_OSC_IntRC      EQU     0x0FFE
_WDT_OFF        EQU     0x0FFB
_CP_OFF         EQU     0x0FFF
_MCLRE_OFF      EQU     0x0FEF

; data memory
ram_010         EQU     0x10    ; reads: 1, writes: 1

        __config 0x0FFF, _OSC_IntRC & _WDT_OFF & _CP_OFF & _MCLRE_OFF

        org     0x0000
; program start: the reset word at 01FF runs on here
        movwf   OSCCAL                  ; 0000
        movlw   0x0E                    ; 0001
        tris    0x06                    ; 0002
        call    function_0005           ; 0003
        goto    label_0100              ; 0004

; ----------------------------------------------------------------
; function called from 0003
function_0005:  ; called from 0003; jumped to from 0006
        decfsz  ram_010, f              ; 0005
        goto    function_0005           ; 0006
        retlw   0x00                    ; 0007

        org     0x0100
label_0100:  ; jumped to from 0004, 0101
        bsf     GPIO, GP1               ; 0100
        goto    label_0100              ; 0101

        org     0x01FF
; reset vector
        movlw   0x54                    ; 01FF

        org     0x0200
        dw      0x0001                      ; ID location 0
        dw      0x0002                      ; ID location 1
        dw      0x0003                      ; ID location 2
        dw      0x0004                      ; ID location 3

        end
