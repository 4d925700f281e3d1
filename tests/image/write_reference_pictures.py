"""Writes pictures into FOLDER with Pillow, a writer that is not ours, for the picture reader tests.

The 13x7 pixels (odd, so rows need padding) follow the formulas below, which
picture_file_reader_test.cpp knows too; alpha is left out of its checks.
"""
import os
import sys

from PIL import Image

W, H = 13, 7


def colour(x, y):
    return ((x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, (x * 97 + y * 3 + 128) % 256)


def grey(x, y):
    return (x * 19 + y * 31) % 256


def alpha(x, y):
    return (x * 20 + y * 7) % 256


def picture(mode, pixel):
    image = Image.new(mode, (W, H))
    image.putdata([pixel(x, y) for y in range(H) for x in range(W)])
    return image


def main(folder):
    picture("RGB", colour).save(os.path.join(folder, "png-named.bmp"), format="PNG")
    picture("RGBA", lambda x, y: colour(x, y) + (alpha(x, y),)).save(os.path.join(folder, "rgba32.bmp"))
    picture("L", grey).save(os.path.join(folder, "grey8.bmp"))  # an 8-bit palette of greys


if __name__ == "__main__":
    main(sys.argv[1])
