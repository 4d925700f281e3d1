"""A pytest plugin for phone tests: enable it with ``-p panelgrab.pytest_plugin`` (or list it in
``pytest_plugins``).

It gives a ``phone`` fixture, an open panelgrab.Phone on the port that ``--panelgrab-port`` names
(default: the simulated phone) at ``--panelgrab-baud``, closed after each test; with
``--panelgrab-server URL --panelgrab-phone NAME`` it is that phone of a lab server instead
(panelgrab.connect), which people may watch while the test runs. When a test that
uses it fails, the phone's current screen is saved as a PNG next to the test report: in the folder
of the ``--junitxml`` file, or ``--panelgrab-screens``, or else the current folder. The report's
"panelgrab" section and its ``panelgrab_screen`` property name the file.
"""
import os
import re
from typing import Iterator, Optional, Union

import pytest

import panelgrab


def pytest_addoption(parser: pytest.Parser) -> None:
    group = parser.getgroup("panelgrab", "phone tests through panelgrab")
    group.addoption("--panelgrab-port", default="sim",
                    help='port of the phone the "phone" fixture opens (default: sim, the simulated phone; '
                         '"sim:OPTIONS" passes the simulated phone\'s options)')
    group.addoption("--panelgrab-baud", type=int, default=115200,
                    help="baud rate of that port (default: 115200)")
    group.addoption("--panelgrab-server", default=None, metavar="URL",
                    help="a lab server (panelgrab-server) whose phone the fixture uses instead of a port")
    group.addoption("--panelgrab-phone", default=None, metavar="NAME",
                    help="the name of that phone on the lab server")
    group.addoption("--panelgrab-screens", default=None, metavar="FOLDER",
                    help="where the screens of failed tests go (default: the --junitxml report's folder, "
                         "else the current folder)")


@pytest.fixture
def phone(request: pytest.FixtureRequest) -> Iterator[Union[panelgrab.Phone, panelgrab.RemotePhone]]:
    """The phone on --panelgrab-port, opened for the test and closed after it."""
    config = request.config
    server, name = config.getoption("panelgrab_server"), config.getoption("panelgrab_phone")
    if server or name:
        if not (server and name):
            raise pytest.UsageError("--panelgrab-server and --panelgrab-phone are given together")
        with panelgrab.connect(server, name) as remote:
            yield remote
        return
    port, baud = config.getoption("panelgrab_port"), config.getoption("panelgrab_baud")
    with panelgrab.open(port, baud=baud) as opened:
        yield opened


def _screen_folder(config: pytest.Config) -> str:
    folder: Optional[str] = config.getoption("panelgrab_screens")
    if folder:
        return folder
    report = getattr(config.option, "xmlpath", None)
    if report:
        return os.path.dirname(os.path.abspath(report))
    return str(config.invocation_params.dir)


def _screen_path(item: pytest.Item) -> str:
    name = re.sub(r"[^A-Za-z0-9_.-]+", "_", item.nodeid).strip("_")
    return os.path.join(_screen_folder(item.config), name + ".png")


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item: pytest.Item, call: pytest.CallInfo) -> Iterator[None]:
    outcome = yield
    report = outcome.get_result()
    if report.when != "call" or not report.failed:
        return
    opened = getattr(item, "funcargs", {}).get("phone")
    if not isinstance(opened, (panelgrab.Phone, panelgrab.RemotePhone)) or opened.closed:
        return
    path = _screen_path(item)
    try:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        opened.grab().save(path)
    except (panelgrab.Error, OSError, ValueError) as error:
        report.sections.append(("panelgrab", f"the phone's screen could not be saved: {error}"))
        return
    report.sections.append(("panelgrab", f"the phone's screen at the failure: {path}"))
    # The JUnit XML report takes the properties the item holds when its teardown is reported.
    item.user_properties.append(("panelgrab_screen", path))
    report.user_properties.append(("panelgrab_screen", path))
