/* Start-up code in C for Cortex-M in the style of the silicon vendors' GCC start-up files: the
 * vector table in .isr_vector whose first word is _estack, and a reset handler that copies
 * .data from _sidata to _sdata up to _edata, zeroes _sbss up to _ebss, then calls SystemInit,
 * __libc_init_array (the constructors) and main. The vendors' files loop for ever when main
 * returns; this one passes main's result to exit, so a test program ends.
 *
 * ldweave's runtime fragment vendor-cortex-m.xml defines every one of these symbols. Link with
 * --specs=rdimon.specs (semihosting) and give ldweave -entry Reset_Handler. */
#include <stdint.h>
#include <stdlib.h>

extern uint32_t _sidata[], _sdata[], _edata[], _sbss[], _ebss[], _estack[];

void SystemInit(void);
void __libc_init_array(void);
int main(void);
void _exit(int status) __attribute__((noreturn));
void Reset_Handler(void) __attribute__((noreturn));

/* A fault ends the program with status 128 + the exception number. */
static void Default_Handler(void)
{
    uint32_t exception;
    __asm__ volatile("mrs %0, ipsr" : "=r"(exception));
    _exit(128 + (int)(exception & 0x1ff));
}

typedef void (*Handler)(void);

/* Initial stack pointer, reset, and the fourteen system exceptions; interrupts are unused. */
__attribute__((section(".isr_vector"), used)) static const Handler vector_table[16] = {
    (Handler)(uintptr_t)_estack, Reset_Handler, Default_Handler, Default_Handler,
    Default_Handler, Default_Handler, Default_Handler, Default_Handler,
    Default_Handler, Default_Handler, Default_Handler, Default_Handler,
    Default_Handler, Default_Handler, Default_Handler, Default_Handler,
};

void Reset_Handler(void)
{
    const uint32_t *source = _sidata;
    for (uint32_t *destination = _sdata; destination < _edata;)
        *destination++ = *source++;
    for (uint32_t *destination = _sbss; destination < _ebss;)
        *destination++ = 0;
    SystemInit();
    __libc_init_array();
    exit(main());
}
