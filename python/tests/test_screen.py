"""Screens as pixels (numpy, Pillow, files) and their comparison."""
import numpy
import pytest
from PIL import Image

import panelgrab


@pytest.fixture
def shown(tmp_path):
    """A 40x30 picture in colours a 16-bit display shows exactly, and a phone showing it."""
    rng = numpy.random.default_rng(7)
    # Each channel empty or at its 5-6-5 maximum as the decoder widens it to 8 bits.
    picture = (rng.integers(0, 2, size=(30, 40, 3)) * [248, 252, 248]).astype(numpy.uint8)
    path = tmp_path / "shown.bmp"
    Image.fromarray(picture).save(path)
    with panelgrab.SimulatedPhone(display=(40, 30, 16), picture=path) as sim:
        with panelgrab.open(sim.port, fast_timing=True) as phone:
            yield picture, phone


def test_pixels_reach_numpy_and_pillow_unchanged_and_uncopied(shown, tmp_path):
    picture, phone = shown
    screen = phone.grab()
    pixels = numpy.asarray(screen)
    assert pixels.shape == (30, 40, 3) and pixels.dtype == numpy.uint8
    numpy.testing.assert_array_equal(pixels, picture)
    assert not pixels.flags.writeable
    assert numpy.shares_memory(pixels, numpy.asarray(screen))
    assert screen.rgb == picture.tobytes()
    assert numpy.array_equal(numpy.asarray(Image.fromarray(screen)), picture)
    # The library's own files, read by Pillow, hold the same pixels.
    for name in ["shot.bmp", "shot.PNG"]:
        screen.save(tmp_path / name)
        with Image.open(tmp_path / name) as saved:
            assert saved.format == ("BMP" if name.endswith("bmp") else "PNG")
            numpy.testing.assert_array_equal(numpy.asarray(saved.convert("RGB")), picture)


def test_comparison_with_masks_tolerance_and_allowance(shown, tmp_path):
    picture, phone = shown
    screen = phone.grab()
    changed = picture.copy()
    changed[4:10, 10:20] = 255 - changed[4:10, 10:20]  # 60 pixels, every channel off by 255
    changed[20, 30] = numpy.where(picture[20, 30] > 0, picture[20, 30] - 3, 3)  # one pixel, channels off by 3
    reference = tmp_path / "reference.png"
    Image.fromarray(changed).save(reference)

    result = screen.compare(reference)
    found = (result.matches, result.verdict, result.differing_pixels, result.bbox)
    assert found == (False, "differ", 61, (10, 4, 30, 20))
    assert result.summary == "differ: 61 pixels in (10,4)-(30,20), largest channel difference 255"
    assert screen.compare(reference, tolerance=3).bbox == (10, 4, 19, 9)
    masked = screen.compare(reference, ignore=[(10, 4, 19, 9)], tolerance=3)
    assert masked.matches and masked.bbox is None and masked.compared_pixels == 40 * 30 - 60
    assert screen.compare(reference, regions=[(0, 0, 9, 29), (21, 0, 39, 19)]).matches
    assert screen.compare(reference, max_diff_pixels=61).matches
    assert screen.compare(screen).matches

    result.save_diff(tmp_path / "diff.png")
    with Image.open(tmp_path / "diff.png") as diff:
        assert diff.size == (40, 30)
        assert diff.getpixel((10, 4)) == (255, 0, 0)
        assert diff.getpixel((0, 0)) != (255, 0, 0)
    masked.save_diff(tmp_path / "masked.bmp")
    with Image.open(tmp_path / "masked.bmp") as diff:
        assert diff.format == "BMP" and diff.getpixel((10, 4)) != (255, 0, 0)

