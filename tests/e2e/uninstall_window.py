#!/usr/bin/env python3
"""The uninstaller's window, driven through the X server: a silently installed sample
product is removed by clicking through confirm, reasons (one ticked, a contact and a
suggestion typed), progress and done. Screenshots of the pages go to the artefact folder.

Before that, the window's "keep" button leaves everything in place (exit code 1602); after it,
uninstallers without a skin and with a layout that does not build fall back to the
confirm and done message boxes, answered through the X server.

uninstall_window.py ARCH INSTALLER ARTEFACT_DIR NOSKIN_EXE BROKENSKIN_EXE
The window notes each page it shows, with its rectangle, in the file named by
ZPK_UNINSTALL_PAGELOG.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

from e2eutil import WINE, check, finish, low_byte, open_receivers, reg_values, reg_view, run, unix_path

ARCH, INSTALLER, ART = sys.argv[1], sys.argv[2], sys.argv[3]
VARIANTS = {"noskin": sys.argv[4], "brokenskin": sys.argv[5]}
VIEW = reg_view(ARCH)
os.makedirs(ART, exist_ok=True)
work = tempfile.mkdtemp(prefix="uninstwnd.")
page_log = os.path.join(work, "pages.log")


def pages():
    try:
        with open(page_log) as f:
            return [line.split() for line in f.read().splitlines() if line.startswith("page ")]
    except FileNotFoundError:
        return []


def wait_page(name, seconds=90):
    end = time.time() + seconds
    while time.time() < end:
        for p in pages():
            if p[1] == name and len(p) == 6:
                time.sleep(0.6)  # drawn
                return tuple(int(v) for v in p[2:])
        if uninstaller.poll() is not None:
            break
        time.sleep(0.2)
    check(False, f"page {name} shown (log {pages()})")
    return None


def shot(rect, name):
    left, top, right, bottom = rect
    out = os.path.join(ART, f"uninstall-{name}.png")
    r = subprocess.run(["import", "-window", "root", "-crop", f"{right - left}x{bottom - top}+{left}+{top}",
                        "+repage", out], capture_output=True)
    check(r.returncode == 0 and os.path.isfile(out), "screenshot " + out)
    return out


def pixel(png, x, y):
    fmt = " ".join("%%[fx:int(255*u.p{%d,%d}.%s)]" % (x, y, c) for c in "rgb")
    out = subprocess.run(["convert", png, "-format", fmt, "info:"], capture_output=True, text=True).stdout
    return tuple(int(v) for v in out.split())


def click(rect, x, y):
    subprocess.run(["xdotool", "mousemove", str(rect[0] + x), str(rect[1] + y), "click", "1"], check=False)
    time.sleep(0.5)


def window_id(title, seconds=60):
    for _ in range(int(seconds * 4)):
        out = subprocess.run(["xdotool", "search", "--name", "^" + title + "$"], capture_output=True,
                             text=True).stdout.split()
        if out:
            return out[0]
        time.sleep(0.25)
    return None


def window_id_now(title):
    out = subprocess.run(["xdotool", "search", "--name", "^" + title + "$"], capture_output=True, text=True).stdout
    return out.split()[0] if out.split() else None


KEY_NAMES = {" ": "space", ".": "period", "-": "minus"}


def type_text(title, text):
    """Key by key to the window (Xvfb has no window manager to give it the focus). Wine may
    show more than one X window of that name; only the one with the focus takes the keys."""
    keys = [KEY_NAMES.get(ch, ch) for ch in text]
    out = subprocess.run(["xdotool", "search", "--name", "^" + title + "$"], capture_output=True, text=True).stdout
    for wid in out.split():
        subprocess.run(["xdotool", "key", "--window", wid, "--delay", "60", *keys], check=False,
                       stderr=subprocess.DEVNULL)
    time.sleep(0.5)


receivers = open_receivers()
uninstaller = None
try:
    rc = run(INSTALLER, "/s")
    install_dir = reg_values(r"HKLM\SOFTWARE\RuvanZip", VIEW).get("AppPath", "")
    if not check(rc == 0 and install_dir, f"silent install ({rc}, {install_dir!r})"):
        sys.exit(finish("uninstall window"))
    root = unix_path(install_dir)
    receivers.wait(1.0)
    receivers.clear()

    env = dict(os.environ, ZPK_UNINSTALL_PAGELOG="Z:" + page_log.replace("/", "\\"))
    # Keep: the window closes, nothing is removed.
    uninstaller = subprocess.Popen([WINE, install_dir + r"\Uninstall.exe"], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    rect = wait_page("confirm")
    if rect:
        click(rect, 300, 300)
        click(rect, 215, 401)           # BtnKeep
    try:
        rc = uninstaller.wait(timeout=60)
    except subprocess.TimeoutExpired:
        uninstaller.kill()
        rc = None
    check(rc == low_byte(1602), f"kept: uninstaller exits with 1602, cancelled ({rc})")
    check(os.path.isfile(os.path.join(root, "RuvanZip.exe")) and reg_values(r"HKLM\SOFTWARE\RuvanZip", VIEW) != {},
          "kept: product still installed")
    os.remove(page_log)

    uninstaller = subprocess.Popen([WINE, install_dir + r"\Uninstall.exe"], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    rect = wait_page("confirm")
    if rect:
        check((rect[2] - rect[0], rect[3] - rect[1]) == (600, 460), f"window is 600x460 at 100 % ({rect})")
        png = shot(rect, "confirm")
        r, g, b = pixel(png, 300, 20)
        check(b > r + 40 and b > 150, f"header band drawn ({r},{g},{b})")
        r, g, b = pixel(png, 330, 401)
        check(b > r + 40, f"continue button drawn ({r},{g},{b})")
        title = "RuvanZip解压缩 卸载"
        wid = window_id(title)
        check(wid is not None, "window found by its title")
        click(rect, 300, 300)           # activates the window
        click(rect, 385, 401)           # BtnNext
    rect = wait_page("reason") if rect else None
    if rect and wid:
        click(rect, 57, 240)            # OptReason3
        click(rect, 340, 283)           # EditContact
        type_text(title, "qq 20261209")    # unshifted keys: XSendEvent carries no Shift state
        click(rect, 340, 325)           # EditSuggest
        type_text(title, "faster please")
        time.sleep(1.5)                 # Wine drains the queued keys
        shot(rect, "reason")
        click(rect, 385, 401)           # BtnUninstall
        rect = wait_page("progress", 30)
        if rect:
            shot(rect, "progress")
        rect = wait_page("done", 180)
    if rect:
        png = shot(rect, "done")
        r, g, b = pixel(png, 300, 198)
        check(g > r + 60 and g > b, f"done mark drawn ({r},{g},{b})")
        click(rect, 300, 401)           # BtnFinish
    try:
        rc = uninstaller.wait(timeout=120)
    except subprocess.TimeoutExpired:
        uninstaller.kill()
        rc = None
    check(rc == 0, f"uninstaller exits with 0 ({rc})")
    check([p[1] for p in pages()] == ["confirm", "reason", "progress", "done"], f"page order {[p[1] for p in pages()]}")
    check(not os.path.exists(os.path.join(root, "RuvanZip.exe")), "program files removed")
    check(not os.path.exists(os.path.join(root, "Uninstall.exe")), "uninstaller removed")
    check(reg_values(r"HKLM\SOFTWARE\RuvanZip", VIEW) == {}, "product key removed")
    receivers.wait(2.0)
    reasons = [b for p, b in receivers.posts if p == "/api/v1/feedback/add"]
    check(len(reasons) == 1, f"one reason post ({[p for p, _ in receivers.posts]})")
    if reasons:
        try:
            doc = json.loads(reasons[0])
        except ValueError:
            doc = {}
        check(doc.get("content_ids") == "3" and doc.get("contact") == "qq20261209" and
              doc.get("uninstsuggest") == "fasterplease", f"reason document {reasons[0]!r}")
    kinds = [d.get("kind") for d in receivers.reports("uninstall")]
    check(kinds.count(2) == 2, f"two uninstall reports of kind 2 ({kinds})")

    # Without a usable skin: the message boxes, answered with Return (Yes, then OK).
    for name, exe in VARIANTS.items():
        rc = run(INSTALLER, "/s")
        install_dir = reg_values(r"HKLM\SOFTWARE\RuvanZip", VIEW).get("AppPath", "")
        if not check(rc == 0 and install_dir, f"{name}: silent install"):
            continue
        root = unix_path(install_dir)
        shutil.copy(exe, os.path.join(root, "UninstallVariant.exe"))
        if os.path.exists(page_log):
            os.remove(page_log)
        uninstaller = subprocess.Popen([WINE, install_dir + r"\UninstallVariant.exe"], env=env,
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        caption = "RuvanZip解压缩 - 卸载"
        boxes = 0
        for _ in range(2):
            wid = window_id(caption)
            if not wid:
                break
            boxes += 1
            time.sleep(0.5)
            subprocess.run(["xdotool", "key", "--window", wid, "Return"], check=False)
            for _ in range(120):                # the box goes away before the next one comes
                if window_id_now(caption) != wid:
                    break
                time.sleep(0.5)
        try:
            rc = uninstaller.wait(timeout=120)
        except subprocess.TimeoutExpired:
            uninstaller.kill()
            rc = None
        check(boxes == 2 and rc == 0, f"{name}: confirm and done boxes, exit 0 ({boxes}, {rc})")
        check(pages() == [], f"{name}: no window page shown")
        check(not os.path.exists(os.path.join(root, "RuvanZip.exe")), f"{name}: program files removed")
finally:
    if uninstaller and uninstaller.poll() is None:
        uninstaller.kill()
    receivers.close()

sys.exit(finish("uninstall window"))
