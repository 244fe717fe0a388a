; Source reconstructed by tolvek from blink.hex for the PIC16F84A

        processor 16F84A

; Registers
STATUS          EQU     0x03
PORTB           EQU     0x06

; STATUS bits
RP0             EQU     5
