#!/usr/bin/env python3
"""Whole-program checks at the edges of the system that a .case file cannot set up: a full disk
(a small tmpfs), device nodes, FIFOs and symbolic links at the paths, paths that are not UTF-8,
running out of memory, a placement file large enough for the heap to be prepared for it, and
dependency files read by real GNU Make and Ninja.

Everything happens in a temporary folder; as root the folder gets a tmpfs and a device node of
its own (nothing under /dev is touched), otherwise those checks are skipped and the script
exits 77. Usage: system_edges_test.py BINARY
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SKIPPED = 77
MAP = (b'<Root>\n  <MemorySegment name="FLASH" access="ReadOnly" start="0" size="0x10000"/>\n'
       b'  <MemorySegment name="RAM" start="0x20000000" size="0x1000"/>\n</Root>\n')
BAD_PLACEMENT = b'<Root><MemorySegment name="RAM"><ProgramSection name=".a" runin=".b"/>' \
                b'<ProgramSection name=".b" runin=".a"/></MemorySegment></Root>\n'
failures = []
skips = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print('FAILED: ' + message)


def run(binary, work, *args, limit=None, **kwargs):
    def limited():
        if limit:
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    return subprocess.run([binary, *args], cwd=work, capture_output=True, timeout=60,
                          preexec_fn=limited, **kwargs)


def write(path, data):
    with open(path, 'wb') as f:
        f.write(data)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def placement(sections):
    body = b''.join(b'<ProgramSection name=".s%d" load="Yes"/>' % i for i in range(sections))
    return b'<Root><MemorySegment name="FLASH">' + body + b'</MemorySegment></Root>\n'


def check_full_disk(binary, work):
    """A script or dependency file that does not fit fails, leaving no file and no temporary."""
    disk = os.path.join(work, 'disk')
    os.mkdir(disk)
    if subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=16k', 'tmpfs', disk]).returncode:
        skips.append('full disk (mount failed)')
        return
    try:
        for sections in (70, 2000):  # about 20 KB, then many times the disk
            write(os.path.join(work, 'place.xml'), placement(sections))
            write(os.path.join(disk, 'out.ld'), b'old script\n')
            result = run(binary, work, '-diagnostics', '-memory-map-file', 'map.xml',
                         '-section-placement-file', 'place.xml', 'disk/out.ld')
            check(result.returncode == 1 and result.stderr == b'error: cannot write disk/out.ld\n'
                  b'disk/out.ld: No space left on device\n',
                  f'full disk, {sections} sections: {result.returncode} {result.stderr!r}')
            check(os.listdir(disk) == [], f'full disk left {os.listdir(disk)}')
        write(os.path.join(disk, 'filler'), b'x' * (16 * 1024 - 100))
        result = run(binary, work, '-memory-map-file', 'map.xml', '-dependency-file',
                     'disk/out.d', 'out.ld')
        check(result.returncode == 1 and result.stderr == b'error: cannot write disk/out.d\n'
              and not os.path.exists(os.path.join(work, 'out.ld')),
              f'full disk, dependency file: {result.returncode} {result.stderr!r}')
        check(os.listdir(disk) == ['filler'], f'full disk left {os.listdir(disk)}')
    finally:
        subprocess.run(['umount', disk])


def check_special_outputs(binary, work):
    """Devices and FIFOs are written in place and never replaced or removed; links stay links."""
    if os.geteuid() == 0:
        device = os.path.join(work, 'null')
        os.mknod(device, 0o666 | 0o020000, os.makedev(1, 3))  # like /dev/null
        for args in (['null'], ['-section-placement-file', 'bad.xml', 'null']):
            result = run(binary, work, '-memory-map-file', 'map.xml', *args)
            check(os.path.exists(device) and os.stat(device).st_rdev == os.makedev(1, 3)
                  and not os.path.isfile(device), f'device output {args}: {result.stderr!r}')
    else:
        skips.append('device node (needs root)')

    fifo = os.path.join(work, 'fifo')
    os.mkfifo(fifo)
    received = []
    reader = threading.Thread(target=lambda: received.append(read(fifo)))
    reader.start()
    time.sleep(0.2)
    result = run(binary, work, '-memory-map-file', 'map.xml', 'fifo')
    reader.join(10)
    check(result.returncode == 0 and received and received[0].startswith(b'MEMORY\n'),
          f'FIFO with a reader: {result.returncode} {result.stderr!r}')
    result = run(binary, work, '-memory-map-file', 'map.xml', '-dependency-file', 'fifo', 'o.ld')
    check(result.returncode == 1 and result.stderr == b'error: cannot open fifo for writing\n'
          and os.path.exists(fifo) and not os.path.isfile(fifo),
          f'FIFO without a reader: {result.returncode} {result.stderr!r}')

    os.symlink('target.ld', os.path.join(work, 'link.ld'))
    result = run(binary, work, '-memory-map-file', 'map.xml', 'link.ld')
    check(result.returncode == 0 and os.path.islink(os.path.join(work, 'link.ld'))
          and read(os.path.join(work, 'target.ld')).startswith(b'MEMORY\n'),
          f'link output: {result.stderr!r}')
    result = run(binary, work, '-memory-map-file', 'map.xml', '-section-placement-file',
                 'bad.xml', 'link.ld')
    check(result.returncode == 1 and os.path.islink(os.path.join(work, 'link.ld'))
          and not os.path.exists(os.path.join(work, 'target.ld')),
          'a failed run must remove the link target and keep the link')
    if os.path.lexists(os.path.join(work, 'link.ld')):
        os.remove(os.path.join(work, 'link.ld'))


def check_inputs(binary, work):
    """FIFOs as inputs never block; names that are not UTF-8 keep their bytes; memory is bounded."""
    os.mkfifo(os.path.join(work, 'in.fifo'))
    write(os.path.join(work, 'inc.xml'), b'<Root><MemorySegment name="A" start="0" size="1"/>'
                                        b'<include filename="in.fifo"/></Root>')
    for args, status in ((['-memory-map-file', 'in.fifo'], 1),
                         (['-memory-map-file', 'map.xml', '-section-placement-file', 'in.fifo'], 1),
                         (['-memory-map-file', 'inc.xml'], 0)):
        result = run(binary, work, *args, 'out.ld')
        check(result.returncode == status, f'FIFO input {args}: {result.stderr!r}')
    os.remove(os.path.join(work, 'out.ld'))

    name = b'm\xffap\xc3.xml'
    write(os.path.join(work.encode(), name), MAP)
    result = run(binary, work, b'-memory-map-file', name, b'o\xfe.ld')
    check(result.returncode == 0 and os.path.isfile(os.path.join(work.encode(), b'o\xfe.ld')),
          f'non-UTF-8 paths: {result.stderr!r} {os.listdir(work.encode())}')
    os.remove(os.path.join(work.encode(), b'o\xfe.ld'))
    os.remove(os.path.join(work.encode(), name))

    result = run(binary, work, '-memory-map-file', 'map.xml', '-symbols',
                 'A=1\nINCLUDE /etc/hostname', 'out.ld')
    check(result.stderr == b"error: symbol definition 'A=1\\nINCLUDE /etc/hostname' holds a "
                           b"line break\n" and not os.path.exists(os.path.join(work, 'out.ld')),
          f'line break in -symbols: {result.stderr!r}')

    # Decision: a build with AddressSanitizer (ASAN_OPTIONS set, as "make test-sanitize" does)
    # cannot run under an address-space limit, and parses the 64 MiB the byte bound allows for
    # minutes; the plain build runs these two checks.
    if 'ASAN_OPTIONS' in os.environ:
        print('note: memory bounds not checked in a sanitizer build')
        return
    # 2.5 MB included a hundred times passes the byte bound after a few copies.
    write(os.path.join(work, 'big.xml'), b'<envelope>' + b'<x a="0123456789"/>' * 130000
                                         + b'</envelope>')
    write(os.path.join(work, 'many.xml'), b'<Root>' + b'<include filename="big.xml"/>' * 100
                                          + b'</Root>')
    result = run(binary, work, '-diagnostics', '-memory-map-file', 'many.xml', 'out.ld')
    check(result.returncode == 0 and b'files included would hold more than 67108864 bytes'
          in result.stderr, f'many large includes: {result.returncode} {result.stderr[-200:]!r}')
    result = run(binary, work, '-memory-map-file', 'many.xml', 'out.ld', limit=200 << 20)
    check(result.returncode == 1 and result.stderr == b'error: out of memory\n'
          and not os.path.exists(os.path.join(work, 'out.ld')),
          f'out of memory: {result.returncode} {result.stderr[-200:]!r}')


def check_large_input(binary, work):
    """A placement file large enough for the run to prepare its heap for it (over 512 KiB) gives
    the script that the same sections give when included from a small file, where the heap is
    left alone."""
    sections = placement(15000)
    write(os.path.join(work, 'large.xml'), sections)
    write(os.path.join(work, 'sections.xml'),
          sections.replace(b'<Root>', b'<envelope>').replace(b'</Root>', b'</envelope>'))
    write(os.path.join(work, 'small.xml'), b'<Root><include filename="sections.xml"/></Root>\n')
    scripts = []
    for name in ('large.xml', 'small.xml'):
        result = run(binary, work, '-memory-map-file', 'map.xml', '-section-placement-file', name,
                     'large.ld')
        check(result.returncode == 0 and not result.stderr, f'{name}: {result.stderr[-200:]!r}')
        scripts.append(read(os.path.join(work, 'large.ld')))
    check(scripts[0] == scripts[1] and b'.s14999' in scripts[0],
          'a large placement file gives another script than the same sections included')


# File names for the dependency file, with whether Ninja 1.11 can read them back.
NAMES = [('a b.xml', True), ('h#sh.xml', True), ('d$ollar.xml', True), ('back\\slash.xml', True),
         ('per%cent.xml', True), ('par(en).xml', True), ('co:lon.xml', True),
         ('st*r.xml', False), ("quo'te.xml", False), ('\u00fcml\u00e4ut.xml', True)]


def check_dependency_names(binary, work):
    """Make and Ninja track every file a dependency file names; no name runs a command."""
    tools = [tool for tool in ('make', 'ninja') if shutil.which(tool)]
    if len(tools) < 2:
        skips.append('dependency names (install make and ninja-build)')
    for tool in tools:
        for name, ninja_reads in NAMES + [('a;touch PWNED.xml', None)]:
            folder = os.path.join(work, tool + str(NAMES.index((name, ninja_reads))
                                                   if ninja_reads is not None else 'x'))
            os.mkdir(folder)
            xml_name = name.replace('&', '&amp;').replace("'", '&apos;')
            write(os.path.join(folder, 'map.xml'), MAP.replace(
                b'</Root>', f'<include filename="{xml_name}"/></Root>'.encode()))
            write(os.path.join(folder, name), b'<MemorySegment name="X" size="1"/>')
            command = f'{binary} -memory-map-file map.xml -dependency-file out.d out.ld'
            if tool == 'make':
                write(os.path.join(folder, 'Makefile'), f'out.ld: map.xml\n\t{command}\n'
                                                        f'-include out.d\n'.encode())
            else:
                write(os.path.join(folder, 'build.ninja'), f'rule gen\n  command = {command}\n'
                      f'  depfile = out.d\n  deps = gcc\n  restat = 1\n'
                      f'build out.ld: gen map.xml\n'.encode())

            # Under "make test" the outer make's MAKELEVEL makes this one print its folder, whose
            # name holds "ldweave"; the idle check below must see only commands.
            def build():
                return subprocess.run([tool] + (['--no-print-directory'] if tool == 'make' else []),
                                      cwd=folder, capture_output=True, timeout=60)
            # Inputs older than any output, edits newer: no check depends on the clock's tick.
            past = time.time() - 100
            for input_name in ('map.xml', name):
                os.utime(os.path.join(folder, input_name), (past, past))
            first = build()
            if ninja_reads is None:
                check(first.returncode != 0 and not os.path.exists(os.path.join(folder, 'PWNED.xml'))
                      and b"GNU Make cannot name the file 'a;touch PWNED.xml'" in first.stdout
                      + first.stderr, f'{tool}: a name holding ";" must fail the run')
                continue
            idle = build()
            write(os.path.join(folder, name), b'<MemorySegment name="X" size="2"/>')
            future = time.time() + 100
            os.utime(os.path.join(folder, name), (future, future))
            edited = build()
            label = f'{tool} with {name!r}'
            check(first.returncode == 0 and edited.returncode == 0,
                  f'{label}: {first.stdout + first.stderr!r}')
            check(b'LENGTH = 0x00000002' in read(os.path.join(folder, 'out.ld')),
                  f'{label}: an edit of the included file did not rerun the tool')
            if tool == 'make' or ninja_reads:
                check(b'ldweave' not in idle.stdout,
                      f'{label}: an unchanged build ran the tool: {idle.stdout!r}')


def main():
    binary = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix='ldweave-edges-') as work:
        write(os.path.join(work, 'map.xml'), MAP)
        write(os.path.join(work, 'bad.xml'), BAD_PLACEMENT)
        if os.geteuid() == 0:
            check_full_disk(binary, work)
        else:
            skips.append('full disk (needs root)')
        check_special_outputs(binary, work)
        check_inputs(binary, work)
        check_large_input(binary, work)
        check_dependency_names(binary, work)
    if failures:
        return 1
    if skips:
        print('skipped: ' + '; '.join(skips))
        return SKIPPED
    print('ok')
    return 0


if __name__ == '__main__':
    sys.exit(main())
