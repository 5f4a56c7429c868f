#!/usr/bin/env python3
"""Draws the program's images (the main window's shortcuts and the program icon) with
ImageMagick, at the designed size and at twice it for high-DPI screens:
    scripts/draw_images.py [OUTDIR]     (default resources/images)
writes NAME.png and NAME@2x.png. Every shape is given in the 1x coordinates and drawn
afresh at each scale, so the 2x images are as sharp as the 1x ones."""
import os
import subprocess
import sys

SLATE = "#586E75"
CREAM = "#FDF6E3"
BLUE = "#268BD2"
GREY = "#93A1A1"
RED = "#DC322F"
OLIVE = "#859900"
WHITE = "#FFFFFF"


def rect(x0, y0, x1, y1, fill, stroke=None, width=0, radius=0):
    return ("rect", x0, y0, x1, y1, fill, stroke, width, radius)


def circle(cx, cy, r, fill, stroke=None, width=0):
    return ("circle", cx, cy, r, fill, stroke, width)


def line(x0, y0, x1, y1, stroke, width):
    return ("line", x0, y0, x1, y1, stroke, width)


def text(cx, cy, s, size, fill, font):
    return ("text", cx, cy, s, size, fill, font)


IMAGES = {
    # A business card: a person on the left, three lines of text on the right.
    "card": ((48, 36), [
        rect(1.5, 3.5, 46.5, 33.5, CREAM, SLATE, 1.5, 3.5),
        circle(13.5, 16.2, 5.6, BLUE),
        rect(7, 22.5, 20, 29.5, BLUE),
        rect(24, 11, 42, 14, GREY),
        rect(24, 17, 42, 20, GREY),
        rect(24, 23, 37, 26, GREY),
    ]),
    # A clock face at ten past three-ish: red hour hand up, blue minute hand down right.
    "meeting": ((40, 40), [
        circle(20, 20, 17.5, WHITE, SLATE, 1.6),
        line(20.5, 20, 20.5, 9, RED, 2.6),
        line(20, 20, 29, 24.5, BLUE, 2.6),
        circle(20, 20, 2.1, SLATE),
    ]),
    # A diary: an olive binding around a cream page with four lines.
    "diary": ((40, 36), [
        rect(3.5, 1.5, 36.5, 34.5, OLIVE, SLATE, 1.2),
        rect(9, 6, 33, 30, CREAM),
        rect(12, 10, 30, 12, GREY),
        rect(12, 15, 30, 17, GREY),
        rect(12, 20, 30, 22, GREY),
        rect(12, 25, 24, 27, GREY),
    ]),
    # The program icon: white CT on a blue rounded square.
    "ctwork": ((64, 64), [
        rect(2, 2, 62, 62, BLUE, radius=8),
        text(32, 32.5, "CT", 30, WHITE, "DejaVu-Sans-Bold"),
    ]),
}


def draw_args(shape, k):
    kind = shape[0]
    if kind == "rect":
        _, x0, y0, x1, y1, fill, stroke, width, radius = shape
        args = ["-fill", fill, "-stroke", stroke or "none", "-strokewidth", str(width * k)]
        if radius:
            prim = "roundrectangle %g,%g %g,%g %g,%g" % (x0 * k, y0 * k, x1 * k - 1, y1 * k - 1,
                                                         radius * k, radius * k)
        else:
            prim = "rectangle %g,%g %g,%g" % (x0 * k, y0 * k, x1 * k - 1, y1 * k - 1)
        return args + ["-draw", prim]
    if kind == "circle":
        _, cx, cy, r, fill, stroke, width = shape
        return ["-fill", fill, "-stroke", stroke or "none", "-strokewidth", str(width * k),
                "-draw", "circle %g,%g %g,%g" % (cx * k, cy * k, cx * k + r * k, cy * k)]
    if kind == "line":
        _, x0, y0, x1, y1, stroke, width = shape
        return ["-fill", "none", "-stroke", stroke, "-strokewidth", str(width * k),
                "-draw", "line %g,%g %g,%g" % (x0 * k, y0 * k, x1 * k, y1 * k)]
    _, cx, cy, s, size, fill, font = shape
    return ["-fill", fill, "-stroke", "none", "-font", font, "-pointsize", str(size * k),
            "-gravity", "center", "-draw", "text %g,%g '%s'" % ((cx - 32) * k, (cy - 32) * k, s)]


def draw(name, size, shapes, scale, outdir):
    w, h = size
    out = os.path.join(outdir, name + ("" if scale == 1 else "@%dx" % scale) + ".png")
    cmd = ["convert", "-size", "%dx%d" % (w * scale, h * scale), "xc:none", "-density", "72"]
    for shape in shapes:
        cmd += draw_args(shape, scale)
    cmd += ["-depth", "8", "-define", "png:exclude-chunks=date,time", "-strip", out]
    subprocess.run(cmd, check=True)
    return out


def main():
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources", "images")
    for name, (size, shapes) in IMAGES.items():
        for scale in (1, 2):
            print(draw(name, size, shapes, scale, outdir))


if __name__ == "__main__":
    main()
