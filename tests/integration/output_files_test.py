#!/usr/bin/env python3
"""Whole-program checks of the output files that a .case file cannot express.

Runs build/ldweave in a temporary folder and checks that an unchanged script and dependency file
keep their modification time, that a changed one (also one that differs only in its length) is
replaced, that no temporary file is left on success or failure, and that a file included by its
absolute path (and then by a relative one) and an imported file (which resolves to an absolute
path) are read and listed once each in the dependency file. Exits 1 with a message on the first
failed check.
"""
import os
import subprocess
import sys
import tempfile

OLD_TIME = 1_000_000_000  # a fixed time in the past, so no check depends on clock resolution


def fail(message):
    print('FAILED: ' + message)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


def run(binary, work, *args, status=0):
    result = subprocess.run([binary, *args], cwd=work, capture_output=True, timeout=60)
    check(result.returncode == status,
          f'{args}: exit status {result.returncode}, expected {status}; stderr: {result.stderr!r}')
    return result


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def write(path, text):
    with open(path, 'w') as f:
        f.write(text)


def main():
    binary = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix='ldweave-output-') as work:
        def path(name):
            return os.path.join(work, name)

        write(path('map.xml'), '<Root>\n'
                               '  <MemorySegment name="FLASH" start="0" size="0x1000"/>\n'
                               f'  <include filename="{path("ccm.xml")}"/>\n'
                               '  <include filename="ccm.xml"/>\n'
                               '  <Import filename="ram.xml"/>\n'
                               '</Root>\n')
        write(path('ccm.xml'), '<MemorySegment name="CCM" start="0x10000000" size="0x40"/>\n')
        write(path('ram.xml'), '<MemorySegment name="RAM" start="0x20000000" size="$(SIZE)"/>\n')
        args = ['-memory-map-file', 'map.xml', '-dependency-file', 'out.d', 'out.ld']

        run(binary, work, '-memory-map-macros', 'SIZE=0x100', *args)
        first = read(path('out.ld'))
        check(b'  CCM (wx)' in first, 'the segment included by absolute path is not in the script')
        check(b'LENGTH = 0x00000100' in first, 'the imported segment is not in the script')
        expected_rule = ('out.ld: \\\n  map.xml \\\n  ' + path('ccm.xml') + ' \\\n  '
                         + path('ram.xml') + '\n').encode()
        check(read(path('out.d')) == expected_rule,
              f'dependency file {read(path("out.d"))!r}, expected {expected_rule!r}')

        # The same run again: neither file is touched.
        for name in ('out.ld', 'out.d'):
            os.utime(path(name), (OLD_TIME, OLD_TIME))
        run(binary, work, '-memory-map-macros', 'SIZE=0x100', *args)
        for name in ('out.ld', 'out.d'):
            check(os.stat(path(name)).st_mtime == OLD_TIME, f'unchanged {name} was rewritten')
        check(read(path('out.ld')) == first, 'unchanged script has other content')

        # A file that holds the script and more, or only its start, differs too.
        for old in (first + b'more\n', first[:len(first) // 2]):
            with open(path('out.ld'), 'wb') as f:
                f.write(old)
            os.utime(path('out.ld'), (OLD_TIME, OLD_TIME))
            run(binary, work, '-memory-map-macros', 'SIZE=0x100', *args)
            check(read(path('out.ld')) == first, f'a file holding {len(old)} bytes was kept')

        # A different script replaces the file; the dependency file has not changed.
        run(binary, work, '-memory-map-macros', 'SIZE=0x200', *args)
        check(os.stat(path('out.ld')).st_mtime != OLD_TIME, 'changed script was not replaced')
        check(b'LENGTH = 0x00000200' in read(path('out.ld')), 'changed script has old content')
        check(os.stat(path('out.d')).st_mtime == OLD_TIME, 'unchanged dependency file rewritten')

        # A run that fails in the layout engine leaves neither script nor temporary file.
        write(path('place.xml'), '<Root><MemorySegment name="RAM">\n'
                                 '  <ProgramSection name=".a" runin=".b"/>\n'
                                 '  <ProgramSection name=".b" runin=".a"/>\n'
                                 '</MemorySegment></Root>\n')
        run(binary, work, '-section-placement-file', 'place.xml', *args, status=1)
        left = sorted(os.listdir(work))
        check(left == ['ccm.xml', 'map.xml', 'out.d', 'place.xml', 'ram.xml'],
              f'after a failure the folder holds {left}')
    print('ok')


if __name__ == '__main__':
    main()
