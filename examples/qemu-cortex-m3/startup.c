/* Start-up code in C for Cortex-M, for programs on a C library such as newlib: the vector table
 * and a reset handler that prepares the RAM with nothing but the symbols of the script ldweave
 * writes, then runs the C library's initialisation and main.
 *
 *   __stack_end__                                        initial stack pointer (end of RAM)
 *   __data_load_start__ -> __data_start__ .. __data_end__  initialised data, copied from flash
 *   __fast_load_start__ -> __fast_start__ .. __fast_end__  RAM functions, when placed
 *   __tdata_load_start__ -> __tdata_start__ .. __tdata_end__  thread-local data, when placed
 *   __bss_start__ .. __bss_end__, __tbss_start__ .. __tbss_end__   zeroed
 *
 * The sections that only some placements have are weak references: a placement without them
 * leaves their symbols at 0, and the loops do nothing. The loops move whole words, so every
 * copied or zeroed section starts on a word (the runtime fragments align them); a last partial
 * word falls into the alignment gap behind the section. Build with the runtime fragment
 * newlib-cortex-m.xml, link with --specs=rdimon.specs (semihosting) and give ldweave
 * -entry reset_handler. */
#include <stdint.h>
#include <stdlib.h>

#define OPTIONAL __attribute__((weak))

extern uint32_t __stack_end__[];
extern uint32_t __data_load_start__[], __data_start__[], __data_end__[];
extern uint32_t __bss_start__[], __bss_end__[];
extern uint32_t __fast_load_start__[] OPTIONAL, __fast_start__[] OPTIONAL, __fast_end__[] OPTIONAL;
extern uint32_t __tdata_load_start__[] OPTIONAL, __tdata_start__[] OPTIONAL,
    __tdata_end__[] OPTIONAL;
extern uint32_t __tbss_start__[] OPTIONAL, __tbss_end__[] OPTIONAL;

int main(void);
void __libc_init_array(void);
/* newlib's semihosting library (librdimon) opens standard input and output here. */
void initialise_monitor_handles(void) OPTIONAL;
void _exit(int status) __attribute__((noreturn));

void reset_handler(void) __attribute__((noreturn));

/* A fault ends the program with status 128 + the exception number, so a test that faults fails
 * at once instead of running into its time limit. */
static void fault_handler(void)
{
    uint32_t exception;
    __asm__ volatile("mrs %0, ipsr" : "=r"(exception));
    _exit(128 + (int)(exception & 0x1ff));
}

typedef void (*Handler)(void);

/* Initial stack pointer, reset, and the fourteen system exceptions; interrupts are unused. */
__attribute__((section(".vectors"), used)) static const Handler vectors[16] = {
    (Handler)(uintptr_t)__stack_end__, reset_handler, fault_handler, fault_handler,
    fault_handler, fault_handler, fault_handler, fault_handler,
    fault_handler, fault_handler, fault_handler, fault_handler,
    fault_handler, fault_handler, fault_handler, fault_handler,
};

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
    copy_words(__fast_start__, __fast_load_start__, __fast_end__);
    copy_words(__tdata_start__, __tdata_load_start__, __tdata_end__);
    zero_words(__bss_start__, __bss_end__);
    zero_words(__tbss_start__, __tbss_end__);
    if (initialise_monitor_handles)
        initialise_monitor_handles();
    __libc_init_array(); /* _init, then the constructors in priority order */
    exit(main());
}
