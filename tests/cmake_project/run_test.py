#!/usr/bin/env python3
"""Installs ldweave, then configures and builds the example project in this folder with it.

usage: run_test.py CMAKE LDWEAVE_BUILD_DIR VERSION

Checks that the install holds the tool, the manual page of VERSION and the CMake package; that a
C project for a 32-bit target (the ARM cross gcc) finds exactly VERSION; that the firmware links
with the generated script and prints its memory usage, and that a limit it exceeds fails the
build (MEMORY_USAGE, MAX_USAGE); that a second build has nothing to do; that touching an
included placement fragment re-runs the generator but, the script being unchanged, relinks
nothing; and that changing the fragment regenerates the script and relinks. The project is copied
to a temporary folder first, so the source tree is never touched. Exits 1 on the first failure,
and 77 (skipped) after naming the packages to install when a program it runs is not on PATH.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP_STATUS = 77        # CTest reports the test as skipped (its SKIP_RETURN_CODE)
# The programs the test runs besides CMake, with their Debian packages.
TOOLS = {'arm-none-eabi-gcc': 'gcc-arm-none-eabi', 'arm-none-eabi-nm': 'binutils-arm-none-eabi',
         'arm-none-eabi-readelf': 'binutils-arm-none-eabi', 'ninja': 'ninja-build'}


def fail(message):
    print('FAILED: ' + message)
    sys.exit(1)


def run(*command, cwd=None):
    result = subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=300)
    if result.returncode != 0:
        fail(f'{" ".join(command)} exited with {result.returncode}:\n{result.stdout}{result.stderr}')
    return result.stdout + result.stderr


def touch_after(path, reference_ns):
    """Sets path's modification time to now, waiting until now is later than reference_ns on a
    file system with coarse time stamps."""
    for _ in range(50):
        os.utime(path)
        if os.stat(path).st_mtime_ns > reference_ns:
            return
        time.sleep(0.1)
    fail(f'cannot give {path} a time after {reference_ns}')


def main():
    cmake, ldweave_build, version = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3]
    missing = sorted({package for tool, package in TOOLS.items() if not shutil.which(tool)})
    if missing:
        print(f'skipped: install {" ".join(missing)} (as root: make deps) for the CMake package '
              'test')
        sys.exit(SKIP_STATUS)
    with tempfile.TemporaryDirectory(prefix='ldweave-cmake-') as work:
        prefix = os.path.join(work, 'prefix')
        run(cmake, '--install', ldweave_build, '--prefix', prefix)
        for installed in ('bin/ldweave', 'share/man/man1/ldweave.1', 'bin/ldweave-size',
                          'share/man/man1/ldweave-size.1',
                          'lib/cmake/ldweave/ldweaveConfig.cmake',
                          'lib/cmake/ldweave/ldweaveConfigVersion.cmake',
                          'lib/cmake/ldweave/ldweaveTargets.cmake',
                          'lib/cmake/ldweave/ldweave.cmake', 'share/ldweave/newlib-cortex-m.xml',
                          'share/ldweave/picolibc-cortex-m.xml', 'share/ldweave/picolibc-rv32.xml',
                          'share/ldweave/non-allocated-sections.xml'):
            if not os.path.isfile(os.path.join(prefix, installed)):
                fail(f'{installed} was not installed')
        with open(os.path.join(prefix, 'share/man/man1/ldweave.1')) as f:
            if f'"ldweave {version}"' not in f.readline():
                fail(f'the manual page does not name version {version}')

        source = os.path.join(work, 'project')
        shutil.copytree(HERE, source, ignore=shutil.ignore_patterns('run_test.py', '__pycache__'))
        build = os.path.join(work, 'build')
        run(cmake, '-S', source, '-B', build, '-G', 'Ninja',
            '-DCMAKE_TOOLCHAIN_FILE=' + os.path.join(source, 'toolchain.cmake'),
            '-DCMAKE_PREFIX_PATH=' + prefix, '-DLDWEAVE_VERSION=' + version)

        def build_log():
            return run('ninja', '-d', 'explain', cwd=build)

        def nothing_to_do(when):
            output = run('ninja', '-n', cwd=build)
            if 'no work to do' not in output:
                fail(f'{when}, ninja still has work:\n{output}')

        script = os.path.join(build, 'firmware.ld')
        output = build_log()
        for step in ('Generating linker script firmware.ld',
                     'Linking C executable firmware\nSegment  Used (bytes)', '\nFLASH  '):
            if step not in output:
                fail(f'first build did not run "{step}":\n{output}')
        symbols = run('arm-none-eabi-nm', os.path.join(build, 'firmware'))
        for expected in ('20000000 D __data_start__', '20000004 D boot_count',
                         '20005000 B __stack_end__', '00000422 A VERSION_TAG'):
            if expected not in symbols:
                fail(f'"{expected}" is not among the firmware symbols:\n{symbols}')
        entry = next(line for line in symbols.splitlines() if line.endswith(' T reset_handler'))
        header = run('arm-none-eabi-readelf', '-h', os.path.join(build, 'firmware'))
        if f'Entry point address:               0x{int(entry.split()[0], 16):x}' not in header:
            fail(f'ENTRY reset_handler did not set the entry point:\n{header}')
        with open(script) as f:
            if '  .debug_info 0 :\n' not in f.read():
                fail('the script lacks the sections of the installed non-allocated-sections.xml')
        with open(script + '.d') as f:
            rule = f.read()
        fragment = os.path.join(source, 'fragments', 'ram_sections.xml')
        if fragment not in rule:
            fail(f'the dependency file does not name the included fragment:\n{rule}')
        nothing_to_do('after the first build')
        result = subprocess.run(['ninja', 'firmware_over_limit'], cwd=build, capture_output=True,
                                text=True, timeout=300)
        if result.returncode == 0 or not re.search(r'error: RAM is [\d.]+% full \(limit 1%\)',
                                                   result.stdout + result.stderr):
            fail(f'MAX_USAGE 1 did not fail the build:\n{result.stdout}{result.stderr}')

        # Touching the fragment re-runs the generator; its output is unchanged, so the script
        # keeps its time and nothing is relinked.
        script_time = os.stat(script).st_mtime_ns
        touch_after(fragment, script_time)
        output = build_log()
        if 'Generating linker script firmware.ld' not in output:
            fail(f'touching the fragment did not regenerate the script:\n{output}')
        if 'Linking' in output:
            fail(f'an unchanged script relinked the firmware:\n{output}')
        if os.stat(script).st_mtime_ns != script_time:
            fail('the unchanged script was rewritten')
        nothing_to_do('after touching the fragment')

        # Changing the fragment changes the script and relinks.
        with open(fragment) as f:
            text = f.read()
        with open(fragment, 'w') as f:
            f.write(text.replace('alignment="8"', 'alignment="16"'))
        touch_after(fragment, script_time)
        output = build_log()
        if 'Linking C executable firmware' not in output:
            fail(f'a changed fragment did not relink the firmware:\n{output}')
        with open(script) as f:
            if ', 16);' not in f.read():
                fail('the regenerated script does not have the new alignment')
        nothing_to_do('after changing the fragment')
    print('ok')


if __name__ == '__main__':
    main()
