; blink.hex: the reconstructed source for the PIC16F84A
; gpasm -p p16f84a assembles it to the same image.

        processor 16f84a
        errorlevel -302, -306

        org     0x0000
; reset vector
        clrf    0x06                    ; 0000
        bsf     0x03, 5                 ; 0001
        clrf    0x86                    ; 0002
        bcf     0x03, 5                 ; 0003
; interrupt vector
        movlw   0x02                    ; 0004
        movwf   0x0A                    ; 0005
label_0006:  ; jumped to from 000F
        clrf    0x0C                    ; 0006
label_0007:  ; jumped to from 000E
        movf    0x0C, w                 ; 0007
        call    function_0200           ; 0008
        movwf   0x06                    ; 0009
        incf    0x0C, f                 ; 000A
        movlw   0x0A                    ; 000B
        xorwf   0x0C, w                 ; 000C
        btfss   0x03, 2                 ; 000D
        goto    label_0007              ; 000E
        goto    label_0006              ; 000F

        org     0x0200
function_0200:  ; called from 0008
        addwf   0x02, f                 ; 0200
        retlw   0x3F                    ; 0201
        retlw   0x06                    ; 0202
        retlw   0x5B                    ; 0203
        retlw   0x4F                    ; 0204
        retlw   0x66                    ; 0205
        retlw   0x6D                    ; 0206
        retlw   0x7D                    ; 0207
        retlw   0x07                    ; 0208
        retlw   0x7F                    ; 0209
        retlw   0x6F                    ; 020A

        end
