#!/usr/bin/env python3
"""Prints how large the tests are beside the code: non-blank lines of the tracked source files.

Tests are everything under tests/ and fuzz/ and any file named *_test.*, test_* or *mutant*; the
rest is code. Source is C and C++, JavaScript, Python, shell, CMake, SQL, systemd units, nginx
sites and scripts that start with #!; documentation, media and data are not counted.
The project keeps its tests at a quarter to a third of its code.
"""
import os
import subprocess
import sys

SOURCE_ENDINGS = ('.cpp', '.cc', '.c', '.h', '.hpp', '.js', '.mjs', '.py', '.sh', '.cmake', '.sql',
                  '.service', '.conf')


def is_source(path):
    name = os.path.basename(path)
    if path.startswith(('docs/', 'assets/')):
        return False
    if name.endswith(SOURCE_ENDINGS) or name == 'CMakeLists.txt':
        return True
    if not os.path.isfile(path) or os.path.getsize(path) > 2_000_000:
        return False
    with open(path, 'rb') as f:
        return f.read(2) == b'#!' or path.startswith('packaging/nginx/')


def is_test(path):
    name = os.path.basename(path)
    return (path.startswith(('tests/', 'fuzz/')) or '_test.' in name or name.startswith('test_')
            or 'mutant' in name)


def main():
    os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
    listed = subprocess.run(['git', 'ls-files', '-z'], capture_output=True, check=True).stdout
    lines = {True: 0, False: 0}
    for path in filter(None, listed.decode().split('\0')):
        if os.path.isfile(path) and is_source(path):
            with open(path, encoding='utf-8', errors='replace') as f:
                lines[is_test(path)] += sum(1 for line in f if line.strip())
    share = round(100 * lines[True] / lines[False]) if lines[False] else 0
    print('Tests: %d lines, code: %d lines: tests are %d%% of the code (kept at 25-33%%).'
          % (lines[True], lines[False], share))
    return 0


sys.exit(main())
