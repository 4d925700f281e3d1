#!/usr/bin/env python3
"""Opens pictures written by panelgrab-cli with an independent reader (Pillow).

Usage: independent_reader_check.py PANELGRAB_CLI WORK_DIR

Grabs the simulated phone's first display as BMP and PNG and its second display as BMP, and checks
that Pillow reads each with the right size, that the BMP has the size its rows dictate, and that the
BMP and the PNG of the same display carry the same pixels.
"""
import os
import subprocess
import sys

from PIL import Image


def grab(cli, port, path, display=0):
    subprocess.run([cli, "--port", port, "grab", "--display", str(display), "-o", path], check=True,
                   stdout=subprocess.DEVNULL)
    return Image.open(path)


def main():
    cli, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    bmp_path = os.path.join(work, "first.bmp")
    png_path = os.path.join(work, "first.png")
    bmp = grab(cli, "sim", bmp_path)
    png = grab(cli, "sim", png_path)
    assert bmp.format == "BMP" and bmp.size == (176, 220), (bmp.format, bmp.size)
    assert png.format == "PNG" and png.size == (176, 220), (png.format, png.size)
    assert os.path.getsize(bmp_path) == 116214, os.path.getsize(bmp_path)
    assert list(bmp.convert("RGB").getdata()) == list(png.convert("RGB").getdata())
    # The test card is not one flat colour: a decoder that lost the picture would give one.
    assert len(set(bmp.convert("RGB").getdata())) > 16

    second = grab(cli, "sim:--dialect=two-displays", os.path.join(work, "second.bmp"), display=1)
    assert second.size == (96, 64), second.size
    print("pictures open in Pillow with the right sizes and pixels")


if __name__ == "__main__":
    main()
