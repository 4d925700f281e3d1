"""The module's example, as the README shows it, runs against the simulated phone."""
import pathlib
import re

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
REAL_PORT = 'panelgrab.open("/dev/ttyACM0", baud=115200)'


def test_readme_example_runs_as_written(tmp_path, monkeypatch):
    examples = [block for block in re.findall(r"```python\n(.*?)```", README.read_text(), re.S)
                if REAL_PORT in block]
    assert len(examples) == 1
    monkeypatch.chdir(tmp_path)
    namespace = {}
    exec(compile(examples[0].replace(REAL_PORT, 'panelgrab.open("sim")'), str(README), "exec"), namespace)
    assert namespace["phone"].closed and (tmp_path / "home.png").is_file()
