"""The benchmark's silent install: the corpus folder packed by zpkpack into an i686
installer (the program users get, run as a 32-bit process on 64-bit Wine), installed with
/s and timed from start to exit, then removed by its own uninstaller (not timed).

The installer is kept in the corpus cache beside a stamp of the stub and data it was made
from, so it is packed again (a few minutes) only when they change."""
import glob
import hashlib
import os
import re
import shutil
import statistics
import subprocess
import time

import nsisinstaller

WINE = "/usr/lib/wine/wine64"
VALUES = {"global_product_name": "Bench Corpus", "global_product_name_inner": "BenchCorpus",
          "global_main_app_name": "kernel32.dll", "global_company_name": "Bench Example Ltd.",
          "global_version": "1.0.0.1"}


def stamp_of(paths):
    h = hashlib.sha256()
    for path in paths:
        with open(path, "rb") as f:
            h.update(f.read())
    return h.hexdigest()


def configuration(zpkpack, work, main):
    """zpkpack init, then the five values."""
    folder = os.path.join(work, "bench-config")
    shutil.rmtree(folder, ignore_errors=True)
    subprocess.run([zpkpack, "init", folder], check=True, capture_output=True)
    path = os.path.join(folder, "config.lua")
    text = open(path, encoding="utf-8").read()
    for name, value in dict(VALUES, global_main_app_name=main).items():
        text = re.sub(r'^%s = ""$' % name, '%s = "%s"' % (name, value), text, flags=re.M)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return path


def installer(zpkpack, corpus_dir, cache, work, arch="i686", name="dlls", main=VALUES["global_main_app_name"]):
    """The installer of `corpus_dir` for `arch`, packed once per stub, data and folder."""
    share = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(zpkpack))), "share", "zpksetup")
    scripts = os.path.join(share, "scripts")
    inputs = [os.path.join(share, "stubs", arch, "zpkstub.exe"), os.path.join(share, "pack-payload.sh")]
    inputs += [os.path.join(scripts, name) for name in sorted(os.listdir(scripts))]
    stamp = stamp_of(inputs) + " " + nsisinstaller.folder_stamp(corpus_dir)
    setup = os.path.join(cache, "%s-setup-%s.exe" % (name, arch))
    stamp_file = setup + ".stamp"
    if os.path.exists(setup) and os.path.exists(stamp_file) and open(stamp_file).read() == stamp:
        return setup
    print("silent install: packing %s with zpkpack for %s (once per build)" % (corpus_dir, arch), flush=True)
    config = configuration(zpkpack, work, main)
    subprocess.run([zpkpack, "--product", corpus_dir, "--config", config, "--arch", arch, "-o", setup],
                   check=True, stdout=subprocess.DEVNULL)
    with open(stamp_file, "w") as f:
        f.write(stamp)
    return setup


def quiet(args):
    """Runs a Windows program to its end; its output is not read, since Wine's own helpers
    (explorer.exe) would inherit the pipes and keep them open."""
    return subprocess.run([WINE, *args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode


def timed_install(setup):
    start = time.monotonic()
    rc = quiet([setup, "/s"])
    wall = time.monotonic() - start
    quiet([r"C:\Program Files (x86)" + "\\" + VALUES["global_product_name_inner"] + r"\Uninstall.exe", "/S"])
    return wall, rc


def payload_check_line():
    """The installers' own log line on their payload check (size, result, milliseconds):
    the last one written in the prefix."""
    found = ""
    logs = glob.glob(os.path.join(os.environ.get("WINEPREFIX", ""), "drive_c", "users", "**", "Install*.log"),
                     recursive=True)
    for path in sorted(logs, key=os.path.getmtime):
        for line in open(path, encoding="utf-8", errors="replace"):
            if "payload check:" in line:
                found = line.strip()
    return found


def bench(zpkpack, corpus_dir, cache, work, runs):
    """(median seconds of `runs` silent installs, the installer's size, its path); None when
    an install failed."""
    setup = installer(zpkpack, corpus_dir, cache, work)
    walls = []
    for _ in range(runs):
        wall, rc = timed_install(setup)
        if rc != 0:
            print("silent install: exit code %d" % rc)
            return None
        walls.append(wall)
    return statistics.median(walls), os.path.getsize(setup), setup
