; Source reconstructed by tolvek from 16f628a.hex for the PIC16F628A
; gpasm -p p16f628a assembles it to the same image.

        processor 16f628a
        errorlevel -302, -306

; registers
PCL             EQU     0x02
STATUS          EQU     0x03
PORTB           EQU     0x06
TRISB           EQU     0x86

; bits
RP0             EQU     .5

; configuration settings
_FOSC_INTOSCIO  EQU     0x3FFC
_WDTE_OFF       EQU     0x3FFB
_PWRTE_OFF      EQU     0x3FFF
_MCLRE_OFF      EQU     0x3FDF
_BOREN_OFF      EQU     0x3FBF
_LVP_OFF        EQU     0x3F7F
_CPD_OFF        EQU     0x3FFF
_CP_OFF         EQU     0x3FFF

; data memory
ram_020         EQU     0x20    ; reads: 1, writes: 1
ram_070         EQU     0x70    ; reads: 0, writes: 1
ram_0A0         EQU     0xA0    ; reads: 1, writes: 0

        __config 0x2007, _FOSC_INTOSCIO & _WDTE_OFF & _PWRTE_OFF & _MCLRE_OFF & _BOREN_OFF & _LVP_OFF & _CPD_OFF & _CP_OFF

        org     0x0000
; reset vector
        goto    label_0009              ; 0000

        org     0x0004
; interrupt vector
        movwf   ram_070                 ; 0004
        movf    0x06, w                 ; 0005  bank unknown: PORTB, TRISB
        clrf    STATUS                  ; 0006
        movf    PORTB, w                ; 0007
        retfie                          ; 0008
label_0009:  ; jumped to from 0000
        bsf     STATUS, RP0             ; 0009
        clrf    TRISB                   ; 000A
        bcf     STATUS, RP0             ; 000B
        call    function_0017           ; 000C
        movwf   PORTB                   ; 000D
        call    function_0019           ; 000E
        movwf   TRISB                   ; 000F
        btfsc   ram_0A0, 0              ; 0010
        bcf     STATUS, RP0             ; 0011
        movwf   0x06                    ; 0012  bank unknown: PORTB, TRISB
        bcf     STATUS, RP0             ; 0013
        movlw   0x02                    ; 0014
        call    function_001B           ; 0015
label_0016:  ; jumped to from 0016
        goto    label_0016              ; 0016

; ----------------------------------------------------------------
; function called from 000C; on entry: bank 0
function_0017:  ; called from 000C
        incf    ram_020, f              ; 0017
        return                          ; 0018

; ----------------------------------------------------------------
; function called from 000E; on entry: bank 0
function_0019:  ; called from 000E
        bsf     STATUS, RP0             ; 0019
        return                          ; 001A

; ----------------------------------------------------------------
; function called from 0015; on entry: bank 0
function_001B:  ; called from 0015
        addwf   PCL, f                  ; 001B
; not reached by any path from the vectors
        retlw   0x61                    ; 001C  'a'
        retlw   0x62                    ; 001D  'b'
; reached from the vectors
        retlw   0x63                    ; 001E  'c'
; not reached by any path from the vectors
        dw      0x3FFF                  ; 001F

        org     0x2100
        de      0x48, 0x65, 0x6C, 0x6C, 0x6F, 0x2C, 0x20, 0x77 ; EEPROM 0000  "Hello, w"
        de      0x6F, 0x72, 0x6C, 0x64, 0x00            ; EEPROM 0008  "orld."

        end
