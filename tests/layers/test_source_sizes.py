#!/usr/bin/env python3
"""The function scanner of source_sizes.py on small sources: what it takes
for a function body, how long it finds it, and what it must not count."""

import os
import subprocess
import sys
import tempfile
import unittest

# The source folder stays clean of compiled modules.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import source_sizes  # noqa: E402


def body(lines):
    return '\n'.join('    x += %d;' % i for i in range(lines))


class LongFunctions(unittest.TestCase):
    # (what, source, [(name, length)] found over a limit of 5 lines)
    CASES = [
        ('free function', 'int f(int x)\n{\n%s\n    return x;\n}\n' % body(5),
         [('f', 8)]),
        ('short function', 'int f(int x)\n{\n%s\n}\n' % body(3), []),
        ('member in a namespace', 'namespace A {\nvoid B::run() const\n{\n%s\n}\n}\n' % body(6),
         [('B::run', 8)]),
        ('inline member in a class', 'class C {\npublic:\n    void m()\n    {\n%s\n    }\n};\n' % body(6),
         [('m', 8)]),
        ('constructor with braced initialisers',
         'C::C(int a) : QObject(nullptr), m_a{a}, m_b{}\n{\n%s\n}\n' % body(6), [('C::C', 8)]),
        ('lambdas and blocks count towards their function',
         'void f()\n{\n    auto g = [] {\n%s\n    };\n    if (x) {\n%s\n    }\n}\n' % (body(3), body(3)),
         [('f', 12)]),
        ('braces in comments and literals',
         'void f()\n{\n    // }\n    /* } */\n    s = "}";\n    c = \'}\';\n    r = R"(}})";\n%s\n}\n'
         % body(2), [('f', 9)]),
        ('a table at file level is no function',
         'static const int table[] = {\n%s\n};\n' % ',\n'.join('    %d' % i for i in range(10)), []),
        ('a long braced member initialiser is data',
         'struct S {\n    QStringList names{\n%s\n    };\n};\n' % ',\n'.join('"n%d"' % i for i in range(10)), []),
        ('a long class holds no long function',
         'struct S {\n%s\n};\n' % '\n'.join('    int m%d = 0;' % i for i in range(10)), []),
        ('extern block and nested namespaces',
         'extern "C" {\nnamespace A { namespace {\nvoid f()\n{\n%s\n}\n} }\n}\n' % body(6), [('f', 8)]),
        ('preprocessor lines with braces',
         '#define OPEN {\nvoid f()\n{\n%s\n}\n' % body(6), [('f', 8)]),
        ('operator', 'bool operator==(const A &a, const A &b)\n{\n%s\n}\n' % body(6),
         [('operator==', 8)]),
        ('two functions, one long', 'void a()\n{\n}\nvoid b()\n{\n%s\n}\n' % body(6), [('b', 8)]),
    ]

    def test_cases(self):
        for what, source, expected in self.CASES:
            with self.subTest(what):
                found = [(name, length) for name, _, length in source_sizes.long_functions(source, 5)]
                self.assertEqual(found, expected)


class Command(unittest.TestCase):
    """The program's verdict, offenders and allowances on a folder."""

    def run_check(self, files, *arguments):
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
                with open(os.path.join(root, path), 'w') as f:
                    f.write(text)
            done = subprocess.run([sys.executable, source_sizes.__file__, root] + list(arguments),
                                  stdout=subprocess.PIPE, universal_newlines=True)
            return done.returncode, done.stdout

    def test_verdicts(self):
        long_file = ''.join('int v%d;\n' % i for i in range(12))
        long_function = 'void f()\n{\n%s\n}\n' % body(8)
        files = {'a/Long.cpp': long_file, 'b/Fn.cpp': long_function, 'b/Short.h': 'int x;\n'}
        limits = ('--max-file', '11', '--max-function', '5')
        cases = [
            ('offenders listed', limits, 1, ['a/Long.cpp: 12 lines', 'b/Fn.cpp:2: f: 10 lines']),
            ('all allowed', limits + ('--allow', 'a/Long.cpp', '--allow', 'b/Fn.cpp:f'), 0, []),
            ('an allowance no longer needed', limits + ('--allow', 'a/Long.cpp', '--allow', 'b/Fn.cpp:f',
                                                        '--allow', 'b/Short.h'),
             1, ['b/Short.h: allowed to be long but no longer is']),
            ('within wider limits', ('--max-file', '12', '--max-function', '10'), 0, []),
        ]
        for what, arguments, verdict, lines in cases:
            with self.subTest(what):
                code, output = self.run_check(files, *arguments)
                self.assertEqual(code, verdict, output)
                for line in lines:
                    self.assertIn(line, output)


if __name__ == '__main__':
    unittest.main()
