"""The layer checker against a small tree laid out by the project's own src/layers.txt: each case adds
one file that breaks the order, and the checker must name it."""
import pathlib
import shutil
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
CHECKER = ROOT / 'tests' / 'layers' / 'check_layers.py'

# Headers every case may include; each sits in the folder its path names.
HEADERS = ('common/ascii_text.h', 'transport/ports/port_names.h', 'transport/bytes/serial_device.h',
           'transport/at/serial_port.h', 'sim/simulated_phone.h', 'session/session.h')


def tree(tmp_path):
    (tmp_path / 'src').mkdir()
    shutil.copy(ROOT / 'src' / 'layers.txt', tmp_path / 'src' / 'layers.txt')
    for header in HEADERS:
        base = tmp_path if header.startswith('sim/') else tmp_path / 'src'
        (base / header).parent.mkdir(parents=True, exist_ok=True)
        (base / header).write_text('#pragma once\n')
    return tmp_path


def check(root):
    run = subprocess.run([sys.executable, CHECKER, root], capture_output=True, text=True)
    return run.returncode, run.stdout


@pytest.mark.parametrize('path, text, offence', [
    ('src/transport/ports/names.cpp', '#include "transport/bytes/serial_device.h"', 'upward to it'),
    ('src/transport/bytes/device.cpp', '#include "transport/at/serial_port.h"', 'upward to it'),
    ('src/transport/ports/names.cpp', '#include "sim/simulated_phone.h"', 'sideways to it'),
    ('sim/phone.cpp', '#include "transport/ports/port_names.h"', 'sideways to it'),
    ('cli/main.cpp', '#include "transport/at/serial_port.h"', 'reaches src/transport/at only through src/session'),
    ('python/module.cpp', '#include "transport/ports/port_names.h"', 'only through src/session'),
    ('src/transport/stray.cpp', '', 'lies in no folder of src/layers.txt'),
    ('src/transport/ports/CMakeLists.txt',
     'add_library(ports STATIC a.cpp)\ntarget_link_libraries(ports PUBLIC bytes)', 'ports links bytes'),
])
def test_each_offence_is_named(tmp_path, path, text, offence):
    root = tree(tmp_path)
    if path.endswith('CMakeLists.txt'):
        (root / 'src/transport/bytes/CMakeLists.txt').write_text('add_library(bytes STATIC b.cpp)\n')
    (root / path).parent.mkdir(parents=True, exist_ok=True)
    (root / path).write_text(text + '\n')
    status, output = check(root)
    assert status == 1, output
    assert f'{path}:' in output and offence in output, output


def test_a_downward_tree_passes(tmp_path):
    root = tree(tmp_path)
    (root / 'src/transport/at/port.cpp').write_text(
        '#include "transport/bytes/serial_device.h"\n#include "transport/ports/port_names.h"\n')
    (root / 'cli').mkdir()
    (root / 'cli/main.cpp').write_text('#include "session/session.h"\n')
    assert check(root) == (0, 'layers: every dependency runs downward\n')
