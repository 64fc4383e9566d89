/* Start-up code for the Cortex-M3 example on QEMU's lm3s6965evb machine.
 *
 * It uses only the symbols of the generated linker script to prepare the RAM:
 *   __SRAM_segment_start__, __SRAM_segment_end__    the whole SRAM, filled with a pattern first
 *   __fast_load_start__ -> __fast_start__ .. __fast_end__   RAM functions, copied from flash
 *   __data_load_start__ -> __data_start__ .. __data_end__   initialised data, copied from flash
 *   __bss_start__ .. __bss_end__                       zeroed
 *   __stack_end__                                      initial stack pointer (vector table)
 * Then it calls a RAM function, checks what it expects and reports through semihosting: one
 * line on standard output and the exit status (0 when every check passed, else the number of
 * the failed check). Run it with
 *   qemu-system-arm -M lm3s6965evb -semihosting-config enable=on,target=native \
 *       -display none -kernel image.bin
 * where image.bin is the linked program after "arm-none-eabi-objcopy -O binary".
 *
 * Assemble with --defsym STACK_SIZE=... when -section-placement-macros sets STACK_SIZE. The
 * copy and zero loops move whole words: every section they touch is aligned to 4 bytes by the
 * placement, and this file only puts whole words into them. */

    .syntax unified
    .cpu cortex-m3
    .thumb

    .ifndef STACK_SIZE
    .equ STACK_SIZE, 0x400          /* the default of $(STACK_SIZE:0x400) in placement.xml */
    .endif

    .equ RAM_PATTERN, 0xFFFFFFFF    /* an undefined instruction, should the core ever run it */
    .equ DATA_FIRST, 0x11223344
    .equ DATA_LAST, 0x55667788
    .equ RAM_FUNCTION_RESULT, 0xC0DEF00D

    .equ SYS_WRITE0, 0x04
    .equ SYS_EXIT_EXTENDED, 0x20
    .equ ADP_Stopped_ApplicationExit, 0x20026

/* check COND, NUMBER, TEXT: after a compare, fail with exit status NUMBER and the message TEXT
 * unless condition COND holds. The message and the exit parameter block live in flash, so a
 * failure is reported whatever state the RAM is in. */
    .macro check cond, number, text
    b\cond .Lok\@
    ldr r1, =.Lmessage\@
    ldr r2, =.Lexit\@
    b report
    .pushsection .rodata
.Lmessage\@:
    .asciz "FAIL \number: \text\n"
    .balign 4
.Lexit\@:
    .word ADP_Stopped_ApplicationExit, \number
    .popsection
.Lok\@:
    .endm

/* The vector table: initial stack pointer, reset, and every fault to the failure report. */
    .section .vectors, "a"
    .word __stack_end__
    .word reset_handler
    .rept 14
    .word fault_handler
    .endr

    .text
    .thumb_func
    .global reset_handler
reset_handler:
    mov r8, sp                      /* as the core loaded it from the vector table */

    /* The RAM is filled with a pattern, so zeroing or copying too little shows in the checks. */
    ldr r0, =__SRAM_segment_start__
    ldr r1, =__SRAM_segment_end__
    ldr r2, =RAM_PATTERN
    bl fill_words

    ldr r0, =__fast_load_start__
    ldr r1, =__fast_start__
    ldr r2, =__fast_end__
    bl copy_words

    ldr r0, =__data_load_start__
    ldr r1, =__data_start__
    ldr r2, =__data_end__
    bl copy_words

    ldr r0, =__bss_start__
    ldr r1, =__bss_end__
    movs r2, #0
    bl fill_words

    /* The stack is at the end of SRAM and has the size the placement asked for. */
    ldr r0, =__SRAM_segment_end__
    cmp r8, r0
    check eq, 1, "initial stack pointer is not the end of SRAM"
    ldr r1, =__stack_end__
    cmp r1, r0
    check eq, 2, "__stack_end__ is not the end of SRAM"
    ldr r1, =__stack_start__
    ldr r2, =STACK_SIZE
    add r1, r1, r2
    cmp r1, r0
    check eq, 3, "__stack_start__ is not STACK_SIZE below the end of SRAM"
    ldr r1, =__stack_size__
    cmp r1, r2
    check eq, 4, "__stack_size__ is not STACK_SIZE"
    ldr r0, =0x600DCAFE             /* the stack holds what is pushed */
    push {r0}
    ldr r1, [sp]
    pop {r2}
    cmp r1, r0
    check eq, 5, "the stack does not hold a pushed word"

    /* Initialised data arrived from flash, first word and last. */
    ldr r0, =data_first
    ldr r0, [r0]
    ldr r1, =DATA_FIRST
    cmp r0, r1
    check eq, 6, "data_first does not hold its initial value"
    ldr r0, =data_last
    ldr r0, [r0]
    ldr r1, =DATA_LAST
    cmp r0, r1
    check eq, 7, "data_last does not hold its initial value"

    /* .bss is zero, from its first word to its last, and zeroing stopped at its end. */
    ldr r0, =bss_first
    ldr r0, [r0]
    cmp r0, #0
    check eq, 8, "bss_first is not zero"
    ldr r0, =bss_last
    ldr r0, [r0]
    cmp r0, #0
    check eq, 9, "bss_last is not zero"
    ldr r0, =__bss_end__
    ldr r0, [r0]
    ldr r1, =RAM_PATTERN
    cmp r0, r1
    check eq, 10, "the word after .bss was overwritten"

    /* The RAM function lies in SRAM, runs there and returns its result. */
    ldr r4, =ram_function
    bic r4, r4, #1                  /* drop the Thumb bit */
    ldr r0, =__SRAM_segment_start__
    cmp r4, r0
    check hs, 11, "ram_function is below SRAM"
    ldr r0, =__SRAM_segment_end__
    cmp r4, r0
    check lo, 12, "ram_function is above SRAM"
    ldr r0, =ram_function
    blx r0
    ldr r2, =RAM_FUNCTION_RESULT
    cmp r1, r2
    check eq, 13, "ram_function did not return its result"
    ldr r2, =__fast_start__
    cmp r0, r2
    check hs, 14, "ram_function did not run in .fast"
    ldr r2, =__fast_end__
    cmp r0, r2
    check lo, 15, "ram_function did not run in .fast"

    ldr r1, =pass_message
    ldr r2, =pass_exit
    b report

/* fill_words: store r2 into every word from r0 up to r1. Uses no stack. */
    .thumb_func
fill_words:
    cmp r0, r1
    itt lo
    strlo r2, [r0], #4
    blo fill_words
    bx lr

/* copy_words: copy words from r0 to r1 until r1 reaches r2. Uses no stack. */
    .thumb_func
copy_words:
    cmp r1, r2
    bhs 1f
    ldr r3, [r0], #4
    str r3, [r1], #4
    b copy_words
1:  bx lr

/* Every exception the program does not expect ends here. */
    .thumb_func
fault_handler:
    ldr r1, =fault_message
    ldr r2, =fault_exit
    b report

/* report: print the message at r1, then exit with the parameter block at r2. */
    .thumb_func
report:
    mov r4, r2
    movs r0, #SYS_WRITE0
    bkpt 0xab
    movs r0, #SYS_EXIT_EXTENDED
    mov r1, r4
    bkpt 0xab
    b .

    .ltorg

    .section .rodata
pass_message:
    .asciz "PASS: every start-up check held\n"
fault_message:
    .asciz "FAIL 99: unexpected exception\n"
    .balign 4
pass_exit:
    .word ADP_Stopped_ApplicationExit, 0
fault_exit:
    .word ADP_Stopped_ApplicationExit, 99

/* A function that runs from RAM: it returns its own address in r0 and a constant, read from
 * the literal pool that is copied with it, in r1. */
    .section .fast, "ax"
    .thumb_func
    .global ram_function
ram_function:
    mov r0, pc
    ldr r1, =RAM_FUNCTION_RESULT
    bx lr
    .ltorg

    .data
    .global data_first, data_last
data_first:
    .word DATA_FIRST
    .word 0, 1, 2, 3
data_last:
    .word DATA_LAST

    .bss
    .global bss_first, bss_last
bss_first:
    .space 4
    .space 60
bss_last:
    .space 4
