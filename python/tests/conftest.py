"""Shared fixtures: phones opened on the simulated phone with the shrunk port timing, so that
time-outs take milliseconds."""
import pytest

import panelgrab

pytest_plugins = ["pytester"]


@pytest.fixture
def open_sim():
    """open_sim("--display=64x48:16,--baud=57600", **open_keywords) opens "sim:OPTIONS"; every phone
    it opened is closed after the test."""
    opened = []

    def make(options: str = "", **keywords) -> panelgrab.Phone:
        port = "sim:" + options if options else "sim"
        phone = panelgrab.open(port, fast_timing=True, **keywords)
        opened.append(phone)
        return phone

    yield make
    for phone in opened:
        phone.close()


@pytest.fixture
def phone(open_sim) -> panelgrab.Phone:
    """The default simulated phone: one 176x220 16-bit display showing the test card."""
    return open_sim()
