#!/usr/bin/env python3
"""A product of one's own, from an empty folder to nothing left, as a release engineer
packs it with zpkpack's defaults.

zpkpack_product_test.py DIST ARCH CC BINDIR WINBIN ARTEFACTS
  A program CC builds and a configuration from zpkpack init with its five values, packed
  with a test icon; the default skin names nothing of the sample and shows the product's
  name and icon (screenshot in ARTEFACTS); the window closed before installing gives 1602;
  a silent run while another runs gives 1618; the silent install, its uninstall entry and
  log, and the removal by its QuietUninstallString leave nothing behind; no sample name in
  the default scripts, skin or installed files. BINDIR holds listener.exe, WINBIN
  wintool.exe.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import zpkpackutil

DIST = sys.argv[1]
zpkpackutil.use(DIST)
from zpkpackutil import *  # noqa: F401,F403,E402  the tool, the check log and a configuration

# Names of the sample product that a product of one's own must never meet.
SAMPLE_NAMES = ["ruvan", "rzsrv", "rzsvc", "ishellext", "nuusercenter", "ghelper", "ffmpeg", "http.cer"]


def sample_names_in(path):
    """The sample names a file holds, as ASCII/UTF-8 or UTF-16 text, any case."""
    data = open(path, "rb").read().lower()
    return [n for n in SAMPLE_NAMES if n.encode() in data or n.encode("utf-16-le") in data]


ICON_COLOUR = "#FF00FF"


def default_skin_is_neutral():
    """zpkpack's default skin: no sample name in its layout, every picture it names there."""
    skin = os.path.join(SHARE, "skin")
    layout = os.path.join(skin, "Layout", "Layout.xml")
    check(not sample_names_in(layout), f"the default skin's layout names nothing of the sample ({layout})")
    text = open(layout, encoding="utf-8").read()
    named = set(re.findall(r'(?:image|bkimage)="(Image/[^"\']+)"', text) + re.findall(r"file='([^']+)'", text))
    missing = sorted(n for n in named if not os.path.isfile(os.path.join(skin, n)))
    check(named and not missing, f"the default skin holds every picture its layout names (missing {missing})")


def measure(shot, box, *fx):
    """ImageMagick's figures for a part (W, H, X, Y) of a screenshot."""
    w, h, x, y = box
    r = subprocess.run(["convert", shot, "-crop", f"{w}x{h}+{x}+{y}", "+repage", *fx], capture_output=True, text=True)
    return r.stdout.split()


def window_shows_the_product(shot):
    """The options page of the default skin at 100 %: the logo is the product's icon and the
    title is text drawn on the band (white on blue), as wide as the product's name and not
    as the placeholder it replaces ("$global_product_name$" is half as wide again)."""
    rgb = [float(v) for v in measure(shot, (40, 40, 280, 68), "-format", "%[fx:mean.r] %[fx:mean.g] %[fx:mean.b]", "info:")]
    check(len(rgb) == 3 and rgb[0] > 0.9 and rgb[1] < 0.1 and rgb[2] > 0.9, f"the logo is the product's icon ({rgb})")
    title = measure(shot, (560, 44, 20, 140), "-colorspace", "gray", "-threshold", "92%", "-format", "%[fx:mean] %@", "info:")
    width = int(title[1].split("x")[0]) if len(title) == 2 and float(title[0]) > 0 else 0
    check(120 <= width <= 260, f"the title is the product's name drawn as text ({width} pixels wide)")


def product_case(root, arch, cc, bindir, winbin, art):
    """A product of one's own, from an empty folder to nothing left (see the docstring)."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
    from e2eutil import WINE, low_byte, reg_values, reg_view, run, unix_path, wine
    view = reg_view(arch)
    values = {"global_product_name": "Tidewater Notes", "global_product_name_inner": "TidewaterNotes",
              "global_main_app_name": "Tidewater.exe", "global_company_name": "Tidewater Example Co.",
              "global_version": "2.1.0.7"}
    name, inner = values["global_product_name"], values["global_product_name_inner"]

    # The product folder holds only its own program.
    prod = os.path.join(root, "product")
    os.makedirs(prod)
    source = write(os.path.join(root, "tidewater.c"),
                   "#include <windows.h>\n"
                   "/* The product's program: nothing to show here, it ends at once. */\n"
                   "int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) { return 0; }\n")
    cc_run = subprocess.run([cc, "-mwindows", "-o", os.path.join(prod, "Tidewater.exe"), source],
                            capture_output=True, text=True)
    if not check(cc_run.returncode == 0, f"{cc} builds the product's program {cc_run.stderr.strip()!r}"):
        return
    config = config_for(root, values)
    setup = os.path.join(root, "TidewaterSetup.exe")
    default_skin_is_neutral()
    # The product's icon, one colour that nothing else in the window has.
    icon = os.path.join(root, "tidewater.ico")
    subprocess.run(["convert", "-size", "48x48", "xc:" + ICON_COLOUR, icon], check=True)
    rc, stdout, stderr = zpkpack("--product", prod, "--config", config, "--arch", arch, "-o", setup,
                                 "--icon", icon)
    print(stdout)
    if not check(rc == 0, f"pack for {arch}: exit status {rc} {stderr.strip()[-300:]!r}"):
        return
    check(f"runtime:   Uninstall.exe, func_helper.dll, rmstat.dll added (engine runtime, {arch})" in stdout,
          "the summary lists the runtime zpkpack added")
    # Every shipped script but global_var.lua, the sample's own configuration.
    for script in sorted(set(os.listdir(os.path.join(SHARE, "scripts"))) - {"global_var.lua"}):
        found = sample_names_in(os.path.join(SHARE, "scripts", script))
        check(not found, f"default {script} names nothing of the sample ({found})")

    def everything(top):
        """Every path under the prefix's drive C, except the temporary folders."""
        paths = set()
        for base, dirs, files in os.walk(top):
            rel = os.path.relpath(base, top)
            # Temporary folders hold the logs and the uninstaller's copy, which wait for the
            # next restart; this prefix's %TEMP% is users/<name>/Temp.
            low = rel.lower()
            if (low.endswith("appdata/local/temp") or low.startswith("windows/temp")
                    or (low.startswith("users/") and low.endswith("/temp"))):
                dirs[:] = []
                continue
            paths.update(os.path.join(rel, n) for n in dirs + files)
        return paths

    def registry_mentions():
        """Whether HKLM\\Software or HKCU\\Software mention the product anywhere."""
        found = []
        for key in [r"HKEY_LOCAL_MACHINE\Software", r"HKEY_CURRENT_USER\Software"]:
            out = os.path.join(root, "export.reg")
            wine("reg", "export", key, "Z:" + out, "/y")
            text = open(out, "rb").read().decode("utf-16", "replace") if os.path.exists(out) else ""
            found += [key] if inner.lower() in text.lower() or name.lower() in text.lower() else []
            if os.path.exists(out):
                os.remove(out)
        return found

    drive_c = unix_path("C:\\")
    temp = unix_path(wine("cmd", "/c", "echo", "%TEMP%").stdout.decode("utf-8", "replace").strip())
    before = everything(drive_c)
    check(registry_mentions() == [], "the registry knows nothing of the product before")
    program_files = r"C:\Program Files (x86)" if arch == "i686" else r"C:\Program Files"
    install_dir = program_files + "\\" + inner
    root_dir = unix_path(install_dir)

    # The window shows the product's own name; closing it installs nothing (1602).
    wintool = os.path.join(winbin, "wintool.exe")
    window = subprocess.Popen([WINE, setup], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        shown = False
        for _ in range(300):
            r = subprocess.run([WINE, wintool, "rect", "CDlgInstall"], capture_output=True, text=True)
            if r.returncode == 0:
                shown = True
                break
            if window.poll() is not None:
                break
            time.sleep(0.3)
        if check(shown, "the installer window opens"):
            time.sleep(1.5)  # first paint
            titles = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name + "安装"],
                                    capture_output=True, text=True).stdout.split()
            check(len(titles) == 1, f"the window is titled with the product's name ({name}安装)")
            left, top, right, bottom = [int(v) for v in r.stdout.split()]
            os.makedirs(art, exist_ok=True)
            shot = os.path.join(art, f"product-options-{arch}.png")
            subprocess.run(["import", "-window", "root", "-crop", f"{right - left}x{bottom - top}+{left}+{top}",
                            "+repage", shot], capture_output=True)
            if check(os.path.isfile(shot), "screenshot " + shot):
                window_shows_the_product(shot)
            subprocess.run([WINE, wintool, "sysclose", "CDlgInstall"], capture_output=True)
        rc = window.wait(timeout=60)
        check(rc == low_byte(1602), f"a window closed before installing: exit 1602 (cancelled) ({rc})")
    except subprocess.TimeoutExpired:
        check(False, "the window closes")
    finally:
        if window.poll() is None:
            window.kill()
    check(not os.path.exists(root_dir), "nothing installed by the cancelled window")

    # Silent install; a second silent start meanwhile finds the first holding the instance
    # mutex (the first waits inside its listener's message 3014 until released): 1618.
    hwnd_file, events, release = (os.path.join(root, n) for n in ["hwnd.txt", "events.txt", "release.txt"])
    listener = subprocess.Popen([WINE, os.path.join(bindir, "listener.exe"), "Z:" + hwnd_file, "Z:" + events,
                                 "Z:" + release], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
    for _ in range(300):
        if os.path.exists(hwnd_file) and open(hwnd_file).read().strip():
            break
        time.sleep(0.1)
    hwnd = open(hwnd_file).read().strip() if os.path.exists(hwnd_file) else "0"
    logs = {p: os.path.getsize(p) for p in glob.glob(os.path.join(temp, "Install_*.log"))}
    first = subprocess.Popen([WINE, setup, "/s", "/InstallListenWnd", hwnd], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        end = time.time() + 240
        while time.time() < end and not (os.path.exists(events) and open(events).read().strip()):
            if first.poll() is not None:
                break
            time.sleep(0.3)
        if check(os.path.exists(events) and "3014" in open(events).read(), "the first silent run told its listener"):
            rc = run(setup, "/s")
            check(rc == low_byte(1618), f"a second silent run while the first runs: exit 1618 ({rc})")
        write(release, "go")
        rc = first.wait(timeout=120)
        check(rc == 0, f"the silent install exits with 0 ({rc})")
    finally:
        if first.poll() is None:
            first.kill()
        listener.kill()
        listener.wait()

    installed = sorted(os.listdir(root_dir)) if os.path.isdir(root_dir) else []
    check(installed == sorted(["Tidewater.exe", "Uninstall.exe", "func_helper.dll", "rmstat.dll",
                               "Uninst.dar0", "Uninst.dar1"]), f"installed into {install_dir}: {installed}")
    for n in installed:
        found = sample_names_in(os.path.join(root_dir, n))
        check(not found, f"installed {n} names nothing of the sample ({found})")
    entry = reg_values(r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall" + "\\" + inner, view)
    quiet = '"' + install_dir + r'\Uninstall.exe" /S'
    for value, want in [("DisplayName", name), ("Publisher", values["global_company_name"]),
                        ("DisplayVersion", "2.1.0.7"), ("InstallLocation", install_dir),
                        ("UninstallString", install_dir + r"\Uninstall.exe"), ("QuietUninstallString", quiet),
                        ("DisplayIcon", install_dir + r"\Tidewater.exe")]:
        check(entry.get(value) == want, f"uninstall entry {value} = {entry.get(value)!r}")
    check(reg_values(r"HKLM\SOFTWARE" + "\\" + inner, view).get("AppPath") == install_dir, "HKLM product key AppPath")
    user = reg_values(r"HKCU\SOFTWARE" + "\\" + inner)
    check(user.get("DisplayVersion") == "2.1.0.7" and user.get("UsageVersion") == "2.1.0.7",
          f"HKCU product key, with what the helper recorded ({user})")
    start_menu = os.path.join(unix_path(r"C:\ProgramData"), "Microsoft/Windows/Start Menu/Programs", name)
    check(os.path.isfile(os.path.join(start_menu, name + ".lnk")), "Start-menu shortcut")
    # Each optional step the configuration leaves out is skipped with a log line, and
    # without report addresses nothing is reported.
    text = ""
    for path in glob.glob(os.path.join(temp, "Install_*.log")):
        with open(path, "rb") as f:
            f.seek(logs.get(path, 0))
            text += f.read().decode("utf-8", "replace")
    for line in ["no service configured", "no shell extension configured", "no certificate configured",
                 "no file association configured", "no firewall rule configured",
                 "statistics off: no report address configured"]:
        check(line in text, f"install log: {line}")
    check("start install report info" not in text, "no install report")
    check(registry_mentions() != [], "the registry check sees the installed product")

    # Removal by the uninstall entry's own command, as a package manager runs it.
    m = re.match(r'"([^"]+)" (.*)$', entry.get("QuietUninstallString", ""))
    if check(m is not None, "QuietUninstallString is a quoted program and its arguments"):
        rc = run(m.group(1), *m.group(2).split())
        check(rc == 0, f"QuietUninstallString exits with 0 ({rc})")
    check(not os.path.exists(root_dir), "installation folder removed")
    check(reg_values(r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall" + "\\" + inner, view) == {},
          "uninstall entry removed")
    check(registry_mentions() == [], "the registry knows nothing of the product after")
    left = sorted(everything(drive_c) - before)
    check(left == [], f"no file or folder left on drive C ({left[:10]})")


root = tempfile.mkdtemp(prefix="zpkpack-product-")
try:
    if check(os.path.isfile(ZPKPACK), f"{ZPKPACK} exists (./zpk build makes it)"):
        product_case(root, *sys.argv[2:7])
finally:
    shutil.rmtree(root, ignore_errors=True)
finish("product")
