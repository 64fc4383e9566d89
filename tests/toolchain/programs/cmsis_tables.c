/* A C program started by CMSIS-style start-up code: checks that the copy and zero tables of the
   script initialised each section they list, in both RAMs, to its last byte. The sections of the
   second RAM are not whole words long, so a length rounded down, or one word short, leaves their
   last bytes as the pattern that fills RAM before boot. newlib's own data ends .data and its
   crt0 zeroes .bss again, so for those two the entries are checked against the sections'
   bounds instead. Prints the pass line and returns 0, or each failure and how many there were. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef struct { const uint32_t *source; uint32_t *destination; uint32_t words; } CopyEntry;
typedef struct { uint32_t *destination; uint32_t words; } ZeroEntry;
extern const CopyEntry __copy_table_start__[], __copy_table_end__[];
extern const ZeroEntry __zero_table_start__[], __zero_table_end__[];
extern char __data_load_start__[], __data_start__[], __data_end__[], __bss_start__[], __bss_end__[];
extern char __RAM2_segment_start__[];

static int failures;
#define CHECK(condition, what) \
    ((condition) ? (void)0 : (void)(printf("FAIL: %s\n", what), ++failures))

int data_words[8] = {1, 2, 3, 4, 5, 6, 7, 8}; /* .data, in RAM */
char bss_buffer[256];                         /* .bss, in RAM */
__attribute__((section(".data2"))) char data2_text[22] = "copied to second RAM!";
__attribute__((section(".bss2"))) char bss2_buffer[37];
static const char zeros[256];

/* Whether an entry of length words covers the bytes from start to end, and not a word more. */
static int covers(uint32_t words, const char *start, const char *end)
{
    return words * 4 >= (uint32_t)(end - start) && words * 4 < (uint32_t)(end - start) + 4;
}

static int copies(const char *load, char *start, const char *end)
{
    for (const CopyEntry *entry = __copy_table_start__; entry < __copy_table_end__; ++entry) {
        if ((char *)entry->destination == start)
            return (const char *)entry->source == load && covers(entry->words, start, end);
    }
    return 0;
}

static int zeroes(char *start, const char *end)
{
    for (const ZeroEntry *entry = __zero_table_start__; entry < __zero_table_end__; ++entry) {
        if ((char *)entry->destination == start)
            return covers(entry->words, start, end);
    }
    return 0;
}

int main(void)
{
    CHECK(copies(__data_load_start__, __data_start__, __data_end__), "copy entry of .data");
    CHECK(zeroes(__bss_start__, __bss_end__), "zero entry of .bss");
    CHECK(data_words[0] == 1 && data_words[7] == 8, "initialised data in RAM");
    CHECK(memcmp(bss_buffer, zeros, sizeof bss_buffer) == 0, "zeroed data in RAM");
    CHECK(data2_text >= __RAM2_segment_start__ && bss2_buffer >= __RAM2_segment_start__,
          "second sections run in the second RAM");
    CHECK(memcmp(data2_text, "copied to second RAM!", sizeof data2_text) == 0,
          "initialised data in the second RAM, to its last byte");
    CHECK(memcmp(bss2_buffer, zeros, sizeof bss2_buffer) == 0,
          "zeroed data in the second RAM, to its last byte");
    if (failures == 0)
        printf("PASS: every start-up check held\n");
    return failures;
}
