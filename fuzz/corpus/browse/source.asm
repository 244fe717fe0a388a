; Reconstructed source of blink.hex
; Device: PIC16F84A (midrange core)

        processor 16F84A

; Registers
STATUS          EQU     0x03
PCL             EQU     0x02
PORTB           EQU     0x06
PCLATH          EQU     0x0A
INTCON          EQU     0x0B
TRISB           EQU     0x86

; STATUS bits
Z               EQU     2
RP0             EQU     5

; INTCON bits
INTF            EQU     1

        __config 0x3FF1

        org     0x0000
; reset vector
        clrf    PORTB           ; 0000
        bsf     STATUS, RP0     ; 0001
        goto    label_0005      ; 0002
        nop                     ; 0003
; interrupt vector
        goto    label_0013      ; 0004
label_0005:  ; jumped to from 0002
        clrf    TRISB           ; 0005
        bcf     STATUS, RP0     ; 0006
        movlw   0x02            ; 0007
        movwf   PCLATH          ; 0008
label_0009:  ; jumped to from 0012
        clrf    0x0C            ; 0009
label_000A:  ; jumped to from 0011
        movf    0x0C, w         ; 000A
        call    function_0200   ; 000B
        movwf   PORTB           ; 000C
        incf    0x0C, f         ; 000D
        movlw   .10             ; 000E  ten digits
        xorwf   0x0C, w         ; 000F
        btfss   STATUS, Z       ; 0010
        goto    label_000A      ; 0011
        goto    label_0009      ; 0012
label_0013:  ; jumped to from 0004
        bcf     INTCON, INTF    ; 0013
        retfie                  ; 0014
; not reached by any path from the vectors
        movlw   0x55            ; 0015
        goto    function_0200   ; 0016

        org     0x0200
function_0200:  ; called from 000B; jumped to from 0016
        addwf   PCL, f          ; 0200
        retlw   0x3F            ; 0201
        retlw   0x06            ; 0202
        retlw   'A'             ; 0203

        end
