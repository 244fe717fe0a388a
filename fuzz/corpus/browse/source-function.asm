; data memory
ram_020         EQU     0x020

        org     0x0200
function_0200:  ; called from 0003; jumped to from 0016
        addwf   PCL, f          ; 0200
        retlw   'A'             ; 0201
        end
