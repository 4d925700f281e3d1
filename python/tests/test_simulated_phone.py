"""The simulated phone as a Python object, and the pytest plugin."""
import pytest

import panelgrab


def test_simulated_phone_takes_the_simulators_options():
    with panelgrab.SimulatedPhone(dialect="two-displays", display=[(64, 32, 16), "48x16:8"], model="ACME-Z9",
                                  chunk=7) as sim:
        assert sim.port.startswith("/dev/") and sim.port in repr(sim)
        with panelgrab.open(sim.port, fast_timing=True) as phone:
            assert phone.model() == "Z9"
            displays = [(d.width, d.height, d.bits_per_pixel) for d in phone.displays()]
            assert displays == [(64, 32, 16), (48, 16, 8)]
    assert "stopped" in repr(sim)
    with pytest.raises(ValueError, match="two-displays dialect needs two --display"):
        panelgrab.SimulatedPhone(dialect="two-displays", display=(64, 32, 16))
    with pytest.raises(ValueError, match="unknown option --warp"):
        panelgrab.SimulatedPhone(options=["--warp=9"])


FAILING_TESTS = """
def test_wrong_model(phone):
    assert phone.model() == "P300"

def test_right_model(phone):
    assert phone.displays()[0].width == 176

def test_without_phone():
    assert False
"""


def test_plugin_saves_the_screen_of_a_failed_test(pytester):
    pytester.makepyfile(test_screens=FAILING_TESTS)
    result = pytester.runpytest_subprocess("-p", "panelgrab.pytest_plugin", "--junitxml=reports/run.xml")
    result.assert_outcomes(passed=1, failed=2)
    screen = pytester.path / "reports" / "test_screens.py_test_wrong_model.png"
    result.stdout.fnmatch_lines(["*panelgrab*", f"*the phone's screen at the failure: {screen}*"])
    assert sorted(p.name for p in (pytester.path / "reports").iterdir()) == ["run.xml", screen.name]
    assert screen.read_bytes().startswith(b"\x89PNG")
    assert "panelgrab_screen" in (pytester.path / "reports" / "run.xml").read_text()

    # The options choose the phone: this one answers as the test wants.
    result = pytester.runpytest_subprocess("-p", "panelgrab.pytest_plugin", "--panelgrab-baud=9600",
                                           "--panelgrab-port=sim:--model=X-P300", "-k", "model")
    result.assert_outcomes(passed=2)
