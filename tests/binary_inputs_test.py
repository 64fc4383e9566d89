#!/usr/bin/env python3
"""Runs the ldweave binary on inputs that a case file cannot hold: binary bytes, NUL bytes,
invalid UTF-8, and inputs too large to write by hand (nesting a million elements deep, bodies
of directives 45000 deep, an expression nested a hundred thousand levels, attribute values of
megabytes, chains of 50000 sections).

Each check runs the binary in a fresh temporary folder and asserts its exit status, its
standard error, the lines the script must hold, and that nothing but the inputs and the
expected script is left. Usage: binary_inputs_test.py BINARY
"""
import os
import random
import subprocess
import sys
import tempfile

FLASH = b'<MemorySegment name="FLASH" access="ReadOnly" start="0x0" size="0x100"/>'
FLASH_LINE = b'  FLASH (rx) : ORIGIN = 0x00000000, LENGTH = 0x00000100\n'
MAP_FAILED = b'error: cannot load memory map file\n'
PLACEMENT_FAILED = b'error: cannot load section placement file\n'


def random_bytes(seed, size, excluded=b''):
    generator = random.Random(seed)
    allowed = [b for b in range(256) if b not in excluded]
    return bytes(generator.choice(allowed) for _ in range(size))


def run(binary, files, args, status, stderr=b'', script_lines=()):
    """Returns a list of failure messages; empty when the run went as expected."""
    failures = []
    with tempfile.TemporaryDirectory(prefix='ldweave-binary-') as work:
        for name, content in files.items():
            with open(os.path.join(work, name), 'wb') as f:
                f.write(content)
        result = subprocess.run([binary] + args + ['out.ld'], cwd=work, capture_output=True,
                                stdin=subprocess.DEVNULL, timeout=600)
        if result.returncode != status:
            failures.append(f'exit status {result.returncode}, expected {status}')
        if result.stderr != stderr:
            failures.append(f'standard error {result.stderr[:300]!r}, expected {stderr!r}')
        if result.stdout:
            failures.append(f'standard output {result.stdout[:300]!r}, expected none')
        left = set(os.listdir(work)) - set(files)
        expected_left = {'out.ld'} if status == 0 else set()
        if left != expected_left:
            failures.append(f'files left: {sorted(left)}, expected {sorted(expected_left)}')
        if status == 0 and 'out.ld' in left:
            with open(os.path.join(work, 'out.ld'), 'rb') as f:
                script = f.read()
            for line in script_lines:
                if line not in script:
                    failures.append(f'script lacks {line[:200]!r}')
    return failures


def checks():
    """(name, files, args, status, stderr, script lines) for every check."""
    map_args = ['-memory-map-file', 'map.xml', '-no-check-unplaced-sections']
    placement_args = map_args + ['-section-placement-file', 'placement.xml']
    valid_map = b'<Root>' + FLASH + b'</Root>'
    depth = 1000000
    two_segments = (b'<Root>' + FLASH
                    + b'<MemorySegment name="RAM" start="0x100" size="0x100"/></Root>')
    chain = b''.join(b'<ProgramSection name=".s%d"/>' % i for i in range(49999))
    chain += b'<ProgramSection name=".last" load="Yes" runin=".run"/>'
    run = b'<ProgramSection name=".run"/>'
    rows = [
        # Garbage without any "<" holds no markup; one "<" followed by bytes without "<" or "/"
        # opens an element that is never closed. Neither leaves a root.
        ('high bytes', {'map.xml': random_bytes(1, 4096, b'<' + bytes(range(0x80)))},
         map_args, 1, MAP_FAILED, ()),
        ('garbage after "<"', {'map.xml': b'<' + random_bytes(2, 4096, b'</\0')},
         map_args, 1, MAP_FAILED, ()),
        ('garbage placement', {'map.xml': valid_map,
                               'placement.xml': random_bytes(3, 4096, b'<\0')},
         placement_args, 1, PLACEMENT_FAILED, ()),
        # A NUL byte ends the text: what follows it is never read.
        ('NUL after the root', {'map.xml': valid_map + b'\0' + random_bytes(4, 512)},
         map_args, 0, b'', (FLASH_LINE,)),
        ('NUL before the root', {'map.xml': b'\0' + valid_map}, map_args, 1, MAP_FAILED, ()),
        ('NUL inside the root', {'map.xml': b'<Root>' + FLASH + b'\0</Root>'},
         map_args, 1, MAP_FAILED, ()),
        # Only one whole mark is skipped: anything else before "<" is text, so no markup.
        ('part of a byte-order mark', {'map.xml': b'\xef\xbbA' + valid_map},
         map_args, 1, MAP_FAILED, ()),
        ('two byte-order marks', {'map.xml': b'\xef\xbb\xbf' * 2 + valid_map},
         map_args, 1, MAP_FAILED, ()),
        # Names are converted from UTF-8 on their way to the script: valid UTF-8 arrives byte
        # for byte, and every byte that is no part of a valid sequence becomes U+FFFD.
        ('invalid UTF-8 name',
         {'map.xml': b'<Root><MemorySegment name="FL\xff\xfeA\xc3SH" start="0" size="1"/></Root>'},
         map_args, 0, b'',
         (b'  FL\xef\xbf\xbd\xef\xbf\xbdA\xef\xbf\xbdSH (wx) : ORIGIN = 0x00000000, '
          b'LENGTH = 0x00000001\n',)),
        ('UTF-8 name and byte-order mark',
         {'map.xml': b'\xef\xbb\xbf<Root><MemorySegment name="FL\xc3\xa9SH" start="0" '
                     b'size="1"/></Root>'},
         map_args, 0, b'', (b'  FL\xc3\xa9SH (wx) : ORIGIN = 0x00000000, LENGTH = 0x00000001\n',)),
        # A million elements nested in each file, through parser, pre-processor (with macro
        # expansion at every level), start and size walk, section collection and writer.
        ('nesting a million deep',
         {'map.xml': b'<Root>' + FLASH + b'<a>' * depth + b'</a>' * depth + b'</Root>',
          'placement.xml': b'<Root><MemorySegment name="FLASH">' + b'<b x="$(A)">' * depth
                           + b'<ProgramSection name=".text" load="Yes"/>' + b'</b>' * depth
                           + b'</MemorySegment></Root>'},
         placement_args + ['-section-placement-macros', 'A=1'], 0, b'',
         (FLASH_LINE, b'  .text __FLASH_segment_start__ : AT(__FLASH_segment_start__)\n')),
        ('never closed a million deep', {'map.xml': b'<Root>' + FLASH + b'<a>' * depth},
         map_args, 1, MAP_FAILED, ()),
        # Bodies 45000 deep under directives (together just under the bound on copied nodes):
        # conditions spliced 15000 deep, a fragment pasted and a loop body copied, none of them
        # by recursion.
        ('directives around deep bodies',
         {'map.xml': valid_map,
          'placement.xml': b'<Root><MemorySegment name="FLASH"><xmldef name="D">'
                           + b'<b>' * 30000 + b'<if A="1">' * 15000
                           + b'<ProgramSection name=".paste$(V)" load="Yes"/>'
                           + b'</if>' * 15000 + b'</b>' * 30000
                           + b'</xmldef><xmlput name="D" macros="V=1"/>'
                           + b'<for index="i" start="0" end="1" incr="1">' + b'<c>' * 45000
                           + b'<ProgramSection name=".loop$(i)" load="Yes"/>' + b'</c>' * 45000
                           + b'</for></MemorySegment></Root>'},
         placement_args + ['-section-placement-macros', 'A=1'], 0, b'',
         (b'  .paste1 __FLASH_segment_start__ : AT(__FLASH_segment_start__)\n',
          b'  .loop0 __paste1_end__ : AT(__paste1_end__)\n')),
        # A doubling macro in every copy of a loop: each expansion stops at its length bound and
        # the sum over the document at its own, after which references stay as written.
        ('expansion growth of a document',
         {'map.xml': b'<Root><define name="A" value="$$(A)$$(A)' + b'f' * 1000 + b'"/>'
                     b'<for index="i" start="0" end="200" incr="1">'
                     b'<MemorySegment name="$(A)$(x$y)"/></for></Root>'},
         map_args, 0, b'', (b'  $(A)$(x$y) (wx) : ORIGIN = 0x00000000, LENGTH = 0x00000000\n',)),
        # Expressions nested far deeper than the parser accepts count as not valid: 0.
        ('expressions 100000 deep',
         {'map.xml': b'<Root><MemorySegment name="FLASH" start="' + b'(' * 100000 + b'0x10'
                     + b')' * 100000 + b'" size="' + b'-' * 100000 + b'1"/><MemorySegment '
                     b'name="SUM" start="' + b'+'.join([b'1'] * 100000) + b'" size="'
                     + b'~' * 99999 + b'0"/></Root>'},
         map_args, 0, b'',
         (b'  FLASH (wx) : ORIGIN = 0x00000000, LENGTH = 0x00000000\n',
          b'  SUM (wx) : ORIGIN = 0x00000000, LENGTH = 0x00000000\n')),
        # Attribute values of megabytes: ignored ones and a long segment name.
        ('huge attribute values',
         {'map.xml': b'<Root><MemorySegment name="' + b'N' * 100000 + b'" description="'
                     + b'd' * 10000000 + b'" start="0" size="1"/></Root>'},
         map_args, 0, b'',
         (b'  ' + b'N' * 100000 + b' (wx) : ORIGIN = 0x00000000, LENGTH = 0x00000001\n',)),
        # A run section laid out first whose user ends a chain of 50000 sections, and the
        # same chain closed into a cycle: both without recursion as deep as the chain.
        ('a chain of 50000 sections',
         {'map.xml': two_segments, 'placement.xml': b'<Root><MemorySegment name="FLASH">'
                                                   + chain + b'</MemorySegment>'
                                                   b'<MemorySegment name="RAM">' + run
                                                   + b'</MemorySegment></Root>'},
         placement_args, 0, b'',
         (b'  .s0 __FLASH_segment_start__ (NOLOAD) : AT(__FLASH_segment_start__)\n',
          b'  .last __RAM_segment_start__ : AT(__s49998_end__)\n')),
        ('a cycle through 50000 sections',
         {'map.xml': two_segments, 'placement.xml': b'<Root><MemorySegment name="FLASH">' + run
                                                   + chain + b'</MemorySegment></Root>'},
         placement_args, 1, b'error: cyclic memory section dependency with section .run\n', ()),
        ('many siblings',
         {'map.xml': b'<Root>' + b'<Register name="r" start="1" size="2"/>' * 200000 + FLASH
                     + b'</Root>'},
         map_args, 0, b'', (FLASH_LINE,)),
    ]
    return rows


def main():
    if len(sys.argv) != 2:
        raise SystemExit('usage: binary_inputs_test.py BINARY')
    binary = os.path.abspath(sys.argv[1])
    failed = 0
    for name, files, args, status, stderr, lines in checks():
        failures = run(binary, files, args, status, stderr, lines)
        for failure in failures:
            print(f'{name}: {failure}')
        failed += bool(failures)
    print(f'{failed} of {len(checks())} checks failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
