#!/usr/bin/env python3
"""Checks that no source file under a folder is longer than a number of
lines and that no function body is longer than another.

Usage: source_sizes.py SRC_DIR [--max-file N] [--max-function N]
                       [--allow FILE[:FUNCTION]]...

Function bodies are found by matching braces in the text with comments,
string and character literals blanked out: a brace opened at file,
namespace or class level that does not open a class, struct, union, enum,
namespace, extern block, an initialiser (text ending in '=', or without a
parameter list) or a member's braced initialiser in a constructor's
initialiser list opens a function body, which runs to its matching brace. Lambdas and local classes
count towards the function holding them. A body's length is counted from
the line of its opening brace to that of its closing one.

--allow names a file (path relative to SRC_DIR) allowed to be long, or a
function in it ("Class::name", or "name" for a free function) allowed a
long body; an allowance nothing needs any longer is reported as an error
too, so that the list shrinks as the code does.

Exits with 1 and lists every offender when there is one."""

import argparse
import os
import re
import sys

SOURCE_SUFFIXES = ('.cpp', '.h')
# Literals are blanked before heads are read: 'extern "C"' is seen as
# 'extern' followed by spaces.
NON_FUNCTION_SCOPE = re.compile(r'\b(class|struct|union|enum|namespace)\b|\bextern\s*$')
# A constructor's initialiser list has begun: ") :" (not "::").
INITIALISERS = re.compile(r'\)\s*(const\s*)?(noexcept\s*)?:(?!:)')


def blank_literals(text):
    """Returns text with comments and literals replaced by spaces, newlines
    kept, so that braces in them are not counted and line numbers hold."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith('//', i):
            j = text.find('\n', i)
            j = n if j < 0 else j
            out.append(' ' * (j - i))
            i = j
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r'[^\n]', ' ', text[i:j]))
            i = j
        elif c == 'R' and text.startswith('R"', i) and not (i > 0 and (text[i - 1].isalnum() or text[i - 1] == '_')):
            m = re.match(r'R"([^()\\\s]{0,16})\(', text[i:])
            if not m:
                out.append(c)
                i += 1
                continue
            end = ')' + m.group(1) + '"'
            j = text.find(end, i + m.end())
            j = n if j < 0 else j + len(end)
            out.append(re.sub(r'[^\n]', ' ', text[i:j]))
            i = j
        elif c in '"\'':
            # A digit separator (1'000) is not a character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum() \
                    and re.match(r"[0-9a-fA-FxXbB']*$", text[max(0, i - 1)]):
                out.append(' ')
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != '\n':
                j += 2 if text[j] == '\\' else 1
            j = min(j + 1, n)
            out.append(re.sub(r'[^\n]', ' ', text[i:j]))
            i = j
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def strip_preprocessor(text):
    """Blanks preprocessor lines (with their continuations)."""
    lines = text.split('\n')
    inside = False
    for k, line in enumerate(lines):
        if inside or line.lstrip().startswith('#'):
            inside = line.rstrip().endswith('\\')
            lines[k] = ''
    return '\n'.join(lines)


def function_name(head):
    """The qualified name before the parameter list of a function head."""
    head = re.sub(r'\s+', ' ', head)
    # Drop a constructor's initialiser list: text after ") :".
    m = INITIALISERS.search(head)
    if m:
        head = head[:m.start() + 1]
    depth = 0
    for k in range(len(head) - 1, -1, -1):
        ch = head[k]
        if ch == ')':
            depth += 1
        elif ch == '(':
            depth -= 1
            if depth == 0:
                m = re.search(r'((?:[A-Za-z_~][\w]*\s*(?:<[^()]*>)?\s*::\s*)*(?:operator\s*[^\s(]+|~?[A-Za-z_]\w*))\s*$',
                              head[:k])
                if m:
                    return re.sub(r'\s+', '', m.group(1))
    return head.strip()[-60:] or '?'


def long_functions(text, limit):
    """(name, first line, length) of every function body over limit lines."""
    text = strip_preprocessor(blank_literals(text))
    found = []
    # Scopes: 'ns' (file, namespace, class, extern block), 'fn', 'other'.
    stack = []
    head_start = 0
    line = 1
    for k, ch in enumerate(text):
        if ch == '\n':
            line += 1
        elif ch == '{':
            head = text[head_start:k]
            at_ns = not stack or stack[-1][0] == 'ns'
            if not at_ns:
                stack.append(('other', line, ''))
            elif INITIALISERS.search(head) and re.search(r'\w\s*$', head):
                # A member's braced initialiser ("m_a{a}"): the head of
                # the constructor goes on after it.
                stack.append(('init', line, ''))
                continue
            elif NON_FUNCTION_SCOPE.search(head) and '(' not in head.split('{')[-1]:
                stack.append(('ns', line, ''))
            elif head.rstrip().endswith('=') or '(' not in head:
                # Data: "= {...}" or a braced initialiser ("int m{0}").
                stack.append(('other', line, ''))
            else:
                stack.append(('fn', line, function_name(head)))
            head_start = k + 1
        elif ch == '}':
            kind = None
            if stack:
                kind, first, name = stack.pop()
                if kind == 'fn' and line - first + 1 > limit:
                    found.append((name, first, line - first + 1))
            if kind != 'init' and not (stack and stack[-1][0] == 'init'):
                head_start = k + 1
        elif ch == ';':
            head_start = k + 1
        elif ch == ':' and stack and stack[-1][0] == 'ns':
            # "public:" and friends end a head too; "::" does not.
            before = text[head_start:k].strip()
            if before in ('public', 'protected', 'private', 'signals', 'public slots',
                          'protected slots', 'private slots', 'Q_SIGNALS', 'public Q_SLOTS'):
                head_start = k + 1
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('source_dir')
    parser.add_argument('--max-file', type=int, default=800)
    parser.add_argument('--max-function', type=int, default=120)
    parser.add_argument('--allow', action='append', default=[])
    args = parser.parse_args()

    allowed = set(args.allow)
    used = set()
    offenders = []
    for root, dirs, files in os.walk(args.source_dir):
        dirs.sort()
        for name in sorted(files):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(root, name)
            rel = os.path.relpath(path, args.source_dir)
            with open(path, encoding='utf-8', errors='replace') as f:
                text = f.read()
            lines = text.count('\n') + (0 if text.endswith('\n') or not text else 1)
            if lines > args.max_file:
                if rel in allowed:
                    used.add(rel)
                else:
                    offenders.append('%s: %d lines (at most %d)' % (rel, lines, args.max_file))
            for func, first, length in long_functions(text, args.max_function):
                key = '%s:%s' % (rel, func)
                if key in allowed:
                    used.add(key)
                else:
                    offenders.append('%s:%d: %s: %d lines (at most %d)'
                                     % (rel, first, func, length, args.max_function))
    for entry in sorted(allowed - used):
        offenders.append('%s: allowed to be long but no longer is: take it off the list' % entry)
    for entry in offenders:
        print(entry)
    if offenders:
        print('%d offender(s)' % len(offenders))
        return 1
    print('every file within %d lines, every function within %d' % (args.max_file, args.max_function))
    return 0


if __name__ == '__main__':
    sys.exit(main())
