; graphs.hex: the reconstructed source for the PIC16F84A
; gpasm -p p16f84a assembles it to the same image.

        processor 16f84a
        errorlevel -302, -306

; registers
PCL             EQU     0x02
STATUS          EQU     0x03
PORTA           EQU     0x05
PORTB           EQU     0x06
INTCON          EQU     0x0B
TRISA           EQU     0x85
TRISB           EQU     0x86

; bits
INTF            EQU     .1
RA0             EQU     .0
RA1             EQU     .1
RP0             EQU     .5
Z               EQU     .2

; configuration settings
_FOSC_XT        EQU     0x3FFD
_WDTE_OFF       EQU     0x3FFB
_PWRTE_ON       EQU     0x3FF7
_CP_OFF         EQU     0x3FFF

; data memory
count           EQU     0x0C
outer           EQU     0x0D
digit           EQU     0x0E

        __config 0x2007, _FOSC_XT & _WDTE_OFF & _PWRTE_ON & _CP_OFF

        org     0x0000
; reset vector
        goto    start                   ; 0000

        org     0x0004
; interrupt vector
        goto    isr                     ; 0004
start:  ; jumped to from 0000
        bsf     STATUS, RP0             ; 0005
        clrf    TRISB                   ; 0006
        movlw   0x1F                    ; 0007
        movwf   TRISA                   ; 0008
        bcf     STATUS, RP0             ; 0009
        clrf    digit                   ; 000A
main:  ; jumped to from 0021
        btfsc   PORTA, RA0              ; 000B
        goto    up                      ; 000C
        btfsc   PORTA, RA1              ; 000D
        goto    down                    ; 000E
        goto    show                    ; 000F
up:  ; jumped to from 000C
        incf    digit, f                ; 0010
        movlw   0x0A                    ; 0011
        xorwf   digit, w                ; 0012
        btfsc   STATUS, Z               ; 0013
        clrf    digit                   ; 0014
        goto    show                    ; 0015
down:  ; jumped to from 000E
        movf    digit, f                ; 0016
        btfss   STATUS, Z               ; 0017
        goto    dec                     ; 0018
        movlw   0x09                    ; 0019
        movwf   digit                   ; 001A
        goto    show                    ; 001B
dec:  ; jumped to from 0018
        decf    digit, f                ; 001C
show:  ; jumped to from 000F, 0015, 001B
        movf    digit, w                ; 001D
        call    segments                ; 001E
        movwf   PORTB                   ; 001F
        call    delay                   ; 0020
        goto    main                    ; 0021
segments:  ; called from 001E
        andlw   0x0F                    ; 0022
        addwf   PCL, f                  ; 0023
        retlw   0x3F                    ; 0024
        retlw   0x06                    ; 0025
        retlw   0x5B                    ; 0026
        retlw   0x4F                    ; 0027
        retlw   0x66                    ; 0028
        retlw   0x6D                    ; 0029
        retlw   0x7D                    ; 002A
        retlw   0x07                    ; 002B
        retlw   0x7F                    ; 002C
        retlw   0x6F                    ; 002D
delay:  ; called from 0020, 0039
        movlw   0xC8                    ; 002E
        movwf   outer                   ; 002F
delay_outer:  ; jumped to from 0034
        clrf    count                   ; 0030
delay_inner:  ; jumped to from 0032
        decfsz  count, f                ; 0031
        goto    delay_inner             ; 0032
        decfsz  outer, f                ; 0033
        goto    delay_outer             ; 0034
        return                          ; 0035
isr:  ; jumped to from 0004
        btfss   INTCON, INTF            ; 0036
        goto    isr_done                ; 0037
        bcf     INTCON, INTF            ; 0038
        call    delay                   ; 0039
isr_done:  ; jumped to from 0037
        retfie                          ; 003A

        end
