"""Driving the installer window under Wine through the X server, for window_test.py: the
test's command line (MODE ARCH BINDIR ARTEFACTS), checks, the installer run and its
controls, message boxes and the folder dialog, the statistics receiver, the listener and
the registry values the window reads.
"""
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"


def low_byte(code):
    """What a Unix parent sees of a Windows exit code: Wine passes on only its low 8 bits
    (1603 arrives as 67), so the full code is compared through them."""
    return code & 0xff


MODE, ARCH, BINDIR, ART = sys.argv[1:5]
INSTALLER = os.path.join(BINDIR, "RuvanZipSetupWin.exe")
WINTOOL = os.path.join(BINDIR, "wintool.exe")
LISTENER = os.path.join(os.path.dirname(BINDIR), "bin", "listener.exe")
CLASS = "CDlgInstall"
HOST = "127.0.0.61"  # the report host of the test installer's configuration
PREFIX = os.environ.get("WINEPREFIX", "")
failures = []

# Captions and texts of the window's message boxes.
ERROR_CAPTION, HINT_CAPTION, REMIND_CAPTION = "错误", "提示", "提醒"
INVALID_PATH = "安装路径非法，请重新修改！"
CONFIRM_EXIT = "您确定要退出安装程序？"
SEPARATOR = "qd -----------------------------"

# Control centres in the layout's 100 % coordinates (Layout/Layout.xml).
AT = {
    "path": (250, 323), "pick": (531, 323), "install": (300, 386), "licence": (57, 438),
    "close": (578, 22), "start": (454, 357), "caption": (300, 40),
}


def check(cond, what):
    print(("ok   " if cond else "FAIL ") + what, flush=True)
    if not cond:
        failures.append(what)
    return cond


def quiet(args, env=None, timeout=120):
    return subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, env=env, timeout=timeout).returncode


def tool(*args, timeout=120):
    """wintool.exe; its output is captured (it starts nothing that would hold it)."""
    r = subprocess.run([WINE, WINTOOL, *args], stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=timeout)
    return r.returncode, r.stdout.decode("utf-8", "replace").replace("\r", "").strip()


def hexarg(text):
    return "hex:" + text.encode("utf-8").hex()


def unix_path(win):
    r = subprocess.run([WINE, "winepath", "-u", win], stdin=subprocess.DEVNULL, capture_output=True)
    return r.stdout.decode().strip()


def set_dpi(dpi):
    """Wine reads the DPI when its server starts: stop it, write the value, start again."""
    quiet([WINESERVER, "-k"])
    quiet([WINESERVER, "-w"])
    quiet([WINE, "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
           "/d", str(dpi), "/f"])
    quiet([WINESERVER, "-w"])
    quiet([WINESERVER, "-p", "60"])
    quiet([WINE, "wineboot"])


def set_union_id(value):
    quiet([WINE, "reg", "add", r"HKCU\SOFTWARE\RuvanZip", "/v", "UnionId", "/t", "REG_DWORD",
           "/d", str(value), "/f"])


def union_id():
    """The stored UnionId as reg prints it, or None."""
    r = subprocess.run([WINE, "reg", "query", r"HKCU\SOFTWARE\RuvanZip", "/v", "UnionId"],
                       stdin=subprocess.DEVNULL, capture_output=True)
    words = r.stdout.decode("utf-8", "replace").split()
    return int(words[-1], 16) if r.returncode == 0 and words and words[-1].startswith("0x") else None


def restore_union_id(value):
    """Later tests of the prefix must not inherit the union ids these tests chose."""
    if value is None:
        quiet([WINE, "reg", "delete", r"HKCU\SOFTWARE\RuvanZip", "/v", "UnionId", "/f"])
    else:
        set_union_id(value)


def program_windows():
    r = subprocess.run(["xdotool", "search", "--name", "^RuvanZip$"], capture_output=True)
    return [w for w in r.stdout.decode().split() if w]


def end_program():
    quiet([WINE, "taskkill", "/f", "/im", "RuvanZip.exe"])
    for _ in range(50):
        if not program_windows():
            return
        time.sleep(0.2)


class Reports:
    """The statistics receivers on the test installer's own loopback address: UDP 8100
    (install), 8700 (dispatch: actions and sessions) and HTTP 18731 (posted reports,
    answered with 200)."""

    def __init__(self):
        self.datagrams = []
        self.stop = threading.Event()
        self.socks = []
        for port in (8100, 8700):
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind((HOST, port))
            s.settimeout(0.2)
            self.socks.append(s)
            threading.Thread(target=self.receive, args=(s,), daemon=True).start()
        self.http = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.http.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.http.bind((HOST, 18731))
        self.http.listen(8)
        self.http.settimeout(0.2)
        threading.Thread(target=self.serve, daemon=True).start()

    def receive(self, s):
        while not self.stop.is_set():
            try:
                data = s.recv(65536)
            except socket.timeout:
                continue
            try:
                self.datagrams.append(json.loads(data))
            except ValueError:
                pass

    def serve(self):
        while not self.stop.is_set():
            try:
                conn, _ = self.http.accept()
            except socket.timeout:
                continue
            try:
                conn.settimeout(2)
                conn.recv(65536)
                conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            except OSError:
                pass
            conn.close()

    def actions(self):
        return [i for d in self.datagrams if d.get("event") == "action" for i in d.get("ids", [])]

    def close(self):
        self.stop.set()
        for s in self.socks + [self.http]:
            s.close()


class Listener:
    """listener.exe: a caller's window that counts message 3014."""

    def __init__(self, work, name):
        self.hwnd_file = os.path.join(work, name + ".listener.hwnd")
        self.events = os.path.join(work, name + ".listener.txt")
        self.proc = subprocess.Popen([WINE, LISTENER, "Z:" + self.hwnd_file, "Z:" + self.events],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        for _ in range(300):
            if os.path.exists(self.hwnd_file):
                break
            time.sleep(0.1)
        self.hwnd = open(self.hwnd_file).read().strip() if os.path.exists(self.hwnd_file) else "0"

    def heard(self):
        if not os.path.exists(self.events):
            return []
        return [l for l in open(self.events).read().splitlines() if l.strip()]

    def close(self):
        quiet([WINE, "taskkill", "/im", "listener.exe"])
        try:
            return self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            return None


class Run:
    """One start of the test installer under wintool's debug-output capture."""

    def __init__(self, work, name, args=(), env_extra=None):
        self.qd = os.path.join(work, name + ".qd.txt")
        env = dict(os.environ)
        env.update(env_extra or {})
        self.proc = subprocess.Popen([WINE, WINTOOL, "qd", "Z:" + self.qd, INSTALLER, *args],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, env=env)
        self.rect = None
        self.scale = 100

    def lines(self):
        if not os.path.exists(self.qd):
            return []
        return open(self.qd, encoding="utf-8", errors="replace").read().splitlines()

    def has(self, line):
        return line in self.lines()

    def path_box(self):
        """The text the options page put into the path box (between the separator lines)."""
        l = self.lines()
        for i in range(len(l) - 2):
            if l[i] == SEPARATOR and l[i + 2] == SEPARATOR:
                return l[i + 1][3:]
        return None

    def wait_window(self, timeout=90):
        end = time.time() + timeout
        while time.time() < end:
            rc, out = tool("rect", CLASS)
            if rc == 0 and self.path_box() is not None:
                self.rect = [int(v) for v in out.split()]
                self.scale = round((self.rect[2] - self.rect[0]) * 100 / 600)
                time.sleep(1.0)  # first paint
                return True
            if self.proc.poll() is not None:
                return False
            time.sleep(0.3)
        return False

    def point(self, name):
        x, y = AT[name]
        return self.rect[0] + x * self.scale // 100, self.rect[1] + y * self.scale // 100

    def click(self, name):
        x, y = self.point(name)
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"])
        time.sleep(0.5)

    def type_path(self, text):
        # Through the server's keyboard (XTEST) to the window under the pointer: events sent
        # to a window directly lose the shift state.
        self.click("path")
        subprocess.run(["xdotool", "key", "ctrl+a", "BackSpace"])
        subprocess.run(["xdotool", "type", "--delay", "30", text])
        time.sleep(0.5)

    def shot(self, name):
        os.makedirs(ART, exist_ok=True)
        rc, out = tool("rect", CLASS)
        if rc != 0:
            return check(False, "window present for screenshot " + name)
        l, t, r, b = [int(v) for v in out.split()]
        path = os.path.join(ART, name + ".png")
        subprocess.run(["import", "-window", "root", "-crop", f"{r - l}x{b - t}+{l}+{t}", "+repage", path],
                       capture_output=True)
        return check(os.path.exists(path), "screenshot " + path)

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        if self.proc.poll() is None:
            quiet([WINE, "taskkill", "/f", "/im", "RuvanZipSetupWin.exe"])
            self.wait_exit(20)


def window_icon_sizes(caption):
    """The icon sizes the X window with this caption carries (_NET_WM_ICON)."""
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", caption],
                         capture_output=True, text=True).stdout.split()
    if not ids:
        return []
    prop = subprocess.run(["xprop", "-id", ids[0], "_NET_WM_ICON"], capture_output=True, text=True).stdout
    return re.findall(r"Icon \((\d+ x \d+)\)", prop)


def folder_dialog():
    """Position and size of the system's folder dialog, or None."""
    r = subprocess.run(["xdotool", "search", "--name", "^Select Folder$"], capture_output=True)
    ids = r.stdout.decode().split()
    if not ids:
        return None
    g = subprocess.run(["xdotool", "getwindowgeometry", "--shell", ids[0]], capture_output=True)
    v = dict(l.split("=", 1) for l in g.stdout.decode().split() if "=" in l)
    return int(v["X"]), int(v["Y"]), int(v["WIDTH"]), int(v["HEIGHT"])


def pick_folder(run, folder):
    """Opens the folder button's dialog and picks folder (typed into its name box), or
    cancels it when folder is None. False when no dialog came."""
    run.click("pick")
    if not wait_for(lambda: folder_dialog() is not None, 15):
        return False
    x, y, w, h = folder_dialog()
    # Keys go to the window under the pointer; the dialog's name box has the focus.
    subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2)])
    time.sleep(0.3)
    if folder is None:
        subprocess.run(["xdotool", "key", "Escape"])
    else:
        subprocess.run(["xdotool", "type", "--delay", "30", folder])
        subprocess.run(["xdotool", "key", "Return"])
    return wait_for(lambda: folder_dialog() is None, 15)


def box(caption, button, ms=8000):
    """The text of the message box with that caption, answered with button; None when none came."""
    rc, out = tool("box", hexarg(caption), str(button), str(ms))
    return out if rc == 0 else None


def window_alive():
    return tool("rect", CLASS)[0] == 0


def default_dir():
    return r"C:\Program Files (x86)\RuvanZip" if ARCH == "i686" else r"C:\Program Files\RuvanZip"


def wait_for(cond, timeout, step=0.3):
    end = time.time() + timeout
    while time.time() < end:
        if cond():
            return True
        time.sleep(step)
    return cond()
