        movlw   .10             ; 0004  ten digits
        goto    0x0003          ; 0005
; not reached by any path from the vectors
        movwf   ram_020         ; 0006
        movwf   0x21            ; 0007
