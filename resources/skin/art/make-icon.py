#!/usr/bin/env python3
"""Draws the program icon (.ico: 16, 24, 32, 48 and 256 pixels) from the skin's product
icon, an SVG of plain and rounded rectangles, with ImageMagick (the build machine's
ImageMagick has no SVG reader, so the rectangles are drawn as primitives).
Usage: make-icon.py Icon.svg OUT.ico"""
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SIZES = (16, 24, 32, 48, 256)
MASTER = 256
SVG = "{http://www.w3.org/2000/svg}"


def fail(message):
    sys.exit(f"make-icon.py: {message}")


def number(element, name, default=None):
    value = element.get(name, default)
    if value is None:
        fail(f"<rect> without {name}")
    try:
        return float(value)
    except ValueError:
        fail(f"<rect> {name}={value!r} is not a number")


def draw_arguments(svg_path):
    root = ET.parse(svg_path).getroot()
    box = root.get("viewBox", "").split()
    if len(box) != 4:
        fail(f"{svg_path}: the icon needs a viewBox")
    width, height = float(box[2]), float(box[3])
    if width != height:
        fail(f"{svg_path}: the icon must be square, not {width} x {height}")
    scale = MASTER / width
    args = []
    for element in root:
        if element.tag != SVG + "rect":
            fail(f"{svg_path}: <{element.tag.replace(SVG, '')}> cannot be drawn, only <rect>")
        x, y = number(element, "x", "0") * scale, number(element, "y", "0") * scale
        w, h = number(element, "width") * scale, number(element, "height") * scale
        r = number(element, "rx", "0") * scale
        opacity = number(element, "fill-opacity", "1")
        # The rectangle primitive's corners are pixel centres: the last covered pixel is
        # one less than the SVG's right edge.
        shape = f"{x:g},{y:g} {x + w - 1:g},{y + h - 1:g}"
        primitive = f"roundrectangle {shape} {r:g},{r:g}" if r > 0 else f"rectangle {shape}"
        args += ["-fill", element.get("fill", "#000000"), "-draw", f"fill-opacity {opacity:g} {primitive}"]
    return args


def main():
    if len(sys.argv) != 3:
        fail("usage: make-icon.py Icon.svg OUT.ico")
    svg_path, out = sys.argv[1], sys.argv[2]
    draw = draw_arguments(svg_path)
    with tempfile.TemporaryDirectory() as work:
        master = os.path.join(work, "master.png")
        subprocess.run(["convert", "-size", f"{MASTER}x{MASTER}", "xc:none", *draw, master], check=True)
        sizes = []
        for size in SIZES:
            sizes += ["(", "-clone", "0", "-resize", f"{size}x{size}", ")"]
        # -strip and no dates: the same drawing gives the same bytes on every build.
        subprocess.run(["convert", master, *sizes, "-delete", "0", "-depth", "8", "-strip",
                        "-define", "png:exclude-chunks=date,time", out], check=True)


if __name__ == "__main__":
    main()
