/* The firmware's C part: an initialised and a zeroed variable, which the start-up code prepares
   with the symbols of the generated script before it calls main. */
unsigned int boot_count = 1;
unsigned int last_boot;

int main(void)
{
    last_boot = boot_count;
    return 0;
}
