/* Start-up code in C for Cortex-M in the CMSIS style: a vector table named __Vectors in .vectors
 * whose first word is __StackTop, and a reset handler that calls SystemInit (when a program has
 * one), then prepares the RAM from the two tables the linker script provides and hands over to
 * the C library's _start, which runs the constructors and main.
 *
 *   __copy_table_start__ .. __copy_table_end__   entries {source, destination, length in words}
 *   __zero_table_start__ .. __zero_table_end__   entries {destination, length in words}
 *
 * ldweave writes both tables from the placement (runtime fragment cmsis-cortex-m.xml): every
 * section loaded in flash that runs elsewhere is copied, .bss and each zero="Yes" section is
 * zeroed, whatever segment they are in. Link with --specs=rdimon.specs (newlib's _start with
 * semihosting) and give ldweave -entry Reset_Handler. */
#include <stdint.h>

typedef struct
{
    const uint32_t *source;
    uint32_t *destination;
    uint32_t words;
} CopyEntry;

typedef struct
{
    uint32_t *destination;
    uint32_t words;
} ZeroEntry;

extern const CopyEntry __copy_table_start__[], __copy_table_end__[];
extern const ZeroEntry __zero_table_start__[], __zero_table_end__[];
extern uint32_t __StackTop[];

void SystemInit(void) __attribute__((weak));
void _start(void) __attribute__((noreturn));
void _exit(int status) __attribute__((noreturn));
void Reset_Handler(void) __attribute__((noreturn));

/* A fault ends the program with status 128 + the exception number, so a test that faults fails
 * at once instead of running into its time limit. */
static void Fault_Handler(void)
{
    uint32_t exception;
    __asm__ volatile("mrs %0, ipsr" : "=r"(exception));
    _exit(128 + (int)(exception & 0x1ff));
}

typedef void (*Handler)(void);

/* Initial stack pointer, reset, and the fourteen system exceptions; interrupts are unused. */
__attribute__((section(".vectors"), used)) const Handler __Vectors[16] = {
    (Handler)(uintptr_t)__StackTop, Reset_Handler, Fault_Handler, Fault_Handler,
    Fault_Handler, Fault_Handler, Fault_Handler, Fault_Handler,
    Fault_Handler, Fault_Handler, Fault_Handler, Fault_Handler,
    Fault_Handler, Fault_Handler, Fault_Handler, Fault_Handler,
};

void Reset_Handler(void)
{
    if (SystemInit)
        SystemInit();
    for (const CopyEntry *entry = __copy_table_start__; entry < __copy_table_end__; ++entry) {
        for (uint32_t i = 0; i < entry->words; ++i)
            entry->destination[i] = entry->source[i];
    }
    for (const ZeroEntry *entry = __zero_table_start__; entry < __zero_table_end__; ++entry) {
        for (uint32_t i = 0; i < entry->words; ++i)
            entry->destination[i] = 0;
    }
    _start();
}
