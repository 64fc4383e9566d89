#!/usr/bin/env python3
"""Runs one whole-program case file against the ldweave binary.

A case file holds named sections, each introduced by a line "#--- NAME":
  args            the command line, one argument per line (an empty line is an empty argument)
  expect/status   the expected exit status (default 0)
  expect/stdout   the expected standard output, byte for byte (default: empty)
  expect/stderr   the expected standard error, byte for byte (default: empty)
  expect/FILE     the expected content of FILE after the run
  pre/FILE        a file that exists before the run but is not expected afterwards
  plain           (empty) run the case a second time without -diagnostics: it must exit 0 with
                  nothing on standard output and standard error and write the same files
  anything else   an input file, written before the run (sub-folders are created)
A section's content is every line up to the next section line, each with its line feed.
The section name may end in " noeol" to drop the final line feed of its content.

After the run the folder must hold exactly the input files and the expected files: an error
case therefore also proves that no output file was left behind. "@BUILD@" in args is replaced
by the directory of the binary. Prints a diff and exits 1 on any difference.
"""
import difflib
import os
import subprocess
import sys
import tempfile


def parse_case(path):
    sections = {}
    order = []
    name = None
    with open(path, 'rb') as f:
        for line in f:
            if line.startswith(b'#--- '):
                name = line[5:].rstrip(b'\n').decode('utf-8')
                noeol = name.endswith(' noeol')
                if noeol:
                    name = name[:-len(' noeol')]
                if name in sections:
                    raise SystemExit(f'{path}: section {name} given twice')
                sections[name] = [b'', noeol]
                order.append(name)
            elif name is None:
                continue  # commentary before the first section
            else:
                sections[name][0] += line
    result = {}
    for key in order:
        content, noeol = sections[key]
        if noeol and content.endswith(b'\n'):
            content = content[:-1]
        result[key] = content
    return result


def show_diff(label, expected, actual):
    exp = expected.decode('utf-8', 'replace').splitlines(keepends=True)
    act = actual.decode('utf-8', 'replace').splitlines(keepends=True)
    sys.stdout.writelines(difflib.unified_diff(exp, act, f'expected {label}', f'actual {label}'))
    if exp == act:
        print(f'{label}: differs only in bytes not shown above: {expected!r} vs {actual!r}')
    print()


def list_files(root):
    found = set()
    for folder, _, files in os.walk(root):
        for name in files:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


def run_once(binary, args, inputs, status, expected_out, expected_err, expected_files):
    """Runs the binary in a fresh folder holding the inputs; prints every difference and
    returns whether there was one."""
    failed = False
    with tempfile.TemporaryDirectory(prefix='ldweave-case-') as work:
        for name, content in inputs.items():
            target = os.path.join(work, name[len('pre/'):] if name.startswith('pre/') else name)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, 'wb') as f:
                f.write(content)
        run = subprocess.run([binary] + args, cwd=work, stdin=subprocess.DEVNULL,
                             capture_output=True, timeout=60)
        if run.returncode != status:
            print(f'exit status: expected {status}, got {run.returncode}')
            failed = True
        for label, actual, expected in (('stdout', run.stdout, expected_out),
                                         ('stderr', run.stderr, expected_err)):
            if actual != expected:
                show_diff(label, expected, actual)
                failed = True
        for name, expected in expected_files.items():
            target = os.path.join(work, name)
            if not os.path.isfile(target):
                print(f'{name}: expected file was not written')
                failed = True
                continue
            with open(target, 'rb') as f:
                actual = f.read()
            if actual != expected:
                show_diff(name, expected, actual)
                failed = True
        allowed = {k for k in inputs if not k.startswith('pre/')} | set(expected_files)
        extra = sorted(list_files(work) - allowed)
        if extra:
            print('files left behind that the case does not expect: ' + ', '.join(extra))
            failed = True
    return failed


def main():
    if len(sys.argv) != 3:
        raise SystemExit('usage: run_case.py BINARY CASE')
    binary, case_path = os.path.abspath(sys.argv[1]), sys.argv[2]
    case = parse_case(case_path)
    args = case.get('args', b'').decode('utf-8').split('\n')
    if args and args[-1] == '':
        args.pop()
    args = [a.replace('@BUILD@', os.path.dirname(binary)) for a in args]
    status = int(case.get('expect/status', b'0').strip() or b'0')
    expected_files = {k[len('expect/'):]: v for k, v in case.items()
                      if k.startswith('expect/') and k not in
                      ('expect/status', 'expect/stdout', 'expect/stderr')}
    inputs = {k: v for k, v in case.items()
              if k not in ('args', 'plain') and not k.startswith('expect/')}
    failed = run_once(binary, args, inputs, status, case.get('expect/stdout', b''),
                      case.get('expect/stderr', b''), expected_files)
    plain_args = [a for a in args if a != '-diagnostics']
    if 'plain' in case and run_once(binary, plain_args, inputs, 0, b'', b'', expected_files):
        print('(in the run without -diagnostics)')
        failed = True
    if failed:
        print(f'FAILED: {case_path}')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
