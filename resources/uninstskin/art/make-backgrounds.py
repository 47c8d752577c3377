#!/usr/bin/env python3
"""Draws the uninstaller's page background (PNG, 600x460 at 100 % and the 125/150/175/200 %
variants) with the installer skin's drawing helpers, so both windows share one look: the
same gradient band, a lower band that leaves room for the forms. The uninstaller serves
every product, so the band carries no mark and no name: the layout draws the title.
Usage: make-backgrounds.py OUTDIR"""
import importlib.util
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
loader = importlib.util.spec_from_file_location(
    "installer_art", os.path.join(HERE, "..", "..", "skin", "art", "make-backgrounds.py"))
art = importlib.util.module_from_spec(loader)
loader.loader.exec_module(art)

BAND = 150  # the coloured band; the pages' controls sit below it
TOP, BOTTOM = "#1F6BFF", "#38B6F7"


def draw(scale, outdir):
    art.HEADER = BAND  # the installer's header() reads its band height from the module
    c = art.Canvas(scale)
    base = art.header(c, TOP, BOTTOM)
    # A thin rule above the page's buttons.
    c.fill("#EEF1F6")
    c.rrect(40, 356, 560, 357, 0)
    suffix = "" if scale == 100 else "@%d" % scale
    out = os.path.join(outdir, "Image", "BkUninst%s.png" % suffix)
    art.run(base + c.args + ["-alpha", "off", "-depth", "8", "-define", "png:color-type=2", out])


def main():
    outdir = sys.argv[1]
    os.makedirs(os.path.join(outdir, "Image"), exist_ok=True)
    for scale in art.SCALES:
        draw(scale, outdir)


if __name__ == "__main__":
    main()
