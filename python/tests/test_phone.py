"""Every Phone call against the simulated phone, through its pseudo-terminal."""
import io

import pytest

import panelgrab


def test_model_and_displays_of_each_dialect(open_sim):
    two = open_sim("--dialect=two-displays,--model=ACME-X1")
    assert two.model() == "X1"
    described = [(d.number, d.width, d.height, d.bits_per_pixel, d.characters_per_line)
                 for d in two.displays()]
    assert described == [(0, 176, 220, 16, 176 * 8), (1, 96, 64, 16, 96 * 8)]
    # Pictures of other sizes never match.
    result = two.grab(0).compare(two.grab(1))
    assert (result.matches, result.verdict, result.compared_pixels) == (False, "size mismatch", 0)
    assert "96x64" in result.summary and "176x220" in result.summary
    short = open_sim("--dialect=short")
    assert [(d.width, d.height, d.characters_per_line) for d in short.displays()] == [(128, 160, 128 * 4)]
    assert "sim (/dev/" in repr(short)


@pytest.mark.parametrize("options", ["", "--dialect=short", "--display=40x30:1", "--display=40x30:2",
                                     "--display=40x30:8", "--dialect=two-displays"])
def test_local_region_checksums_equal_the_phones(open_sim, options):
    phone = open_sim(options)
    for position, display in enumerate(phone.displays()):
        screen = phone.grab(position)
        right, bottom = display.width - 1, display.height - 1
        for region in [(0, 0, 0, 0), (3, 5, 20, 17), (0, 0, right, bottom), (right, bottom, right, bottom)]:
            phones = phone.checksum(region, display.number)
            assert screen.region_checksum(region) == phones, (position, region)


def test_region_checksum_needs_the_latest_grab(phone):
    first = phone.grab()
    phone.grab()
    with pytest.raises(panelgrab.PictureError, match="later grab"):
        first.region_checksum((0, 0, 1, 1))
    latest = phone.grab()
    phone.close()
    with pytest.raises(panelgrab.PictureError, match="closed"):
        latest.region_checksum((0, 0, 1, 1))


def test_pressed_keys_come_back_as_events(phone):
    with phone.key_events(timeout=2) as events:
        phone.press("1#")
        phone.press("2", press_ms=100, pause_ms=0)
        got = [(e.key, e.pressed) for e in events.take(6)]
    assert got == [("1", True), ("1", False), ("#", True), ("#", False), ("2", True), ("2", False)]


def test_event_iteration_ends_at_the_timeout(open_sim):
    phone = open_sim("--key-events=5,1;5,0;*,1;*,0,--key-event-pause=5")
    with phone.key_events(timeout=0.3) as events:
        received = list(events)
        assert events.take(1, timeout=0) == []
    assert [(e.key, e.pressed) for e in received] == [("5", True), ("5", False), ("*", True), ("*", False)]
    assert repr(received[0]) == "KeyEvent('5', pressed=True)" and received[1] != received[0]
    # A block is entered once; a second one may run after it, not beside it.
    with pytest.raises(ValueError, match="entered once"):
        events.__enter__()
    with phone.key_events(timeout=0):
        with pytest.raises(ValueError, match="one key_events"):
            phone.key_events().__enter__()


def test_a_vanished_phone_ends_the_events_with_port_error():
    with panelgrab.SimulatedPhone(key_events="5,1;5,0", key_event_pause=5) as sim:
        phone = panelgrab.open(sim.port, fast_timing=True)
        with phone.key_events(timeout=5) as events:
            assert [e.key for e in events.take(2)] == ["5", "5"]
            sim.close()
            with pytest.raises(panelgrab.PortError, match="stopped answering while listening"):
                events.take(1)
        with pytest.raises(panelgrab.PortError):
            phone.model()
        phone.close()


def test_gui_object_and_raw_answers(open_sim):
    phone = open_sim('--gui-object="ListObject","Contacts","Select","Back","2","Bob"')
    assert phone.gui_object() == {"OBJECT": "ListObject", "TITLE": "Contacts", "SKL": "Select", "SKR": "Back",
                                  "FOCUS": "2", "VALUE": "Bob"}
    answer = phone.send("AT+CGMM\r")
    assert "PANELSIM-P200\r\n" in answer and answer.endswith("OK\r\n")
    with pytest.raises(panelgrab.PhoneError, match="responded with error") as refused:
        phone.send("AT+NOSUCHTHING\r")
    assert refused.value.code == 5


def test_trace_sees_every_exchange(open_sim):
    seen = []
    phone = open_sim(trace=lambda direction, text: seen.append((direction, text)), init_commands="ATE1\r\nAT\r\n")
    phone.model()
    assert [text for direction, text in seen if direction == ">"] == ["AT\r", "ATE1\r", "AT\r", "AT+CGMM\r"]
    assert any(direction == "<" and "PANELSIM-P200" in text for direction, text in seen)
    stream = io.StringIO()
    open_sim(trace=stream).model()
    assert "> 'AT+CGMM\\r'\n" in stream.getvalue()


def test_a_session_is_recorded_where_asked(open_sim, tmp_path):
    # That a replay answers as the phone did is the recorder's and the replay's (tests/integration).
    session = tmp_path / "phone.session"
    open_sim(record_session=session).model()
    assert "> AT+CGMM\\r\n" in session.read_text()
    with pytest.raises(OSError, match="record_session: .*No such file or directory"):
        open_sim(record_session=tmp_path / "missing" / "phone.session")


def test_baud_auto_finds_the_rate_the_phone_answers_at(open_sim):
    # The search itself is the session's (tests/session).
    assert open_sim("--strict-baud,--baud=57600", baud="auto").baud == 57600
    with pytest.raises(panelgrab.PhoneNotResponding, match="no rate answered"):
        open_sim("--fault=silent", baud="auto")


def test_ports_are_described_as_the_command_line_lists_them():
    for port in panelgrab.ports():
        assert str(port).startswith(port.path)


def test_live_view_yields_each_change_with_its_regions(open_sim):
    phone = open_sim("--animate=block,--animate-period=100")
    with phone.live(timeout=5, full_every=0) as view:
        steps = [next(view) for _ in range(4)]
        phone.press("1")  # keys take turns with the refreshes
    first_screen, first_regions = steps[0]
    assert (first_screen.width, first_screen.height) == (176, 220)
    assert first_regions == [(0, 0, 175, 219)], "the opening full read"
    for screen, regions in steps[1:]:
        assert regions, "a step comes only once something was fetched"
        for left, top, right, bottom in regions:  # the moving block's rows, within the bands around them
            assert 92 <= top <= bottom <= 115, regions
    assert phone.grab().width == steps[-1][0].width  # the port is free again after the block
