#!/usr/bin/env python3
"""Draws the program's icons and writes the two .ico files beside this script.

    Vesk2ControlPanel.ico       icon group 101, the window's large icon:
                                32x32 and 16x16 at 8 bits per pixel (palette and mask),
                                256x256 at 24 bits per pixel stored as PNG
    Vesk2ControlPanelSmall.ico  icon group 102, the window's small icon: 16x16 at 8 bits

The art follows the logo: the "V" of the wordmark in white and its red "2" on the
logo's slate, in a rounded square. ImageMagick's convert draws and scales it; this
script writes the icon files itself so that every image has exactly the bit depth
the resource asks for (ImageMagick would pick its own).

Needs ImageMagick (Debian: imagemagick) and the DejaVu fonts. The .ico files are
committed: the build never runs this; run it after changing the art.
"""

import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname (os.path.abspath (__file__))
CONVERT = os.environ.get ("CONVERT", "convert")
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

SLATE = "#1d2733"
RED = "#d42a2a"
WHITE = "#ffffff"

# Pixels whose coverage is below this are left out of the 8-bit images' masks.
ALPHA_THRESHOLD = 128


def draw_master (path, size):
    """The art at its full size, with an alpha channel."""
    s = size / 256.0
    radius = 44 * s
    draw_frame = "roundrectangle 0,0 %f,%f %f,%f" % (size - 1, size - 1, radius, radius)
    subprocess.run ([CONVERT, "-size", "%dx%d" % (size, size), "xc:none",
                     "-fill", SLATE, "-draw", draw_frame,
                     "-font", FONT, "-pointsize", str (150 * s),
                     "-fill", WHITE, "-draw", "text %f,%f 'V'" % (16 * s, 186 * s),
                     "-fill", RED, "-draw", "text %f,%f '2'" % (134 * s, 186 * s),
                     "PNG32:" + path], check=True)


def scaled_rgba (master, size):
    """RGBA bytes of the art scaled to size x size, top row first."""
    result = subprocess.run ([CONVERT, master, "-filter", "Lanczos", "-resize", "%dx%d" % (size, size),
                              "-depth", "8", "RGBA:-"], check=True, stdout=subprocess.PIPE)
    data = result.stdout
    if len (data) != size * size * 4:
        sys.exit ("make-icons.py: convert gave %d bytes for %dx%d" % (len (data), size, size))
    return data


def flatten (rgba, background):
    """Composites RGBA over an opaque background colour; returns RGB bytes and the alpha values."""
    rgb = bytearray()
    alpha = []
    for i in range (0, len (rgba), 4):
        r, g, b, a = rgba[i:i + 4]
        alpha.append (a)
        for c, bg in zip ((r, g, b), background):
            rgb.append ((c * a + bg * (255 - a) + 127) // 255)
    return bytes (rgb), alpha


def quantised_rgb (rgb, size):
    """The image reduced to at most 256 colours by ImageMagick, as RGB bytes."""
    with tempfile.NamedTemporaryFile (suffix=".rgb") as raw:
        raw.write (rgb)
        raw.flush()
        result = subprocess.run ([CONVERT, "-size", "%dx%d" % (size, size), "-depth", "8", "RGB:" + raw.name,
                                  "+dither", "-colors", "256", "-depth", "8", "RGB:-"],
                                 check=True, stdout=subprocess.PIPE)
    return result.stdout


def hex_rgb (colour):
    return tuple (int (colour[i:i + 2], 16) for i in (1, 3, 5))


def dib_8bit (rgba, size):
    """A BITMAPINFOHEADER image of 8 bits per pixel with its palette and AND mask."""
    rgb, alpha = flatten (rgba, hex_rgb (SLATE))
    rgb = quantised_rgb (rgb, size)

    palette = []
    index_of = {}
    indices = []
    for i in range (size * size):
        if alpha[i] < ALPHA_THRESHOLD:
            colour = (0, 0, 0)   # masked out: shown as the background, must be black
        else:
            colour = tuple (rgb[i * 3:i * 3 + 3])
        if colour not in index_of:
            index_of[colour] = len (palette)
            palette.append (colour)
        indices.append (index_of[colour])

    if len (palette) > 256:
        sys.exit ("make-icons.py: %d colours at %dx%d" % (len (palette), size, size))
    palette += [(0, 0, 0)] * (256 - len (palette))

    # Rows are stored bottom-up, each padded to four bytes; the mask has one bit per pixel.
    xor_stride = (size + 3) & ~3
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed (range (size)):
        row = indices[y * size:(y + 1) * size]
        xor += bytes (row) + bytes (xor_stride - size)
        bits = bytearray (and_stride)
        for x in range (size):
            if alpha[y * size + x] < ALPHA_THRESHOLD:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits

    header = struct.pack ("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, len (xor) + len (mask), 0, 0, 256, 0)
    colours = b"".join (struct.pack ("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    return header + colours + bytes (xor) + bytes (mask)


def png_24bit (rgba, size):
    """A PNG of colour type 2 (RGB, 24 bits per pixel); the masked-out corners are made
    transparent with a tRNS key colour that the art does not use."""
    key = (255, 0, 255)
    rgb, alpha = flatten (rgba, hex_rgb (SLATE))
    rows = bytearray()
    for y in range (size):
        rows.append (0)   # filter type: none
        for x in range (size):
            i = y * size + x
            rows += bytes (key) if alpha[i] < ALPHA_THRESHOLD else rgb[i * 3:i * 3 + 3]

    def chunk (kind, data):
        return struct.pack (">I", len (data)) + kind + data + struct.pack (">I", zlib.crc32 (kind + data) & 0xffffffff)

    return (b"\x89PNG\r\n\x1a\n"
            + chunk (b"IHDR", struct.pack (">IIBBBBB", size, size, 8, 2, 0, 0, 0))
            + chunk (b"tRNS", struct.pack (">HHH", *key))
            + chunk (b"IDAT", zlib.compress (bytes (rows), 9))
            + chunk (b"IEND", b""))


def write_ico (path, images):
    """images: (size, bits per pixel, palette colour count, data) in directory order."""
    out = struct.pack ("<HHH", 0, 1, len (images))
    offset = 6 + 16 * len (images)
    for size, bits, colours, data in images:
        dimension = 0 if size >= 256 else size
        out += struct.pack ("<BBBBHHII", dimension, dimension, colours if colours < 256 else 0, 0, 1, bits,
                            len (data), offset)
        offset += len (data)
    out += b"".join (image[3] for image in images)
    with open (path, "wb") as f:
        f.write (out)


def main():
    with tempfile.TemporaryDirectory() as work:
        master = os.path.join (work, "master.png")
        draw_master (master, 1024)
        rgba = {size: scaled_rgba (master, size) for size in (256, 32, 16)}

        large = [(32, 8, 256, dib_8bit (rgba[32], 32)),
                 (16, 8, 256, dib_8bit (rgba[16], 16)),
                 (256, 24, 0, png_24bit (rgba[256], 256))]
        small = [(16, 8, 256, dib_8bit (rgba[16], 16))]

        write_ico (os.path.join (HERE, "Vesk2ControlPanel.ico"), large)
        write_ico (os.path.join (HERE, "Vesk2ControlPanelSmall.ico"), small)

    print ("wrote Vesk2ControlPanel.ico and Vesk2ControlPanelSmall.ico in " + HERE)


if __name__ == "__main__":
    main()
