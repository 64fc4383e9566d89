/* Start-up code in C for RV32, for programs on a C library that brings no start-up code of its
 * own (or whose crt0 is left out with -nostartfiles): _start sets the global, stack and thread
 * pointers, and reset_handler prepares the RAM with nothing but the symbols of the script ldweave
 * writes, then runs the C library's initialisation and main.
 *
 *   __global_pointer$, __stack_end__, __tdata_start__     gp, sp and tp
 *   __data_load_start__ -> __data_start__ .. __data_end__  initialised data, copied from flash
 *   __ramfunc_load_start__ -> __ramfunc_start__ .. __ramfunc_end__  RAM functions, when placed
 *   __tdata_load_start__ -> __tdata_start__ .. __tdata_end__  thread-local data, when placed
 *   __bss_start__ .. __bss_end__, __tbss_start__ .. __tbss_end__   zeroed
 *
 * The sections that only some placements have are weak references: a placement without them
 * leaves their symbols at 0, and the loops do nothing. The loops move whole words, so every
 * copied or zeroed section starts on a word (the runtime fragments align them). _start is in
 * .text.init.enter, which the runtime fragment picolibc-rv32.xml puts first in FLASH; give
 * ldweave -entry _start. */
#include <stdint.h>
#include <stdlib.h>

#define OPTIONAL __attribute__((weak))

extern uint32_t __data_load_start__[], __data_start__[], __data_end__[];
extern uint32_t __bss_start__[], __bss_end__[];
extern uint32_t __ramfunc_load_start__[] OPTIONAL, __ramfunc_start__[] OPTIONAL,
    __ramfunc_end__[] OPTIONAL;
extern uint32_t __tdata_load_start__[] OPTIONAL, __tdata_start__[] OPTIONAL,
    __tdata_end__[] OPTIONAL;
extern uint32_t __tbss_start__[] OPTIONAL, __tbss_end__[] OPTIONAL;

int main(void);
void __libc_init_array(void);
void reset_handler(void) __attribute__((noreturn));

/* No C before the pointers are set: gp must be loaded without the linker relaxing the load
 * against gp itself. */
__attribute__((naked, section(".text.init.enter"))) void _start(void)
{
    __asm__ volatile(".option push\n"
                     ".option norelax\n"
                     "la gp, __global_pointer$\n"
                     ".option pop\n"
                     "la sp, __stack_end__\n"
                     "lla tp, __tdata_start__\n"
                     "j reset_handler\n");
}

static void copy_words(uint32_t *destination, const uint32_t *source, const uint32_t *end)
{
    while (destination < end)
        *destination++ = *source++;
}

static void zero_words(uint32_t *destination, const uint32_t *end)
{
    while (destination < end)
        *destination++ = 0;
}

void reset_handler(void)
{
    copy_words(__data_start__, __data_load_start__, __data_end__);
    copy_words(__ramfunc_start__, __ramfunc_load_start__, __ramfunc_end__);
    copy_words(__tdata_start__, __tdata_load_start__, __tdata_end__);
    zero_words(__bss_start__, __bss_end__);
    zero_words(__tbss_start__, __tbss_end__);
    __libc_init_array(); /* the constructors in priority order */
    exit(main());
}
