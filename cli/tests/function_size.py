#!/usr/bin/env python3
"""Lists every function in the given C++ sources whose body runs over a number of lines.

A function is a brace block opened after a parameter list at namespace or class scope (blocks
inside a function, lambdas included, count as part of it). Strings, characters and comments
are skipped. Exit status 1 when a function is too long.

usage: function_size.py LIMIT FILE...
"""
import re
import sys

NOT_FUNCTION = re.compile(r'\b(namespace|class|struct|enum|union)\b|=\s*$|^\s*extern\s+"C"')


def strip(text):
    """The text with strings, characters and comments blanked, line breaks kept."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if text.startswith('//', i):
            j = text.find('\n', i)
            j = len(text) if j < 0 else j
            out.append(' ' * (j - i))
            i = j
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2) + 2
            out.append(re.sub(r'[^\n]', ' ', text[i:j]))
            i = j
        elif text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(')' + m.group(1) + '"', i) + len(m.group(1)) + 2
            out.append(re.sub(r'[^\n]', ' ', text[i:end]))
            i = end
        elif c in '"\'':
            j = i + 1
            while text[j] != c:
                j += 2 if text[j] == '\\' else 1
            out.append(' ' * (j + 1 - i))
            i = j + 1
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def long_functions(path, limit):
    text = strip(open(path, encoding='utf-8', errors='replace').read())
    stack = []  # for each open brace: ('function', start line, name) or ('scope', ...)
    header = ''
    line = 1
    found = []
    for c in text:
        if c == '\n':
            line += 1
        if c == '{':
            inside = any(kind == 'function' for kind, _, _ in stack)
            head = header.strip()
            if not inside and ')' in head and not NOT_FUNCTION.search(head):
                name = re.findall(r'([~\w:]+)\s*\(', head)
                stack.append(('function', line - head.count('\n'), name[0] if name else '?'))
            else:
                stack.append(('scope', line, ''))
            header = ''
        elif c == '}':
            if stack:
                kind, start, name = stack.pop()
                if kind == 'function' and line - start + 1 > limit:
                    found.append((path, start, name, line - start + 1))
            header = ''
        elif c == ';':
            header = ''
        else:
            header += c
    return found


def main():
    limit = int(sys.argv[1])
    found = []
    for path in sys.argv[2:]:
        found += long_functions(path, limit)
    for path, start, name, lines in found:
        print(f'{path}:{start}: {name} is {lines} lines (limit {limit})')
    print(f'{len(found)} functions over {limit} lines in {len(sys.argv) - 2} files')
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
