#!/usr/bin/env python3
"""Checks that each subsystem library sees the headers of its own folder and
of the layers below it, and that an upper layer's header cannot be included.

Usage: layer_includes.py --compiler CXX --flags-dir DIR --source-dir SRC
                         [--implicit-include-dirs DIRS]

DIR holds <folder>.flags, one compiler argument a line: the include folders,
definitions and options the build gives that folder's library. Each probe is
a one-line source compiled with those arguments:
- every folder's headers, all included by one source, are preprocessed:
  no header may reach above its folder's layers;
- for every folder and every other folder, an include of one of the other
  folder's headers is only preprocessed: it must succeed exactly when the
  other folder is a layer below, and a failure must be that include not being
  found (not some other error);
- the cases of FORBIDDEN are the same check for chosen headers;
- the cases of CONTROL are compiled (syntax only): they prove that the
  arguments make a working compile, so that a refusal above is the layering
  and not a broken command.
Exits with 1 and lists every probe that went the wrong way."""

import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile

# What each folder's library may include besides its own folder.
BELOW = {
    'core': [],
    'model': ['core'],
    'playback': ['core', 'model'],
    'io': ['core', 'model', 'playback'],
    'dialogs': ['core', 'model', 'playback', 'io'],
    'capture': ['core'],
    'ui': ['core', 'model', 'playback', 'io', 'dialogs', 'capture'],
    'app': ['core', 'model', 'playback', 'io', 'dialogs', 'capture', 'ui'],
}

# Upward includes that must not compile: (folder, include).
FORBIDDEN = [
    ('core', 'model/Media.h'),
    ('core', 'ui/MainWindow.h'),
    ('core', 'capture/YTSniffer.h'),
    ('core', 'app/MainController.h'),
    ('model', 'playback/MediaPlayer.h'),
    ('model', 'io/InputController.h'),
    ('playback', 'io/MediaExporter.h'),
    ('playback', 'ui/VideoWidget.h'),
    ('io', 'dialogs/ProgressDialog.h'),
    ('io', 'ui/MainWindow.h'),
    ('dialogs', 'capture/YTSniffer.h'),
    ('dialogs', 'app/MainController.h'),
    ('capture', 'model/Media.h'),
    ('capture', 'dialogs/ProgressDialog.h'),
    ('capture', 'ui/MainWindow.h'),
    ('ui', 'app/Application.h'),
]

# Includes that must compile: one of the folder's own headers and one from
# the layers below, through the library's include roots.
CONTROL = [
    ('core', 'core/Time.h'),
    ('model', 'core/Time.h'),
    ('playback', 'model/Media.h'),
    ('io', 'playback/MediaPlayer.h'),
    ('dialogs', 'io/MediaExporter.h'),
    ('capture', 'capture/YTSniffer.h'),
    ('ui', 'dialogs/ProgressDialog.h'),
    ('ui', 'capture/YTSniffer.h'),
    ('app', 'ui/MainWindow.h'),
]


def read_flags(flags_dir, folder, implicit):
    """The folder's arguments without repeats and without the compiler's own
    include folders, which given again with -I would change where the
    standard library's headers look for the C library's."""
    with open(os.path.join(flags_dir, folder + '.flags'), encoding='utf-8') as f:
        lines = [line for line in f.read().split('\n') if line.strip()]
    flags = []
    for line in lines:
        if line in flags or (line.startswith('-I') and line[2:] in implicit):
            continue
        flags.append(line)
    return flags


def probe(compiler, flags, include, workdir, syntax):
    """Compiles (syntax) or preprocesses a source holding the include (or
    each of a list of them); returns (succeeded, the compiler's messages)."""
    fd, path = tempfile.mkstemp(suffix='.cpp', dir=workdir)
    with os.fdopen(fd, 'w') as f:
        for name in include if isinstance(include, list) else [include]:
            f.write('#include "%s"\n' % name)
    mode = ['-fsyntax-only'] if syntax else ['-E', '-o', os.devnull]
    done = subprocess.run([compiler, '-std=c++17'] + flags + mode + [path],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True)
    return done.returncode == 0, done.stdout


def headers_of(source_dir, folder):
    return ['%s/%s' % (folder, n) for n in sorted(os.listdir(os.path.join(source_dir, folder)))
            if n.endswith('.h')]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--compiler', required=True)
    parser.add_argument('--flags-dir', required=True)
    parser.add_argument('--source-dir', required=True)
    parser.add_argument('--implicit-include-dirs', default='',
                        help="the compiler's own include folders, separated by ';'")
    args = parser.parse_args()

    below = {k: list(v) for k, v in BELOW.items()}
    implicit = set(d for d in args.implicit_include_dirs.split(';') if d)
    flags = {folder: read_flags(args.flags_dir, folder, implicit) for folder in below}

    # (folder, include, expected to succeed, syntax-only compile)
    cases = []
    for folder in below:
        headers = headers_of(args.source_dir, folder)
        # Every header of the folder sees only what the folder may: one that
        # reached upwards would fail here even if no source of the folder
        # included it.
        if headers:
            cases.append((folder, headers, True, False))
        for other in below:
            header = headers_of(args.source_dir, other)[:1]
            if header:
                allowed = other == folder or other in below[folder]
                cases.append((folder, header[0], allowed, False))
    cases += [(folder, include, False, False) for folder, include in FORBIDDEN
              if include.split('/')[0] not in below[folder]]
    cases += [(folder, include, True, True) for folder, include in CONTROL]

    failures = []
    with tempfile.TemporaryDirectory() as workdir, \
            concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        runs = {pool.submit(probe, args.compiler, flags[c[0]], c[1], workdir, c[3]): c for c in cases}
        for run in concurrent.futures.as_completed(runs):
            folder, include, expected, syntax = runs[run]
            ok, messages = run.result()
            if isinstance(include, list):
                what = '%s including all %d of its headers' % (folder, len(include))
            else:
                what = '%s including "%s"%s' % (folder, include, ' (compiled)' if syntax else '')
            if ok and not expected:
                failures.append('%s: found, but %s is not a layer below %s'
                                % (what, include.split('/')[0], folder))
            elif not ok and expected:
                failures.append('%s: failed:\n%s' % (what, messages[-2000:]))
            elif not ok and '%s: No such file or directory' % include not in messages:
                failures.append('%s: failed for another reason than the include:\n%s'
                                % (what, messages[-2000:]))
    for line in sorted(failures):
        print(line)
    if failures:
        print('%d of %d probes went the wrong way' % (len(failures), len(cases)))
        return 1
    print('%d probes: every folder sees its own and the lower layers only' % len(cases))
    return 0


if __name__ == '__main__':
    sys.exit(main())
