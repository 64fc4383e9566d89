/* A C program that checks what its start-up code and C library prepared before main: data
   copied and zeroed (also the small-data sections of RISC-V), thread-local variables read and
   written, constructors run in priority order, malloc from the heap and printf. RAM is filled
   with a pattern before boot, so nothing reads as zero by chance. Prints the pass line and
   returns 0, or prints each failure and returns how many there were. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern char __heap_start[], __heap_end[];

static int failures;
#define CHECK(condition, what)                      \
    do {                                            \
        if (!(condition)) {                         \
            printf("FAIL: %s\n", what);             \
            ++failures;                             \
        }                                           \
    } while (0)

int small_initialised = 42; /* small data: .sdata on RISC-V */
int small_zeroed;           /* .sbss */
int table[64] = {1, 2, 3, 4, 5, 6, 7, 8};
char buffer[1024];
_Thread_local int tls_initialised = 0x1234;
_Thread_local int tls_zeroed;
_Thread_local char tls_text[16] = "thread-local";
_Thread_local int tls_zeroed_array[32];

static int constructed;
__attribute__((constructor)) static void constructed_last(void) { constructed = constructed * 10 + 3; }
__attribute__((constructor(200))) static void constructed_second(void) { constructed = constructed * 10 + 2; }
__attribute__((constructor(101))) static void constructed_first(void) { constructed = constructed * 10 + 1; }

static int all_zero(const void *memory, size_t size)
{
    const unsigned char *bytes = memory;
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0)
            return 0;
    }
    return 1;
}

int main(void)
{
    CHECK(small_initialised == 42, "small initialised data");
    CHECK(small_zeroed == 0, "small zeroed data");
    CHECK(table[0] == 1 && table[7] == 8 && table[8] == 0 && table[63] == 0, "initialised data");
    CHECK(all_zero(buffer, sizeof buffer), "zeroed data");
    CHECK(constructed == 123, "constructors in priority order");

    CHECK(tls_initialised == 0x1234, "initialised thread-local variable");
    CHECK(strcmp(tls_text, "thread-local") == 0, "initialised thread-local text");
    CHECK(tls_zeroed == 0 && all_zero(tls_zeroed_array, sizeof tls_zeroed_array),
          "zeroed thread-local variables");
    tls_initialised += 1;
    tls_zeroed = 7;
    tls_zeroed_array[31] = 9;
    CHECK(tls_initialised == 0x1235 && tls_zeroed == 7 && tls_zeroed_array[31] == 9,
          "thread-local variables written");
    CHECK(&tls_zeroed != &small_zeroed && (char *)&tls_zeroed != buffer,
          "thread-local variables have their own storage");
    small_zeroed = 5;
    CHECK(tls_zeroed == 7 && tls_initialised == 0x1235, "thread-local storage is not shared");

    char *block = malloc(1000);
    CHECK(block != NULL, "malloc");
    if (block) {
        CHECK(block >= __heap_start && block + 1000 <= __heap_end, "malloc takes the heap");
        memset(block, 0x5a, 1000);
        free(block);
    }

    char line[64];
    snprintf(line, sizeof line, "%d %s %x", 42, "printf", 0xbeefu);
    CHECK(strcmp(line, "42 printf beef") == 0, "printf formatting");

    if (failures == 0)
        printf("PASS: every start-up check held\n");
    return failures;
}
