#!/usr/bin/env python3
"""The icons tools/mkicons draws, read back by a decoder of their own (Python's
zlib, no image library): every PNG and every .ico entry is whole (signatures,
chunk CRCs, sizes), opaque, and shows the program's picture - white above, the
green level below, at 20/32 of the height, at every size; bad command lines
are refused without writing anything.

    check_icons.py MKICONS ICON_DIR "PNG_SIZES" "ICO_SIZES"
    check_icons.py --png FILE SIZE...         (only check given PNGs, e.g. installed ones)
"""

import os
import struct
import subprocess
import sys
import tempfile
import zlib

WHITE = (255, 255, 255, 255)
GREEN = (135, 255, 29, 255)
LEVEL_ROWS = 20  # of 32: the window icon's level


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def decode_png(data, what):
    """(width, height, rows of RGBA tuples)."""
    expect(data[:8] == b"\x89PNG\r\n\x1a\n", "%s: no PNG signature" % what)
    at, idat, header, ended = 8, b"", None, False
    while at < len(data):
        expect(at + 12 <= len(data), "%s: a chunk is cut short" % what)
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + length]
        expect(len(body) == length, "%s: chunk %r is cut short" % (what, kind))
        (crc,) = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        expect(zlib.crc32(kind + body) == crc, "%s: chunk %r has a wrong CRC" % (what, kind))
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            ended = True
        at += 12 + length
    expect(header is not None and ended and idat, "%s: IHDR, IDAT or IEND missing" % what)
    width, height, depth, colour, method, filtering, interlace = header
    expect((depth, colour, method, filtering, interlace) == (8, 6, 0, 0, 0),
           "%s: not 8-bit RGBA without interlace: %r" % (what, header))
    raw = zlib.decompress(idat)  # also checks the Adler-32
    stride = 1 + 4 * width
    expect(len(raw) == stride * height, "%s: %d bytes of pixels for %dx%d" % (what, len(raw), width, height))
    rows = []
    for y in range(height):
        line = raw[y * stride:(y + 1) * stride]
        expect(line[0] == 0, "%s: row %d uses filter %d" % (what, y, line[0]))
        rows.append([tuple(line[1 + 4 * x:5 + 4 * x]) for x in range(width)])
    return width, height, rows


def decode_bitmap(data, what):
    """A classic icon image: BITMAPINFOHEADER, 32-bit BGRA bottom-up, AND mask."""
    size, width, height2, planes, bits, compression = struct.unpack("<IiiHHI", data[:20])
    expect((size, planes, bits, compression) == (40, 1, 32, 0), "%s: not a 32-bit bitmap" % what)
    expect(height2 == 2 * width, "%s: height %d is not twice the width %d" % (what, height2, width))
    n = width
    mask_row = (n + 31) // 32 * 4
    expect(len(data) == 40 + 4 * n * n + mask_row * n, "%s: %d bytes for %dx%d" % (what, len(data), n, n))
    rows = []
    for y in range(n):
        at = 40 + 4 * n * (n - 1 - y)  # bottom-up
        rows.append([(data[at + 4 * x + 2], data[at + 4 * x + 1], data[at + 4 * x], data[at + 4 * x + 3])
                     for x in range(n)])
    mask = data[40 + 4 * n * n:]
    expect(mask == bytes(len(mask)), "%s: the AND mask hides pixels" % what)
    return n, n, rows


def check_picture(width, height, rows, size, what):
    expect((width, height) == (size, size), "%s: %dx%d, not %dx%d" % (what, width, height, size, size))
    colours = set()
    for row in rows:
        expect(len(set(row)) == 1, "%s: a row of more than one colour" % what)
        colours.add(row[0])
    expect(colours <= {WHITE, GREEN}, "%s: colours other than white and green: %r" % (what, colours))
    column = [row[0] for row in rows]
    green = column.count(GREEN)
    expect(column == [WHITE] * (size - green) + [GREEN] * green, "%s: the green is not one band at the bottom" % what)
    # The level is the nearest whole row to 20/32 of the height.
    expect(abs(green - size * LEVEL_ROWS / 32) <= 0.5, "%s: %d green rows of %d" % (what, green, size))


def check_png_file(path, size):
    with open(path, "rb") as f:
        data = f.read()
    check_picture(*decode_png(data, path), size, path)


def check_ico(path, sizes):
    with open(path, "rb") as f:
        data = f.read()
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    expect((reserved, kind) == (0, 1), "%s: not an icon file" % path)
    expect(count == len(sizes), "%s: %d images, not %d" % (path, count, len(sizes)))
    for i, size in enumerate(sizes):
        w, h, colours, reserved, planes, bits, length, offset = struct.unpack(
            "<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        what = "%s image %d" % (path, i)
        expect((w or 256, h or 256) == (size, size), "%s: entry says %dx%d, not %d" % (what, w, h, size))
        expect((colours, reserved, planes, bits) == (0, 0, 1, 32), "%s: not a 32-bit entry" % what)
        expect(offset + length <= len(data), "%s: past the end of the file" % what)
        image = data[offset:offset + length]
        if image.startswith(b"\x89PNG"):
            check_picture(*decode_png(image, what), size, what)
        else:
            check_picture(*decode_bitmap(image, what), size, what)


def check_refusals(mkicons):
    """A bad command line or an unwritable file is an error, never a silent success."""
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "out")
        for args in (["png", "0", out], ["png", "abc", out], ["png", "-3", out], ["png", "99999", out],
                     ["ico", out, "16", "257"], ["ico", out], ["gif", "16", out], []):
            run = subprocess.run([mkicons] + args, capture_output=True)
            expect(run.returncode != 0, "mkicons %s succeeded" % " ".join(args))
            expect(not os.path.exists(out), "mkicons %s wrote a file" % " ".join(args))
        run = subprocess.run([mkicons, "png", "16", os.path.join(scratch, "no-such-folder", "x.png")],
                             capture_output=True)
        expect(run.returncode != 0 and b"cannot write" in run.stderr,
               "writing into a missing folder was not reported: %r" % run.stderr)


def main(argv):
    if len(argv) >= 3 and argv[0] == "--png":
        for size in argv[2:]:
            check_png_file(argv[1], int(size))
        return
    mkicons, folder, png_sizes, ico_sizes = argv
    for size in png_sizes.split():
        check_png_file(os.path.join(folder, "vxstat-%s.png" % size), int(size))
    check_ico(os.path.join(folder, "vxstat.ico"), [int(s) for s in ico_sizes.split()])
    # Sizes the build does not use, odd ones among them, drawn afresh.
    with tempfile.TemporaryDirectory() as scratch:
        for size in (1, 2, 7, 31, 33, 100, 1024):
            path = os.path.join(scratch, "p%d.png" % size)
            subprocess.run([mkicons, "png", str(size), path], check=True)
            check_png_file(path, size)
        ico = os.path.join(scratch, "odd.ico")
        subprocess.run([mkicons, "ico", ico, "1", "17", "255", "256"], check=True)
        check_ico(ico, [1, 17, 255, 256])
    check_refusals(mkicons)


if __name__ == "__main__":
    try:
        main(sys.argv[1:])
    except Failure as failure:
        print("FAILED: %s" % failure)
        sys.exit(1)
    print("icons: all well")
