; Source reconstructed by tolvek from 12f1840.hex for the PIC12F1840
; gpasm -p p12f1840 assembles it to the same image.

        processor 12f1840
        errorlevel -302, -306

; registers
FSR0            EQU     0x04
FSR1            EQU     0x06
BSR             EQU     0x08
TRISA           EQU     0x8C
LATA            EQU     0x10C

; configuration settings
_FOSC_INTOSC    EQU     0x3FFC
_WDTE_OFF       EQU     0x3FE7
_PWRTE_OFF      EQU     0x3FFF
_MCLRE_ON       EQU     0x3FFF
_CP_OFF         EQU     0x3FFF
_CPD_OFF        EQU     0x3FFF
_BOREN_OFF      EQU     0x39FF
_CLKOUTEN_OFF   EQU     0x3FFF
_IESO_ON        EQU     0x3FFF
_FCMEN_ON       EQU     0x3FFF
_WRT_OFF        EQU     0x3FFF
_PLLEN_OFF      EQU     0x3EFF
_STVREN_ON      EQU     0x3FFF
_BORV_LO        EQU     0x3FFF
_DEBUG_OFF      EQU     0x3FFF
_LVP_ON         EQU     0x3FFF

        __config 0x8007, _FOSC_INTOSC & _WDTE_OFF & _PWRTE_OFF & _MCLRE_ON & _CP_OFF & _CPD_OFF & _BOREN_OFF & _CLKOUTEN_OFF & _IESO_ON & _FCMEN_ON
        __config 0x8008, _WRT_OFF & _PLLEN_OFF & _STVREN_ON & _BORV_LO & _DEBUG_OFF & _LVP_ON

        org     0x0000
; reset vector
        goto    label_0007              ; 0000

        org     0x0004
; interrupt vector
        movlb   0x01                    ; 0004
        clrf    TRISA                   ; 0005
        retfie                          ; 0006
label_0007:  ; jumped to from 0000, 0010
        movlb   0x01                    ; 0007
        clrf    TRISA                   ; 0008
        movlw   0x02                    ; 0009
        movwf   BSR                     ; 000A
        clrf    LATA                    ; 000B
        movlp   0x00                    ; 000C
        movlw   0x01                    ; 000D
        brw                             ; 000E
; not reached by any path from the vectors
        retlw   0x00                    ; 000F
; reached from the vectors
        bra     label_0007              ; 0010

        end
