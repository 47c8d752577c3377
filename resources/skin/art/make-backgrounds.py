#!/usr/bin/env python3
"""Draws the skin's page backgrounds (PNG, 600x460 at 100 % and the 125/150/175/200 %
variants) and the completion page's code picture with ImageMagick.
With --neutral it draws the product-neutral skin's backgrounds instead: the same bands and
slide marks with no product, no text and no code picture (its layout draws every text).
Usage: make-backgrounds.py [--neutral] OUTDIR"""
import os
import subprocess
import sys

FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
SCALES = (100, 125, 150, 175, 200)
W, H = 600, 460
HEADER = 268  # the coloured band; the controls sit on the white part below it

# One colour theme per picture: gradient top, gradient bottom, accent.
THEMES = {
    "BkViewInit": ("#1F6BFF", "#38B6F7"),
    "InstallBk0": ("#1F6BFF", "#38B6F7"),
    "InstallBk1": ("#3A4BE0", "#7A6BF5"),
    "InstallBk2": ("#0E8F8A", "#2CC7A5"),
    "BkViewComplete": ("#1F6BFF", "#38B6F7"),
}


def run(args):
    subprocess.run(["convert"] + args, check=True)


class Canvas:
    """Collects ImageMagick drawing arguments in 100 % coordinates, scaled on output."""

    def __init__(self, scale):
        self.k = scale / 100.0
        self.args = []

    def s(self, v):
        return round(v * self.k, 2)

    def fill(self, color, stroke="none", width=0):
        self.args += ["-fill", color, "-stroke", stroke, "-strokewidth", str(self.s(width))]

    def rrect(self, x0, y0, x1, y1, r):
        if r <= 0:
            self.args += ["-draw", "rectangle %s,%s %s,%s" % (self.s(x0), self.s(y0), self.s(x1), self.s(y1))]
            return
        self.args += ["-draw", "roundrectangle %s,%s %s,%s %s,%s" % (
            self.s(x0), self.s(y0), self.s(x1), self.s(y1), self.s(r), self.s(r))]

    def circle(self, cx, cy, r):
        self.args += ["-draw", "circle %s,%s %s,%s" % (self.s(cx), self.s(cy), self.s(cx + r), self.s(cy))]

    def path(self, d):
        out = []
        for tok in d.split():
            try:
                out.append(str(self.s(float(tok))))
            except ValueError:
                out.append(tok)
        self.args += ["-draw", "path '%s'" % " ".join(out)]

    def text(self, x, y, size, color, words, gravity="NorthWest", weight=None):
        self.args += ["-stroke", "none", "-fill", color, "-font", FONT, "-pointsize", str(self.s(size) * 0.75 * 96 / 72),
                      "-gravity", gravity, "-annotate", "+%s+%s" % (self.s(x), self.s(y)), words,
                      "-gravity", "NorthWest"]


def header(c, top, bottom):
    """The page's base: white body, gradient band with soft shapes."""
    w, h, hh = c.s(W), c.s(H), c.s(HEADER)
    base = ["-size", "%dx%d" % (round(w), round(h)), "xc:#FFFFFF",
            "(", "-size", "%dx%d" % (round(w), round(hh)), "gradient:%s-%s" % (top, bottom),
            "-rotate", "0", ")", "-geometry", "+0+0", "-composite"]
    c.fill("#FFFFFF1A")
    c.circle(540, 40, 120)
    c.circle(70, 250, 90)
    c.fill("#FFFFFF12")
    c.circle(470, 230, 60)
    c.circle(150, -20, 80)
    # A wave along the band's lower edge.
    c.fill("#FFFFFF")
    c.path("M 0 %d C 150 %d 300 %d 450 %d C 520 %d 570 %d 600 %d L 600 %d L 0 %d Z" % (
        HEADER - 18, HEADER + 6, HEADER - 34, HEADER - 14, HEADER - 4, HEADER - 20, HEADER - 26,
        HEADER + 2, HEADER + 2))
    c.fill("#FFFFFF55")
    c.path("M 0 %d C 180 %d 330 %d 600 %d L 600 %d L 0 %d Z" % (
        HEADER - 40, HEADER - 10, HEADER - 60, HEADER - 36, HEADER, HEADER))
    return base


def logo(c, cx, cy, size):
    """The product mark: a rounded square holding a zipper."""
    r = size / 2
    c.fill("#00000022")
    c.rrect(cx - r + 2, cy - r + 5, cx + r + 2, cy + r + 5, size * 0.24)
    c.fill("#FFFFFF")
    c.rrect(cx - r, cy - r, cx + r, cy + r, size * 0.24)
    c.fill("#1F6BFF")
    c.rrect(cx - size * 0.07, cy - r, cx + size * 0.07, cy + size * 0.12, 0)
    c.fill("#FFFFFF")
    for i in range(5):
        y = cy - r + size * 0.06 + i * size * 0.11
        x = cx - size * 0.07 if i % 2 == 0 else cx
        c.rrect(x, y, x + size * 0.07, y + size * 0.06, 0)
    c.fill("#FF9F1C")
    c.rrect(cx - size * 0.13, cy + size * 0.1, cx + size * 0.13, cy + size * 0.34, size * 0.05)
    c.fill("#FFFFFF")
    c.rrect(cx - size * 0.05, cy + size * 0.17, cx + size * 0.05, cy + size * 0.27, size * 0.02)


def feature_icon(c, kind, cx, cy):
    c.fill("#FFFFFF30")
    c.circle(cx, cy, 46)
    c.fill("#FFFFFF")
    if kind == 0:  # lightning: speed
        c.path("M %d %d L %d %d L %d %d L %d %d L %d %d L %d %d Z" % (
            cx + 6, cy - 30, cx - 16, cy + 4, cx - 2, cy + 4, cx - 8, cy + 30, cx + 16, cy - 6, cx + 2, cy - 6))
    elif kind == 1:  # stacked files: formats
        for i, shade in enumerate(("#FFFFFF88", "#FFFFFFBB", "#FFFFFF")):
            c.fill(shade)
            c.rrect(cx - 22 + i * 7, cy - 24 + i * 7, cx + 10 + i * 7, cy + 16 + i * 7, 4)
    else:  # shield: safety
        c.path("M %d %d L %d %d L %d %d C %d %d %d %d %d %d C %d %d %d %d %d %d Z" % (
            cx, cy - 30, cx + 24, cy - 20, cx + 24, cy, cx + 24, cy + 18, cx + 10, cy + 28, cx, cy + 32,
            cx - 10, cy + 28, cx - 24, cy + 18, cx - 24, cy))
        c.fill("none", "#1FA88F", 5)
        c.path("M %d %d L %d %d L %d %d" % (cx - 11, cy, cx - 3, cy + 9, cx + 12, cy - 9))


CAROUSEL = [
    ("极速解压", "多核并行引擎，大文件也能秒开"),
    ("全格式支持", "ZIP · 7Z · RAR · TAR 等 40 余种格式"),
    ("安全纯净", "无广告、无捆绑，守护你的每一个文件"),
]


def slide_marks(c, i):
    """The carousel's position: the current mark long."""
    for k in range(3):
        c.fill("#FFFFFF" if k == i else "#FFFFFF66")
        x = 278 + k * 16 + (0 if k <= i else 12)
        c.rrect(x, 240, x + (20 if k == i else 8), 246, 3)


def draw_neutral(c, name):
    if name.startswith("InstallBk"):
        slide_marks(c, int(name[-1]))
    elif name == "BkViewComplete":
        c.fill("#FFFFFF26")
        c.circle(300, 96, 50)


def draw(name, scale, outdir, neutral):
    c = Canvas(scale)
    top, bottom = THEMES[name]
    base = header(c, top, bottom)
    if neutral:
        draw_neutral(c, name)
    elif name == "BkViewInit":
        logo(c, 300, 112, 84)
        c.text(0, 168, 30, "#FFFFFF", "RuvanZip 压缩", gravity="North")
        c.text(0, 212, 14, "#FFFFFFD0", "小巧  ·  极速  ·  安全的压缩解压工具", gravity="North")
        c.text(50, 282, 12, "#8A94A6", "安装位置")
    elif name.startswith("InstallBk"):
        i = int(name[-1])
        feature_icon(c, i, 300, 104)
        c.text(0, 164, 26, "#FFFFFF", CAROUSEL[i][0], gravity="North")
        c.text(0, 206, 14, "#FFFFFFD0", CAROUSEL[i][1], gravity="North")
        slide_marks(c, i)
        c.text(0, 312, 13, "#8A94A6", "正在为你安装 RuvanZip，请稍候…", gravity="North")
    else:
        c.fill("#FFFFFF26")
        c.circle(300, 110, 62)
        c.text(0, 178, 26, "#FFFFFF", "安装完成", gravity="North")
        c.text(0, 218, 14, "#FFFFFFD0", "RuvanZip 已准备就绪，右键即可压缩与解压", gravity="North")
        # The code picture's frame and its caption on the white part.
        c.fill("#F2F5FA", "#E1E6EF", 1)
        c.rrect(44, 300, 156, 412, 10)
        c.text(168, 332, 14, "#2B3444", "扫码关注 RuvanZip")
        c.text(168, 358, 12, "#8A94A6", "获取新版本与使用技巧")
    suffix = "" if scale == 100 else "@%d" % scale
    out = os.path.join(outdir, "Image", "%s%s.png" % (name, suffix))
    run(base + c.args + ["-alpha", "off", "-depth", "8", "-define", "png:color-type=2", out])


def quickmark(outdir):
    """A scannable code, on white with a quiet zone."""
    png = os.path.join(outdir, "qr.png")
    subprocess.run(["qrencode", "-o", png, "-s", "6", "-m", "2", "-l", "M",
                    "https://www.ruvanzip.example/app"], check=True)
    run([png, "-resize", "200x200", "-colorspace", "sRGB", "-type", "TrueColor", "-quality", "92", os.path.join(outdir, "Image", "QuickMark.jpg")])
    os.remove(png)


def main():
    neutral = sys.argv[1:2] == ["--neutral"]
    outdir = sys.argv[-1]
    os.makedirs(os.path.join(outdir, "Image"), exist_ok=True)
    for name in THEMES:
        for scale in SCALES:
            draw(name, scale, outdir, neutral)
    if not neutral:
        quickmark(outdir)


if __name__ == "__main__":
    main()
