/* Start-up code for the RV32 example on QEMU's virt machine (-bios none, one hart).
 *
 * It uses only the symbols of the generated linker script to prepare the RAM:
 *   __RAM_segment_start__, __RAM_segment_end__        the whole RAM, filled with a pattern first
 *   __ramfunc_load_start__ -> __ramfunc_start__ .. __ramfunc_end__   RAM functions, copied
 *   __data_load_start__ -> __data_start__ .. __data_end__            initialised data, copied
 *   __bss_start__ .. __bss_end__                         zeroed
 *   __stack_end__                                        initial stack pointer
 * Then it calls a RAM function, checks what it expects and reports through semihosting: one
 * line on standard output and the exit status (0 when every check passed, else the number of
 * the failed check). Run it with
 *   qemu-system-riscv32 -M virt -bios none -semihosting-config enable=on,target=native \
 *       -display none -kernel image.bin
 * where image.bin is the linked program after "riscv64-unknown-elf-objcopy -O binary".
 *
 * Assemble with -march=rv32ima_zicsr -mabi=ilp32, and with --defsym STACK_SIZE=... when
 * -section-placement-macros sets STACK_SIZE. The copy and zero loops move whole words: every
 * section they touch is aligned to 4 bytes by the placement, and this file only puts whole
 * words into them. */

    .ifndef STACK_SIZE
    .equ STACK_SIZE, 0x400          /* the default of $(STACK_SIZE:0x400) in placement.xml */
    .endif

    .equ RAM_PATTERN, 0xFFFFFFFF    /* an illegal instruction, should the hart ever run it */
    .equ DATA_FIRST, 0x11223344
    .equ DATA_LAST, 0x55667788
    .equ RAM_FUNCTION_RESULT, 0xC0DEF00D

    .equ SYS_WRITE0, 0x04
    .equ SYS_EXIT_EXTENDED, 0x20
    .equ ADP_Stopped_ApplicationExit, 0x20026

/* check BRANCH, LEFT, RIGHT, NUMBER, TEXT: fail with exit status NUMBER and the message TEXT
 * unless "BRANCH LEFT, RIGHT" branches. The message and the exit parameter block live in
 * flash, so a failure is reported whatever state the RAM is in. */
    .macro check branch, left, right, number, text
    \branch \left, \right, .Lok\@
    la a1, .Lmessage\@
    la a2, .Lexit\@
    j report
    .pushsection .rodata
.Lmessage\@:
    .asciz "FAIL \number: \text\n"
    .balign 4
.Lexit\@:
    .word ADP_Stopped_ApplicationExit, \number
    .popsection
.Lok\@:
    .endm

/* The reset entry, at the start of FLASH, and the trap vector: every trap is a failure. */
    .section .init, "ax"
    .global _start
_start:
    j reset_handler
    .balign 4
trap_entry:
    la a1, trap_message
    la a2, trap_exit
    j report

    .text
reset_handler:
    la t0, trap_entry
    csrw mtvec, t0

    /* The RAM is filled with a pattern, so zeroing or copying too little shows in the checks. */
    la a0, __RAM_segment_start__
    la a1, __RAM_segment_end__
    li a2, RAM_PATTERN
    jal fill_words

    la a0, __ramfunc_load_start__
    la a1, __ramfunc_start__
    la a2, __ramfunc_end__
    jal copy_words

    la a0, __data_load_start__
    la a1, __data_start__
    la a2, __data_end__
    jal copy_words

    la a0, __bss_start__
    la a1, __bss_end__
    li a2, 0
    jal fill_words

    la sp, __stack_end__

    /* The stack is at the end of RAM and has the size the placement asked for. */
    la t0, __RAM_segment_end__
    check beq, sp, t0, 1, "__stack_end__ is not the end of RAM"
    la t1, __stack_start__
    li t2, STACK_SIZE
    add t1, t1, t2
    check beq, t1, t0, 2, "__stack_start__ is not STACK_SIZE below the end of RAM"
    lui t1, %hi(__stack_size__)     /* an absolute value, not an address */
    addi t1, t1, %lo(__stack_size__)
    check beq, t1, t2, 3, "__stack_size__ is not STACK_SIZE"
    li t0, 0x600DCAFE               /* the stack holds what is pushed */
    addi sp, sp, -16
    sw t0, 0(sp)
    lw t1, 0(sp)
    addi sp, sp, 16
    check beq, t0, t1, 4, "the stack does not hold a pushed word"

    /* Initialised data arrived from flash, from .data and from .sdata. */
    lw t0, data_first
    li t1, DATA_FIRST
    check beq, t0, t1, 5, "data_first does not hold its initial value"
    lw t0, data_last
    li t1, DATA_LAST
    check beq, t0, t1, 6, "data_last (.sdata) does not hold its initial value"

    /* .bss and .sbss are zero, and zeroing stopped at the end of .bss. */
    lw t0, bss_first
    check beq, t0, zero, 7, "bss_first is not zero"
    lw t0, bss_last
    check beq, t0, zero, 8, "bss_last (.sbss) is not zero"
    la t0, __bss_end__
    lw t0, 0(t0)
    li t1, RAM_PATTERN
    check beq, t0, t1, 9, "the word after .bss was overwritten"

    /* The RAM function lies in RAM, runs there and returns its result. */
    la s0, ram_function
    la t0, __RAM_segment_start__
    check bgeu, s0, t0, 10, "ram_function is below RAM"
    la t0, __RAM_segment_end__
    check bltu, s0, t0, 11, "ram_function is above RAM"
    jalr s0
    li t0, RAM_FUNCTION_RESULT
    check beq, a1, t0, 12, "ram_function did not return its result"
    la t0, __ramfunc_start__
    check bgeu, a0, t0, 13, "ram_function did not run in .ramfunc"
    la t0, __ramfunc_end__
    check bltu, a0, t0, 14, "ram_function did not run in .ramfunc"

    la a1, pass_message
    la a2, pass_exit
    j report

/* fill_words: store a2 into every word from a0 up to a1. Uses no stack. */
fill_words:
    bgeu a0, a1, 1f
    sw a2, 0(a0)
    addi a0, a0, 4
    j fill_words
1:  ret

/* copy_words: copy words from a0 to a1 until a1 reaches a2. Uses no stack. */
copy_words:
    bgeu a1, a2, 1f
    lw t0, 0(a0)
    sw t0, 0(a1)
    addi a0, a0, 4
    addi a1, a1, 4
    j copy_words
1:  ret

/* report: print the message at a1, then exit with the parameter block at a2. */
report:
    mv s1, a2
    li a0, SYS_WRITE0
    jal semihost
    li a0, SYS_EXIT_EXTENDED
    mv a1, s1
    jal semihost
1:  j 1b

/* semihost: operation a0 with argument a1. The three instructions must be uncompressed and on
 * one page, which the alignment guarantees. */
    .balign 16
semihost:
    .option push
    .option norvc
    slli zero, zero, 0x1f
    ebreak
    srai zero, zero, 7
    .option pop
    ret

    .section .rodata
pass_message:
    .asciz "PASS: every start-up check held\n"
trap_message:
    .asciz "FAIL 99: unexpected trap\n"
    .balign 4
pass_exit:
    .word ADP_Stopped_ApplicationExit, 0
trap_exit:
    .word ADP_Stopped_ApplicationExit, 99

/* A function that runs from RAM: it returns its own address in a0 and, built into its own
 * instructions, a constant in a1. */
    .section .ramfunc, "ax"
    .global ram_function
ram_function:
    auipc a0, 0
    li a1, RAM_FUNCTION_RESULT
    ret

    .data
    .global data_first
data_first:
    .word DATA_FIRST
    .word 0, 1, 2, 3

    .section .sdata, "aw"
    .global data_last
data_last:
    .word DATA_LAST

    .bss
    .global bss_first
bss_first:
    .space 4
    .space 60

    .section .sbss, "aw", @nobits
    .global bss_last
bss_last:
    .space 4
