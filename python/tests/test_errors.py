"""Failures arrive as exceptions with the program's own texts, never as status numbers."""

import pytest

import panelgrab


# The failures the command line shows alike are checked against it in tests/session.
@pytest.mark.parametrize("port, keywords, error, text", [
    ("sim", {"init_commands": "ATE1\r\nAT+NOPE\r\n"}, panelgrab.PhoneError, "responded with error"),
    ("sim:--dialect=klingon", {}, ValueError, 'invalid value "klingon" for --dialect'),
    ("sim", {"baud": "fastest"}, ValueError, "auto"),
    ("sim", {"trace": 42}, TypeError, "trace"),
])
def test_opening_failures(port, keywords, error, text):
    with pytest.raises(error, match=text):
        panelgrab.open(port, fast_timing=True, **keywords)


# Each call with the phone p and its latest grab s.
@pytest.mark.parametrize("call, error, text", [
    (lambda p, s: p.grab(1), IndexError, "no display 1 .it describes 1, numbered from 0"),
    (lambda p, s: p.checksum("0,0,1,1"), TypeError, "four numbers"),
    (lambda p, s: p.checksum((0, 0, 1)), TypeError, "four numbers"),
    (lambda p, s: p.checksum((0, 0, 1.5, 1)), TypeError, "not an integer"),
    (lambda p, s: p.checksum((5, 0, 1, 1)), ValueError, "is empty"),
    (lambda p, s: p.checksum((0, 0, 70000, 1)), ValueError, "0 to 65535"),
    (lambda p, s: s.region_checksum((0, 0, 176, 1)), ValueError, "outside the 176x220 display"),
    (lambda p, s: s.compare(s, ignore=(0, 0, 1, 1)), TypeError, r"write \[\(0, 0, 1, 1\)\]"),
    (lambda p, s: s.compare(s, regions=[(200, 0, 300, 10)]), ValueError, "lies outside the 176x220 picture"),
    (lambda p, s: s.compare(s, tolerance=256), ValueError, "0 to 255"),
    (lambda p, s: s.compare(s, max_diff_pixels=-1), ValueError, "0 or more"),
    (lambda p, s: s.compare(42), TypeError, "a Screen or a picture file"),
    (lambda p, s: p.press("1", press_ms=100), ValueError, "together"),
    (lambda p, s: p.press("1", press_ms=-100, pause_ms=0), ValueError, "0 or more"),
    (lambda p, s: p.key_events(timeout=-1), ValueError, "seconds"),
    (lambda p, s: next(iter(p.key_events())), ValueError, "inside the block"),
    (lambda p, s: p.live(timeout=-1), ValueError, "seconds"),
    (lambda p, s: next(iter(p.live())), ValueError, "inside the block"),
])
def test_bad_arguments_are_named(phone, call, error, text):
    screen = phone.grab()
    with pytest.raises(error, match=text):
        call(phone, screen)


def test_a_grab_or_a_second_live_view_while_a_live_view_runs_says_why_it_cannot(phone):
    with phone.live(timeout=10) as view:
        next(view)
        with pytest.raises(panelgrab.PhoneError, match="A live view holds the port; stop it first"):
            phone.grab()
        with pytest.raises(ValueError, match="already runs: leave its with block first"):
            with phone.live():
                pass
    assert phone.grab().width == 176


def test_picture_files_that_cannot_be_used(phone, tmp_path):
    screen = phone.grab()
    with pytest.raises(panelgrab.PictureError, match="missing.png.*No such file"):
        screen.compare(str(tmp_path / "missing.png"))
    with pytest.raises(panelgrab.PictureError, match="could not write .*nowhere/x.png"):
        screen.save(tmp_path / "nowhere" / "x.png")
    # A target that cannot be replaced stays as it was.
    (tmp_path / "taken.bmp").mkdir()
    (tmp_path / "taken.bmp" / "keep").write_text("keep")
    with pytest.raises(panelgrab.PictureError, match="could not write"):
        screen.save(tmp_path / "taken.bmp")
    assert (tmp_path / "taken.bmp" / "keep").read_text() == "keep"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["taken.bmp"]
