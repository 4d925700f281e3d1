#!/usr/bin/env python3
"""Checks that dependencies run one way: every #include "..." and every target link of the project's
folders goes to a lower layer of src/layers.txt, never upward and never sideways between folders of
the same layer. Prints each offence as FILE:LINE and exits 1; exits 0 when there is none.

The front ends talk to a phone through the session layer only: none of their files may include a
header of the folders that the session layer hides (FRONT_ENDS, HIDDEN_BELOW_SESSION).

usage: check_layers.py SOURCE_ROOT
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
TARGET = re.compile(r'\b(?:add_library|add_executable)\s*\(\s*([A-Za-z0-9_.-]+)')
LINK = re.compile(r'\btarget_link_libraries\s*\(([^)]*)\)', re.S)
SOURCES = ('.h', '.hpp', '.cpp', '.cc')
# Front ends and the folders under the session layer they may not include directly.
FRONT_ENDS = ('cli', 'python', 'src/app', 'server')
HIDDEN_BELOW_SESSION = ('src/transport/ports', 'src/transport/bytes', 'src/transport/at', 'src/capture',
                        'src/background', 'src/jobs')


def read_layers(root):
    """Folder (relative to root) -> layer number, from src/layers.txt."""
    layers = {}
    for line in (root / 'src' / 'layers.txt').read_text().splitlines():
        line = line.split('#', 1)[0].split()
        if line:
            for folder in line[1:]:
                layers[folder] = int(line[0])
    return layers


def folder_of(path, layers):
    """The layered folder a file belongs to (the longest matching folder), or None."""
    return max((folder for folder in layers if path == folder or path.startswith(folder + '/')), key=len,
               default=None)


def resolve_include(root, name):
    for base in (root / 'src', root):
        if (base / name).exists():
            return (base / name).relative_to(root).as_posix()
    return None


def offence(layers, user, used):
    """Why `user` may not use `used`, or None when it may."""
    if user == used:
        return None
    if user in FRONT_ENDS and used in HIDDEN_BELOW_SESSION:
        return f'{user} is a front end: it reaches {used} only through src/session'
    if layers[used] < layers[user]:
        return None
    how = 'sideways to' if layers[used] == layers[user] else 'upward to'
    return f'{user} (layer {layers[user]}) may not use {used} (layer {layers[used]}): {how} it'


def check_includes(root, layers):
    problems = []
    for folder in layers:
        for path in sorted((root / folder).rglob('*')):
            if path.suffix not in SOURCES or not path.is_file():
                continue
            rel = path.relative_to(root).as_posix()
            user = folder_of(rel, layers)
            for number, text in enumerate(path.read_text(errors='replace').splitlines(), 1):
                match = INCLUDE.match(text)
                target = resolve_include(root, match.group(1)) if match else None
                used = folder_of(target, layers) if target else None
                why = offence(layers, user, used) if used else None
                if why:
                    problems.append(f'{rel}:{number}: includes "{match.group(1)}": {why}')
    return problems


def check_unlisted(root, layers):
    """Source files under src/ outside every layered folder, which no other check would see."""
    problems = []
    for path in sorted((root / 'src').rglob('*')):
        rel = path.relative_to(root).as_posix()
        if path.suffix in SOURCES and path.is_file() and folder_of(rel, layers) is None:
            problems.append(f'{rel}: lies in no folder of src/layers.txt')
    return problems


def cmake_files(root, layers):
    for folder in layers:
        for path in sorted((root / folder).rglob('CMakeLists.txt')):
            yield path, folder_of(path.relative_to(root).as_posix(), layers)


def check_links(root, layers):
    owners = {}
    for path, folder in cmake_files(root, layers):
        for name in TARGET.findall(path.read_text()):
            owners.setdefault(name, folder)
    problems = []
    for path, folder in cmake_files(root, layers):
        text = path.read_text()
        for match in LINK.finditer(text):
            words = match.group(1).split()
            user = owners.get(words[0], folder) if words else folder
            for word in words[1:]:
                used = owners.get(word)
                why = offence(layers, user, used) if used else None
                if why:
                    number = text.count('\n', 0, match.start()) + 1
                    rel = path.relative_to(root).as_posix()
                    problems.append(f'{rel}:{number}: {words[0]} links {word}: {why}')
    return problems


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else '.').resolve()
    layers = read_layers(root)
    problems = check_includes(root, layers) + check_links(root, layers) + check_unlisted(root, layers)
    for problem in problems:
        print(problem)
    print(f'{len(problems)} dependencies against the layers' if problems else 'layers: every dependency runs downward')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
