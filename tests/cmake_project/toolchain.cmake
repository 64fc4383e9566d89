# Bare-metal ARM with the cross gcc, as a firmware project uses it: gcc compiles the C code,
# assembles the start-up code and drives ld; with 32-bit pointers, as the package must accept.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_FLAGS_INIT "-mcpu=cortex-m3 -mthumb -ffreestanding")
set(CMAKE_ASM_FLAGS_INIT "-mcpu=cortex-m3 -mthumb")
# No C library and no start files: startup.s is the whole run-time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-nostdlib -nostartfiles")
