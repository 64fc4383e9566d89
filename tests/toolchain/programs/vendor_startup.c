/* A C program started by vendor-style start-up code: checks the data it copied and zeroed, that
   SystemInit ran once and before the constructors, and that malloc takes memory between "end"
   and the stack. Prints the pass line and returns 0, or each failure and how many there were. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern char end[], _estack[], _Min_Stack_Size[];
void initialise_monitor_handles(void);

static int failures;
#define CHECK(condition, what) \
    ((condition) ? (void)0 : (void)(printf("FAIL: %s\n", what), ++failures))

int initialised[5] = {10, 20, 30, 40, 50};
char zeroed[101];
static const char zeros[sizeof zeroed];
static int system_init_calls;
static int calls_seen_by_constructor = -1;

void SystemInit(void) { ++system_init_calls; }
__attribute__((constructor)) static void constructed(void)
{
    calls_seen_by_constructor = system_init_calls;
}

int main(void)
{
    initialise_monitor_handles();
    CHECK(initialised[0] == 10 && initialised[4] == 50, "initialised data");
    CHECK(memcmp(zeroed, zeros, sizeof zeroed) == 0, "zeroed data");
    CHECK(system_init_calls == 1 && calls_seen_by_constructor == 1,
          "SystemInit once, before the constructors");
    char *block = malloc(1000);
    CHECK(block && block >= end && block + 1000 <= _estack - (uintptr_t)_Min_Stack_Size,
          "malloc between end and the stack");
    free(block);
    if (failures == 0)
        printf("PASS: every start-up check held\n");
    return failures;
}
