#!/usr/bin/env python3
"""Proves a script written by ldweave with the real cross linker, and boots it in QEMU.

Usage: run_toolchain.py LDWEAVE SOURCE_DIR WORK_DIR TARGET SCENARIO [--linker-script FILE]
                         [--size LDWEAVE_SIZE]

TARGET is a key of TARGETS below; SCENARIO is one of
  link       write the script (with -check-segment-overflow), assemble the target's start-up
             code, link it with the cross ld -T, and check every section's load and run address
             and the section symbols with readelf
  boot       link, then boot the "objcopy -O binary" image in QEMU under a timeout; the start-up
             code checks the RAM it prepared and must exit with status 0
  too-large  the start-up code plus a .text as large as FLASH: the link must fail with the
             script's overflow message
  overlap    a .text that runs into a section placed at a fixed address: the link must fail
             with the script's overlap message
  unplaced   an input section that no statement collects: the link must fail because it lands
             in the UNPLACED_SECTIONS region
  size       link the start-up code as ELF32 and ELF64 files of either byte order (SIZE_VARIANTS),
             check ldweave-size on each, then on broken copies of each (one error line each)
             and with a memory map that lacks the RAM segment (a warning per section there)
  a key of PROGRAMS (newlib-c++, picolibc, ...)
             write the script for a board placement that includes a runtime fragment, compile a
             C or C++ program that checks its runtime (tests/toolchain/programs) with the cross
             gcc and its C library, link it with --orphan-handling=error, and boot it in QEMU
             with RAM filled with a pattern; it must print the pass line and exit with status 0
Everything is written below WORK_DIR, which is emptied first. --linker-script links with the
given script instead of running ldweave, to try a hand-edited script. With --size, every
program.elf a scenario links is also checked with ldweave-size (see check_size). Prints the
commands it runs; exits 1 with a message on the first failure, and 77 (skipped) after naming
the packages to install when a program the scenario runs is not on PATH.
"""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
from dataclasses import dataclass, field

QEMU_TIMEOUT_SECONDS = 30
PASS_LINE = 'PASS: every start-up check held'
SKIP_STATUS = 77        # CTest reports the test as skipped (its SKIP_RETURN_CODE)
QEMU_PACKAGES = {'qemu-system-arm': 'qemu-system-arm', 'qemu-system-riscv32': 'qemu-system-misc'}


@dataclass
class Toolchain:
    prefix: str
    package: str        # the Debian package of the cross binutils
    as_flags: list
    ld_flags: list
    cc_flags: list = field(default_factory=list)    # the cross gcc's, for programs
    cc_package: str = ''


ARM_M3 = Toolchain('arm-none-eabi-', 'binutils-arm-none-eabi', ['-mcpu=cortex-m3', '-mthumb'], [],
                   ['-mcpu=cortex-m3', '-mthumb'], 'gcc-arm-none-eabi')
ARM_M4 = Toolchain('arm-none-eabi-', 'binutils-arm-none-eabi', ['-mcpu=cortex-m4', '-mthumb'], [],
                   ['-mcpu=cortex-m4', '-mthumb'], 'gcc-arm-none-eabi')
RV32 = Toolchain('riscv64-unknown-elf-', 'binutils-riscv64-unknown-elf',
                 ['-march=rv32ima_zicsr', '-mabi=ilp32'], ['-m', 'elf32lriscv'],
                 ['-march=rv32imac', '-mabi=ilp32'], 'gcc-riscv64-unknown-elf')


@dataclass
class Program:
    """A program that checks its runtime, built on a board's placement of a runtime fragment."""
    placement: str      # file in the board's examples folder
    entry: str          # for -entry
    sources: list       # relative to the source root; {board} is the board's folder name
    flags: list         # compiler and linker flags beyond the target's
    libraries: dict     # file the cross gcc must find -> Debian package ({triple}: the prefix's)


CHECKS = 'tests/toolchain/programs/'
NEWLIB_C = {'rdimon.specs': 'libnewlib-{triple}'}
NEWLIB = {**NEWLIB_C, 'libstdc++.a': 'libstdc++-{triple}-newlib'}
PICOLIBC = {'picolibc.specs': 'picolibc-{triple}'}
CXX_SOURCES = ['examples/{board}/startup.c', CHECKS + 'cxx_runtime.cpp',
               CHECKS + 'cxx_constructors.cpp']
PROGRAMS = {
    'newlib-c++': Program('placement-newlib.xml', 'reset_handler', CXX_SOURCES,
                          ['--specs=rdimon.specs', '-Wl,--gc-sections'], NEWLIB),
    'newlib-c++-no-gc': Program('placement-newlib.xml', 'reset_handler', CXX_SOURCES,
                                ['--specs=rdimon.specs'], NEWLIB),
    # picolibc's own crt0 (picolibc.specs also collects unused sections)
    'picolibc': Program('placement-picolibc.xml', '_start', [CHECKS + 'c_runtime.c'],
                        ['--specs=picolibc.specs', '--oslib=semihost', '--crt0=semihost'],
                        PICOLIBC),
    # the example's start-up code in C instead
    'picolibc-startup-c': Program('placement-picolibc.xml', '_start',
                                  ['examples/{board}/startup.c', CHECKS + 'c_runtime.c'],
                                  ['--specs=picolibc.specs', '--oslib=semihost', '-nostartfiles'],
                                  PICOLIBC),
    # start-up code of the CMSIS and the vendor conventions, on the runtime fragments for them
    'cmsis': Program('placement-cmsis.xml', 'Reset_Handler',
                     ['examples/{board}/startup.c', CHECKS + 'cmsis_tables.c'],
                     ['--specs=rdimon.specs', '-Wl,--gc-sections'], NEWLIB_C),
    'vendor': Program('placement-vendor.xml', 'Reset_Handler',
                      ['examples/{board}/startup.c', CHECKS + 'vendor_startup.c'],
                      ['--specs=rdimon.specs', '-Wl,--gc-sections'], NEWLIB_C),
}
RAM_PATTERN = b'\xa5'    # fills RAM before boot, so that nothing reads as zero by chance


@dataclass
class Target:
    board: str              # folder under examples/ with memory_map.xml and placement.xml
    startup: str            # start-up code, relative to the source root
    toolchain: Toolchain
    flash: tuple            # (start, size) of segment FLASH
    ram_name: str           # name of the RAM segment
    ram: tuple              # (start, size)
    entry: str              # first section of FLASH
    copied: list            # [(section, run section, alignment)] in load order
    bss_alignment: int
    stack_size: int
    placement_macros: str = ''
    qemu: list = field(default_factory=list)   # empty: link only
    more_ram: list = field(default_factory=list)   # [(start, size)] also filled before boot


# Expected addresses follow from the boards' XML by hand: the entry section starts FLASH, the
# first copied section runs at the start of RAM, and .stack ends at the end of RAM.
TARGETS = {
    'qemu-cortex-m3': Target(
        'qemu-cortex-m3', 'examples/qemu-cortex-m3/startup.s', ARM_M3,
        flash=(0x00000000, 0x40000), ram_name='SRAM', ram=(0x20000000, 0x10000),
        entry='.vectors', copied=[('.fast', '.fast_run', 4), ('.data', '.data_run', 4)],
        bss_alignment=4, stack_size=0x800, placement_macros='STACK_SIZE=0x800',
        qemu=['qemu-system-arm', '-M', 'lm3s6965evb']),
    'qemu-rv32': Target(
        'qemu-rv32', 'examples/qemu-rv32/startup.s', RV32,
        flash=(0x80000000, 0x40000), ram_name='RAM', ram=(0x80040000, 0x10000),
        entry='.init', copied=[('.ramfunc', '.ramfunc_run', 4), ('.data', '.data_run', 4)],
        bss_alignment=4, stack_size=0x400,
        qemu=['qemu-system-riscv32', '-M', 'virt', '-bios', 'none']),
    'cortex-m4': Target(
        'cortex-m4', 'examples/qemu-cortex-m3/startup.s', ARM_M4,
        flash=(0x08000000, 0x100000), ram_name='SRAM', ram=(0x20000000, 0x20000),
        entry='.vectors', copied=[('.fast', '.fast_run', 4), ('.data', '.data_run', 4)],
        bss_alignment=4, stack_size=0x1000),
    'rv32imac': Target(
        'rv32imac', 'examples/qemu-rv32/startup.s', RV32,
        flash=(0x20000000, 0x80000), ram_name='RAM', ram=(0x80000000, 0x10000),
        entry='.init', copied=[('.ramfunc', '.ramfunc_run', 4), ('.data', '.data_run', 8)],
        bss_alignment=8, stack_size=0x800),
    # Boards for programs only: their layouts come from runtime fragments.
    'qemu-mps2-an385': Target(
        'qemu-mps2-an385', '', ARM_M3, flash=(0, 0x400000), ram_name='RAM',
        ram=(0x20000000, 0x10000), entry='.vectors', copied=[], bss_alignment=4,
        stack_size=0x1000, qemu=['qemu-system-arm', '-M', 'mps2-an385'],
        more_ram=[(0x21000000, 0x10000)]),
    'qemu-netduinoplus2': Target(
        'qemu-netduinoplus2', '', ARM_M4, flash=(0x08000000, 0x100000), ram_name='RAM',
        ram=(0x20000000, 0x20000), entry='.isr_vector', copied=[], bss_alignment=4,
        stack_size=0x1000, qemu=['qemu-system-arm', '-M', 'netduinoplus2']),
}


# The ELF layouts that the size scenario links besides the target's own ELF32 little-endian one:
# name -> (assembler flags, linker flags) in place of the toolchain's.
RV64 = ['-march=rv64ima_zicsr', '-mabi=lp64']
SIZE_VARIANTS = {
    'qemu-cortex-m3': {'elf32-big': (ARM_M3.as_flags + ['-EB'], ['-EB'])},
    'qemu-rv32': {'elf32-big': (RV32.as_flags + ['-mbig-endian'], ['-m', 'elf32briscv']),
                  'elf64-little': (RV64, ['-m', 'elf64lriscv']),
                  'elf64-big': (RV64 + ['-mbig-endian'], ['-m', 'elf64briscv'])},
}


class Failure(Exception):
    pass


def run(command, cwd, timeout=None):
    print('+ ' + ' '.join(command), flush=True)
    try:
        return subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, timeout=timeout)
    except FileNotFoundError:
        raise Failure(f'{command[0]} is not installed; run scripts/install-deps.sh')
    except subprocess.TimeoutExpired:
        raise Failure(f'{command[0]} did not finish within {timeout} s')


def run_ok(command, cwd):
    result = run(command, cwd)
    if result.returncode != 0:
        raise Failure(f'{command[0]} failed with status {result.returncode}:\n'
                      f'{result.stdout}{result.stderr}')
    return result


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


class Build:
    """The files of one scenario in the work directory."""

    def __init__(self, ldweave, source_dir, work_dir, target, size=None):
        self.ldweave = ldweave
        self.size = size
        self.source_dir = source_dir
        self.work_dir = work_dir
        self.target = target
        self.script = os.path.join(work_dir, 'out.ld')

    def tool(self, name):
        return self.target.toolchain.prefix + name

    def write(self, name, text):
        path = os.path.join(self.work_dir, name)
        with open(path, 'w') as f:
            f.write(text)
        return path

    def example(self, name):
        return os.path.join(self.source_dir, 'examples', self.target.board, name)

    def generate_script(self, placement=None):
        command = [self.ldweave, '-check-segment-overflow',
                   '-memory-map-file', self.example('memory_map.xml'),
                   '-section-placement-file', placement or self.example('placement.xml')]
        if self.target.placement_macros:
            command += ['-section-placement-macros', self.target.placement_macros]
        run_ok(command + [self.script], self.work_dir)

    def assemble(self, source, flags=None, output=None):
        path = source if os.path.isabs(source) else os.path.join(self.source_dir, source)
        output = output or os.path.splitext(os.path.basename(path))[0] + '.o'
        run_ok([self.tool('as')] + (flags or self.target.toolchain.as_flags) +
               ['--defsym', f'STACK_SIZE={self.target.stack_size:#x}', '-o', output, path],
               self.work_dir)
        return output

    def link(self, objects, flags=None, output='program.elf'):
        return run([self.tool('ld')] + (self.target.toolchain.ld_flags if flags is None else flags)
                   + ['-T', self.script, '-o', output] + objects, self.work_dir)

    def size_command(self, elf, *options, segments=None):
        """ldweave-size on elf with the target's memory map, or with a segment list."""
        memory_map = (['-memory-map-segments', segments] if segments else
                      ['-memory-map-file', self.example('memory_map.xml')])
        return [self.size] + memory_map + list(options) + [elf]


def read_sections(build):
    """Section name -> dict(vma, lma, size, type) from readelf; lma is None for NOBITS."""
    output = run_ok([build.tool('readelf'), '-SW', 'program.elf'], build.work_dir).stdout
    sections = {}
    for match in re.finditer(r'^\s*\[\s*\d+\]\s+(\S+)\s+(\S+)\s+([0-9a-f]{8})\s+[0-9a-f]+\s+'
                             r'([0-9a-f]+)\s', output, re.M):
        name, kind, address, size = match.groups()
        sections[name] = {'vma': int(address, 16), 'size': int(size, 16), 'type': kind,
                          'lma': None}
    output = run_ok([build.tool('readelf'), '-lW', 'program.elf'], build.work_dir).stdout
    loads = [(int(m.group(1), 16), int(m.group(2), 16), int(m.group(3), 16))
             for m in re.finditer(r'^\s*LOAD\s+\S+\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+\S+\s+'
                                  r'0x([0-9a-f]+)', output, re.M)]
    for section in sections.values():
        if section['type'] != 'PROGBITS':
            continue
        for virtual, physical, memory_size in loads:
            if virtual <= section['vma'] < virtual + max(memory_size, 1):
                section['lma'] = physical + section['vma'] - virtual
                break
    return sections


def read_symbols(build):
    output = run_ok([build.tool('readelf'), '-sW', 'program.elf'], build.work_dir).stdout
    return {m.group(2): int(m.group(1), 16)
            for m in re.finditer(r'^\s*\d+:\s+([0-9a-f]{8})\s+\d+\s+\S+\s+\S+\s+\S+\s+\S+\s+(\S+)$',
                                 output, re.M)}


def check_layout(build):
    """Compares readelf's view of program.elf with what the placement asks for."""
    target = build.target
    sections = read_sections(build)
    symbols = read_symbols(build)
    problems = []

    def expect(what, actual, expected):
        if actual != expected:
            shown = f'{actual:#x}' if isinstance(actual, int) else str(actual)
            problems.append(f'{what} is {shown}, expected {expected:#x}')

    def section(name):
        if name not in sections:
            raise Failure(f'program.elf has no section {name}; sections: {sorted(sections)}')
        return sections[name]

    flash_start, flash_size = target.flash
    ram_start, ram_size = target.ram
    ram_end = ram_start + ram_size
    entry = section(target.entry)
    expect(f'{target.entry} run address', entry['vma'], flash_start)
    expect(f'{target.entry} load address', entry['lma'], flash_start)
    for name in (target.entry, '.text', '.rodata'):
        expect(f'{name} load address', section(name)['lma'], section(name)['vma'])

    # The copied sections load one after the other behind .rodata and run in their
    # reservations, which follow each other from the start of RAM.
    load_end = section('.rodata')['vma'] + section('.rodata')['size']
    run_end = ram_start
    for name, run_name, alignment in target.copied:
        copied, reserved = section(name), section(run_name)
        stripped = name[1:]
        load_start, run_start = align(load_end, alignment), align(run_end, alignment)
        expect(f'{name} load address', copied['lma'], load_start)
        expect(f'{name} run address', copied['vma'], run_start)
        expect(f'{run_name} address', reserved['vma'], run_start)
        expect(f'{run_name} size', reserved['size'], copied['size'])
        if reserved['type'] != 'NOBITS':
            problems.append(f'{run_name} is {reserved["type"]}, expected NOBITS')
        expect(f'__{stripped}_load_start__', symbols.get(f'__{stripped}_load_start__'), load_start)
        expect(f'__{stripped}_start__', symbols.get(f'__{stripped}_start__'), run_start)
        expect(f'__{stripped}_end__', symbols.get(f'__{stripped}_end__'),
               run_start + copied['size'])
        load_end, run_end = load_start + copied['size'], run_start + copied['size']
    if load_end > flash_start + flash_size:
        problems.append(f'the load image ends at {load_end:#x}, beyond FLASH')

    bss = section('.bss')
    expect('.bss address', bss['vma'], align(run_end, target.bss_alignment))
    expect('__bss_start__', symbols.get('__bss_start__'), bss['vma'])
    expect('__bss_end__', symbols.get('__bss_end__'), bss['vma'] + bss['size'])
    stack = section('.stack')
    expect('.stack address', stack['vma'], ram_end - target.stack_size)
    expect('.stack size', stack['size'], target.stack_size)
    expect('__stack_start__', symbols.get('__stack_start__'), ram_end - target.stack_size)
    expect('__stack_end__', symbols.get('__stack_end__'), ram_end)
    expect(f'__{target.ram_name}_segment_end__', symbols.get(f'__{target.ram_name}_segment_end__'),
           ram_end)
    if problems:
        raise Failure('program.elf does not have the placed layout:\n  ' + '\n  '.join(problems))


def link_example(build, linker_script):
    if linker_script:
        shutil.copyfile(linker_script, build.script)
    else:
        build.generate_script()
    result = build.link([build.assemble(build.target.startup)])
    if result.returncode != 0:
        raise Failure(f'the link failed:\n{result.stdout}{result.stderr}')
    check_layout(build)


def boot(build, fill_ram=False):
    run_ok([build.tool('objcopy'), '-O', 'binary', 'program.elf', 'program.bin'], build.work_dir)
    command = build.target.qemu + ['-semihosting-config', 'enable=on,target=native',
                                   '-display', 'none', '-kernel', 'program.bin']
    for index, (ram_start, ram_size) in enumerate(
            [build.target.ram] + build.target.more_ram if fill_ram else []):
        with open(os.path.join(build.work_dir, f'ram{index}.bin'), 'wb') as f:
            f.write(RAM_PATTERN * ram_size)
        command += ['-device', f'loader,file=ram{index}.bin,addr={ram_start:#x},force-raw=on']
    result = run(command, build.work_dir, timeout=QEMU_TIMEOUT_SECONDS)
    # Without a chardev QEMU writes the program's semihosting output to standard error, next to
    # its own messages (lm3s6965evb says "Timer with period zero, disabling"); those are shown
    # but do not decide the outcome.
    output = result.stdout + result.stderr
    sys.stdout.write(output)
    if result.returncode != 0 or PASS_LINE not in output.splitlines():
        raise Failure(f'the program exited with status {result.returncode}')


def expect_link_failure(build, objects, message):
    result = build.link(objects)
    output = result.stdout + result.stderr
    sys.stdout.write(output)
    if result.returncode == 0:
        raise Failure('the link succeeded but must fail')
    if message not in output:
        raise Failure(f'the linker did not say "{message}"')
    if os.path.exists(os.path.join(build.work_dir, 'program.elf')):
        raise Failure('the failed link left program.elf behind')


def too_large(build):
    build.generate_script()
    filler = build.write('filler.s', f'    .text\n    .space {build.target.flash[1]:#x}\n')
    expect_link_failure(build, [build.assemble(build.target.startup), build.assemble(filler)],
                        'error: .text is too large to fit in FLASH memory segment')


def overlap(build):
    flash_start = build.target.flash[0]
    placement = build.write('placement.xml', f'''<!DOCTYPE Linker_Placement_File>
<Root name="Fixed Block">
  <MemorySegment name="FLASH">
    <ProgramSection name="{build.target.entry}" load="Yes" keep="Yes"/>
    <ProgramSection name=".text" load="Yes" alignment="4"/>
    <ProgramSection name=".fixed" load="Yes" keep="Yes" start="{flash_start + 0x400:#x}"/>
  </MemorySegment>
</Root>
''')
    build.generate_script(placement)
    code = build.write('code.s', f'    .section {build.target.entry}, "a"\n    .word 0\n'
                       '    .text\n    .space 0x800\n'
                       '    .section .fixed, "a"\n    .word 0x12345678\n')
    expect_link_failure(build, [build.assemble(code)],
                        'error: section .text overlaps absolute placed section .fixed')


def unplaced(build):
    build.generate_script()
    stray = build.write('stray.s', '    .section .fastcode, "ax"\n    .word 0\n')
    expect_link_failure(build, [build.assemble(build.target.startup), build.assemble(stray)],
                        "section `.fastcode' will not fit in region `UNPLACED_SECTIONS'")


def objdump_sections(build, elf):
    """The allocated sections "objdump -h" lists, in order: name, size, vma, lma, contents."""
    output = run_ok([build.tool('objdump'), '-h', elf], build.work_dir).stdout
    return [{'name': m[1], 'size': int(m[2], 16), 'vma': int(m[3], 16), 'lma': int(m[4], 16),
             'contents': 'CONTENTS' in m[5], 'tls': 'THREAD_LOCAL' in m[5]}
            for m in re.finditer(r'^\s*\d+ (\S+)\s+(\w+)\s+(\w+)\s+(\w+)\s+\w+\s+\S+\n\s+(.+)$',
                                 output, re.M) if 'ALLOC' in m[5]]


def occupied(s):
    """Where a section takes bytes: at its run address (not a thread-local template without
    contents) and, for contents loaded elsewhere, at its load address."""
    starts = [] if s['tls'] and not s['contents'] else [s['vma']]
    starts += [s['lma']] if s['contents'] and s['lma'] != s['vma'] else []
    return [range(start, start + s['size']) for start in starts]


def hundredths(value):
    return f'{value // 100}.{value % 100:02d}'


def check_size(build, elf='program.elf'):
    """ldweave-size's used bytes per segment must equal those counted from "objdump -h" (each
    byte once), its JSON must agree with objdump and with its text, and -max-usage must fail
    just below the fullest segment and pass at it."""
    sections = objdump_sections(build, elf)
    report = json.loads(run_ok(build.size_command(elf, '-format', 'json'), build.work_dir).stdout)
    segments = sorted([('FLASH', *build.target.flash), (build.target.ram_name, *build.target.ram)],
                      key=lambda s: s[1])
    covered, expected = set().union(*(r for s in sections for r in occupied(s))), []
    for name, start, size in segments:
        used = sum(start <= address < start + size for address in covered)
        expected.append({'name': name, 'start': start, 'size': size, 'used': used,
                         'free': size - used, 'percent': used * 100 // size})

    def holder(address):
        return next((n for n, start, size in segments if start <= address < start + size), None)

    expected = {'segments': expected, 'sections': [
        {'name': s['name'], 'address': s['vma'], 'size': s['size'], 'segment': holder(s['vma']),
         'load_address': s['lma'] if s['contents'] else None,
         'load_segment': holder(s['lma']) if s['contents'] else None} for s in sections]}
    if report != expected:
        raise Failure(f'ldweave-size on {elf} reported\n{report}\nexpected\n{expected}')

    # The text tables hold the same numbers, sizes also in KiB rounded to hundredths.
    def kib(size):
        return hundredths((size * 100 + 512) // 1024)

    def share(s):
        return s['used'] * 10000 // s['size']

    rows = [[s['name'], str(s['used']), kib(s['used']), str(s['size']), kib(s['size']),
             hundredths(share(s)) + '%'] for s in report['segments']]
    rows += [[s['name'], f'0x{s["address"]:08x}', '-' if s['load_address'] is None
              else f'0x{s["load_address"]:08x}', str(s['size']), kib(s['size']),
              s['segment'] or '(none)', '-' if s['load_address'] is None
              else s['load_segment'] or '(none)'] for s in report['sections']]
    text = run_ok(build.size_command(elf, '-sections'), build.work_dir).stdout
    if [line.split() for block in text.split('\n\n') for line in block.splitlines()[1:]] != rows:
        raise Failure(f'the text report on {elf} differs from the JSON one:\n{text}')

    # -max-usage fails a hundredth below the fullest segment's share (rounded up) and passes at it.
    ceiling = max(-(-s['used'] * 10000 // s['size']) for s in report['segments'])
    for limit, status in ((ceiling - 1, 1), (ceiling, 0)):
        text = hundredths(limit)
        errors = [f'error: {s["name"]} is {hundredths(share(s))}% full (limit {text}%)'
                  for s in report['segments'] if s['used'] * 10000 > limit * s['size']]
        result = run(build.size_command(elf, '-max-usage', text), build.work_dir)
        if (result.returncode, result.stderr.splitlines()) != (status, errors):
            raise Failure(f'-max-usage {text} on {elf}: status {result.returncode}, '
                          f'{result.stderr!r}; expected {status}, {errors}')


def check_broken_copies(build, elf):
    """ldweave-size ends with one error line on each broken copy of elf."""
    with open(os.path.join(build.work_dir, elf), 'rb') as f:
        data = f.read()
    is64, order = data[4] == 2, '<' if data[5] == 1 else '>'
    word = order + ('Q' if is64 else 'I')
    phoff, shoff, shstrndx = (32, 40, 62) if is64 else (28, 32, 50)
    # sh_offset of section 1, the first that objdump lists
    first_offset = struct.unpack_from(word, data, shoff)[0] + (64 + 24 if is64 else 40 + 16)

    def patched(at, form, value):
        copy = bytearray(data)
        struct.pack_into(order + form, copy, at, value)
        return bytes(copy)

    header = "the ELF header of '{}' is truncated or corrupt"
    cases = {
        'missing': (None, "cannot read '{}': No such file or directory"),
        'script': (b'MEMORY\n{\n}\n', "'{}' is not an ELF file"),
        'short': (data[:40], header),
        'class': (patched(4, 'B', 3), header),
        'object': (patched(16, 'H', 1), "'{}' is not a linked program (ELF type 1)"),
        'truncated': (data[:len(data) // 2],
                      "the section headers of '{}' lie past the end of the file"),
        'phoff': (patched(phoff, word[1], len(data)),
                  "the program headers of '{}' lie past the end of the file"),
        'shstrndx': (patched(shstrndx, 'H', 0xfeff), "the section names of '{}' are corrupt"),
        'contents': (patched(first_offset, word[1], len(data)),
                     f"section '{objdump_sections(build, elf)[0]['name']}' of '{{}}' lies past "
                     "the end of the file"),
    }
    for case, (content, message) in cases.items():
        path = f'{os.path.splitext(elf)[0]}-{case}.elf'
        if content is not None:
            with open(os.path.join(build.work_dir, path), 'wb') as f:
                f.write(content)
        result = run(build.size_command(path), build.work_dir)
        expected = f'error: {message.format(path)}\n'
        if (result.returncode, result.stdout, result.stderr) != (1, '', expected):
            raise Failure(f'ldweave-size on {path}: status {result.returncode}, {result.stdout!r}, '
                          f'{result.stderr!r}; expected {expected!r}')


def check_outside_segments(build):
    """With a memory map of FLASH alone, each section in RAM is reported in no segment."""
    start, size = build.target.flash
    result = run_ok(build.size_command('program.elf', '-format', 'json',
                                       segments=f'FLASH RX {start:#x} {size:#x}'), build.work_dir)
    outside = [s for s in objdump_sections(build, 'program.elf')
               if not start <= s['vma'] < start + size]
    warnings = [f"warning: section '{s['name']}' at 0x{s['vma']:08x}, in no memory segment"
                for s in outside if s['size'] and (s['contents'] or not s['tls'])]
    reported = [s['name'] for s in json.loads(result.stdout)['sections'] if s['segment'] is None]
    if result.stderr.splitlines() != warnings or reported != [s['name'] for s in outside]:
        raise Failure(f'outside FLASH ldweave-size warned {result.stderr!r} and reported '
                      f'{reported}, expected {warnings} and {[s["name"] for s in outside]}')


def size_scenario(build):
    link_example(build, None)
    elves = ['program.elf']
    for name, (as_flags, ld_flags) in SIZE_VARIANTS[build.target.board].items():
        result = build.link([build.assemble(build.target.startup, as_flags, name + '.o')],
                            ld_flags, name + '.elf')
        if result.returncode != 0:
            raise Failure(f'the {name} link failed:\n{result.stdout}{result.stderr}')
        elves.append(name + '.elf')
    for elf in elves:
        check_size(build, elf)
        check_broken_copies(build, elf)
    check_outside_segments(build)


def build_program(build, program):
    """Writes the script for the program's placement, compiles and links the program."""
    toolchain = build.target.toolchain
    run_ok([build.ldweave, '-check-segment-overflow', '-entry', program.entry,
            '-include-path', os.path.join(build.source_dir, 'runtime'),
            '-memory-map-file', build.example('memory_map.xml'),
            '-section-placement-file', build.example(program.placement), build.script],
           build.work_dir)
    flags = toolchain.cc_flags + ['-Os', '-g', '-ffunction-sections', '-fdata-sections']
    flags += program.flags
    objects = []
    for source in program.sources:
        path = os.path.join(build.source_dir, source.format(board=build.target.board))
        objects.append(os.path.basename(path) + '.o')
        compiler = 'g++' if path.endswith('.cpp') else 'gcc'
        run_ok([build.tool(compiler)] + flags + ['-c', '-o', objects[-1], path], build.work_dir)
    linker = 'g++' if any(source.endswith('.cpp') for source in program.sources) else 'gcc'
    run_ok([build.tool(linker)] + flags + ['-T', build.script, '-Wl,--orphan-handling=error',
                                           '-Wl,--no-warn-rwx-segments', '-o', 'program.elf']
           + objects, build.work_dir)


def missing_libraries(target, program):
    """The packages of the C library files of the program that the cross gcc does not find."""
    gcc = target.toolchain.prefix + 'gcc'
    triple = target.toolchain.prefix[:-1]
    missing = set()
    for name, package in program.libraries.items():
        found = subprocess.run([gcc] + target.toolchain.cc_flags + [f'-print-file-name={name}'],
                               capture_output=True, text=True).stdout.strip()
        if not os.path.isabs(found):
            missing.add(package.format(triple=triple))
    return missing


def missing_packages(target, scenario):
    """The packages of the programs the scenario runs that are not on PATH, sorted."""
    binutils = [target.toolchain.prefix + name
                for name in ('as', 'ld', 'readelf', 'objcopy', 'objdump')]
    missing = set()
    if not all(shutil.which(program) for program in binutils):
        missing.add(target.toolchain.package)
    if scenario in ('boot', *PROGRAMS) and target.qemu and not shutil.which(target.qemu[0]):
        missing.add(QEMU_PACKAGES[target.qemu[0]])
    if scenario in PROGRAMS:
        if not shutil.which(target.toolchain.prefix + 'gcc'):
            missing.add(target.toolchain.cc_package)
        else:
            missing |= missing_libraries(target, PROGRAMS[scenario])
    return sorted(missing)


def main(argv):
    arguments = argv[1:]
    options = {}
    for option in ('--linker-script', '--size'):
        if option in arguments[:-1]:
            index = arguments.index(option)
            options[option] = os.path.abspath(arguments[index + 1])
            del arguments[index:index + 2]
    linker_script = options.get('--linker-script')
    if len(arguments) != 5 or (arguments[4] == 'size' and '--size' not in options):
        sys.exit(__doc__)
    ldweave, source_dir, work_dir, target_name, scenario = arguments
    if target_name not in TARGETS:
        sys.exit(f'unknown target {target_name}; known: {", ".join(TARGETS)}')
    shutil.rmtree(work_dir, ignore_errors=True)
    os.makedirs(work_dir)
    build = Build(os.path.abspath(ldweave), os.path.abspath(source_dir), work_dir,
                  TARGETS[target_name], options.get('--size'))
    missing = missing_packages(build.target, scenario)
    if missing:
        print(f'skipped: install {" ".join(missing)} (as root: make deps) for the toolchain tests')
        return SKIP_STATUS
    try:
        if scenario in ('link', 'boot'):
            if scenario == 'boot' and not build.target.qemu:
                sys.exit(f'{target_name} has no emulated machine')
            link_example(build, linker_script)
            if build.size:
                check_size(build)
            if scenario == 'boot':
                boot(build)
        elif scenario == 'size' and build.target.board in SIZE_VARIANTS:
            size_scenario(build)
        elif scenario == 'too-large':
            too_large(build)
        elif scenario == 'overlap':
            overlap(build)
        elif scenario == 'unplaced':
            unplaced(build)
        elif scenario in PROGRAMS and build.target.toolchain.cc_flags and build.target.qemu:
            build_program(build, PROGRAMS[scenario])
            if build.size:
                check_size(build)
            boot(build, fill_ram=True)
        else:
            sys.exit(f'unknown scenario {scenario}')
    except Failure as failure:
        print(f'FAILED: {target_name} {scenario}: {failure}')
        return 1
    print(f'passed: {target_name} {scenario}')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
