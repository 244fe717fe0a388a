        org     0x0000
; reset vector
        bsf     STATUS, RP0     ; 0000
        goto    label_0003      ; 0001
; interrupt vector
        retfie                  ; 0002
label_0003:  ; jumped to from 0001
        call    function_0200   ; 0003
