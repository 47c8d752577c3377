#!/usr/bin/env python3
"""Faults on the target machine, with the fault-test installer (zpkfault_setup.exe).

faults.py INSTALLER PAYLOAD_DIR BIN_DIR PRODUCT_SCRIPT
The installer's script unpacks with PRODUCT_SCRIPT's own error handler (the product's
install chunk, loaded at run time). Each case ends in a clear outcome (exit code and the install script's note) and a state
from which running the installer again completes: nearly full volume, read-only file and
read-only folder in the target, a file locked by another process (held with no sharing,
and a program running from the target), the installer killed in the middle of the
extraction, two installers at once. Runs as root: volumes are small tmpfs mounts.
"""
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile
import time

WINE = "/usr/lib/wine/wine64"


def low_byte(code):
    """What a Unix parent sees of a Windows exit code: Wine passes on only its low 8 bits
    (1603 arrives as 67), so the full code is compared through them."""
    return code & 0xff
INSTALLER, PAYLOAD, BIN, PRODUCT_SCRIPT = sys.argv[1:5]
failures = []
mounts = []
roots = []
links = []


def check(cond, what):
    print(("ok   " if cond else "FAIL ") + what, flush=True)
    if not cond:
        failures.append(what)


def win(path):
    return "Z:" + path.replace("/", "\\")


def mount_tmpfs(path, size, readonly=False):
    os.makedirs(path, exist_ok=True)
    opts = "size=" + size + (",ro" if readonly else "")
    subprocess.run(["mount", "-t", "tmpfs", "-o", opts, "tmpfs", path], check=True)
    mounts.append(path)


def umount(path):
    subprocess.run(["umount", path], check=True)
    mounts.remove(path)


class Case:
    def __init__(self, name):
        self.name = name
        self.root = tempfile.mkdtemp(prefix="zpkfault-" + name + "-")
        roots.append(self.root)
        self.target = os.path.join(self.root, "app")
        self.result = os.path.join(self.root, "result.txt")
        self.win_target = None  # the target as the installer sees it, when not under Z:

    def env(self, **extra):
        env = dict(os.environ, ZF_TARGET=self.win_target or win(self.target), ZF_RESULT=win(self.result),
                   ZF_PRODUCT_SCRIPT=win(PRODUCT_SCRIPT))
        env.update(extra)
        return env

    def start(self, **extra):
        return subprocess.Popen([WINE, INSTALLER, "/InstallSlience", "true"], env=self.env(**extra),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def run(self, timeout=120):
        if os.path.exists(self.result):
            os.remove(self.result)
        p = self.start()
        try:
            return p.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
            return None

    def notes(self):
        try:
            with open(self.result, encoding="utf-8", errors="replace") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def complete(self):
        """Every payload file present in the target with the payload's bytes."""
        for dirpath, _, files in os.walk(PAYLOAD):
            for f in files:
                rel = os.path.relpath(os.path.join(dirpath, f), PAYLOAD)
                got = os.path.join(self.target, rel)
                if not os.path.isfile(got) or not filecmp.cmp(os.path.join(dirpath, f), got, shallow=False):
                    print("     missing or different: " + rel)
                    return False
        return True

    def expect_failure(self, rc, what):
        check(rc == low_byte(1603), f"{self.name}: {what} ends with exit code 1603 (got {rc})")
        check("extract failed" in self.notes(), f"{self.name}: the script notes the failed extraction")

    def expect_success(self, what):
        rc = self.run()
        check(rc == 0, f"{self.name}: {what}: exit code 0 (got {rc})")
        check("installed" in self.notes(), f"{self.name}: {what}: the script notes the installation")
        check(self.complete(), f"{self.name}: {what}: every payload file installed intact")


def wait_for(path, text, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if os.path.exists(path) and text in open(path, encoding="utf-8", errors="replace").read():
            return True
        time.sleep(0.1)
    return False


def baseline():
    c = Case("baseline")
    c.expect_success("clean target")


def drive_letter(path):
    """Maps path as a free drive letter of the prefix; returns the letter."""
    devices = os.path.join(os.environ["WINEPREFIX"], "dosdevices")
    for letter in "qrstuvwxy":
        link = os.path.join(devices, letter + ":")
        if not os.path.lexists(link):
            os.symlink(path, link)
            links.append(link)
            return letter.upper()
    raise RuntimeError("no free drive letter")


def full_volume():
    c = Case("fullvolume")
    vol = os.path.join(c.root, "vol")
    mount_tmpfs(vol, "2m")
    c.target = os.path.join(vol, "app")
    c.win_target = drive_letter(vol) + ":\\app"
    # Nearly full: what is left cannot take the payload's 1.5 MB file.
    with open(os.path.join(vol, "filler"), "wb") as f:
        f.write(b"\0" * (1536 * 1024))
    c.expect_failure(c.run(), "a nearly full volume")
    os.remove(os.path.join(vol, "filler"))
    c.expect_success("again with space freed")
    check(os.path.isdir(os.path.join(vol, "del_reboot")), "fullvolume: the folder for locked files is on the same volume")
    umount(vol)


def read_only_file():
    c = Case("readonlyfile")
    os.makedirs(c.target)
    old = os.path.join(c.target, "readme.txt")
    with open(old, "w") as f:
        f.write("old version\n")
    subprocess.run([WINE, "cmd", "/c", "attrib", "+r", win(old)], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=60)
    c.expect_success("a read-only file of an earlier installation")


def read_only_folder():
    c = Case("readonlyfolder")
    docs = os.path.join(c.target, "docs")
    mount_tmpfs(docs, "1m", readonly=True)
    c.expect_failure(c.run(), "a read-only folder in the target")
    umount(docs)
    c.expect_success("again with the folder writable")


def locked_file():
    c = Case("lockedfile")
    os.makedirs(os.path.join(c.target, "data"))
    held = os.path.join(c.target, "data", "fill.bin")
    marker = os.path.join(c.root, "held")
    holder = subprocess.Popen([WINE, os.path.join(BIN, "holdfile.exe"), win(held), "none", win(marker), "60"],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(wait_for(marker, "", 60), "lockedfile: the other process holds the file")
    rc = c.run()
    c.expect_failure(rc, "a file held with no sharing")
    check(any(n.startswith("locked ") and n.endswith(" 32") for n in c.notes()),
          "lockedfile: the error callback saw the sharing violation (32)")
    holder.kill()
    holder.wait()
    c.expect_success("again once the file is released")


def program_in_use():
    c = Case("programinuse")
    os.makedirs(os.path.join(c.target, "bin"))
    tool = os.path.join(c.target, "bin", "tool.exe")
    shutil.copyfile(os.path.join(BIN, "idle.exe"), tool)
    running = subprocess.Popen([WINE, tool, "60"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    time.sleep(2)
    c.expect_success("a program of the target running")
    check(any(n.startswith("locked ") for n in c.notes()), "programinuse: the running program's file was moved aside")
    check(len(os.listdir(os.path.join(c.root, "del_reboot"))) >= 1, "programinuse: the old file waits in del_reboot")
    running.kill()
    running.wait()


def killed():
    c = Case("killed")
    p = c.start(ZF_STALL="2")
    check(wait_for(c.result, "stalled", 60), "killed: the extraction is under way")
    p.kill()
    p.wait()
    check(not c.complete(), "killed: the installation was left incomplete")
    c.expect_success("again after the kill")


def two_at_once():
    c = Case("twoatonce")
    ps = [c.start(), c.start()]
    codes = []
    for p in ps:
        try:
            codes.append(p.wait(timeout=120))
        except subprocess.TimeoutExpired:
            p.kill()
            codes.append(None)
    check(None not in codes, f"twoatonce: both installers ended (codes {codes})")
    check(0 in codes, f"twoatonce: at least one completed (codes {codes})")
    c.expect_success("a third run afterwards")


try:
    for case in [baseline, full_volume, read_only_file, read_only_folder, locked_file, program_in_use,
                 killed, two_at_once]:
        started = time.time()
        case()
        print(f"     ({case.__name__}: {time.time() - started:.1f} s)", flush=True)
finally:
    for m in list(mounts):
        subprocess.run(["umount", "-l", m])
    for link in links:
        os.remove(link)
    for r in roots:
        shutil.rmtree(r, ignore_errors=True)
print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
