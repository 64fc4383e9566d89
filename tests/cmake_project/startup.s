@ Vector table and a reset handler that copies .data from flash to RAM and clears .bss, using
@ the symbols of the generated linker script, then calls main.
    .syntax unified
    .cpu cortex-m3
    .thumb

    .section .vectors, "a"
    .word __stack_end__
    .word reset_handler + 1

    .text
    .global _start
    .global reset_handler
    .thumb_func
_start:
reset_handler:
    ldr r0, =__data_load_start__
    ldr r1, =__data_start__
    ldr r2, =__data_end__
1:  cmp r1, r2
    bhs 2f
    ldr r3, [r0], #4
    str r3, [r1], #4
    b 1b
2:  ldr r1, =__bss_start__
    ldr r2, =__bss_end__
    movs r3, #0
3:  cmp r1, r2
    bhs 4f
    str r3, [r1], #4
    b 3b
4:  bl main
5:  b 5b

    .data
counter:
    .word 42

    .bss
buffer:
    .space 64
