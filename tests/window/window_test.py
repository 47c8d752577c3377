#!/usr/bin/env python3
"""The installer window under Wine, driven through the X server like a person would.

window_test.py options|install|demo ARCH BINDIR ARTEFACTS
  options  path box, licence option, invalid paths, too little space, close confirmation
  install  real installations: progress and completion pages, listener, start button,
           close refused while installing, completion without its page (x86_64), the
           three pages at 100 % and 150 % (x86_64); the installation is removed afterwards
  demo     one windowed installation with screenshots, for `./zpk demo --window`
BINDIR holds RuvanZipSetupWin.exe, rmstat.dll and wintool.exe; listener.exe is in the
test helpers' folder beside it. Screenshots go to ARTEFACTS.
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


def low_byte(code):
    """What a Unix parent sees of a Windows exit code: Wine passes on only its low 8 bits
    (1603 arrives as 67), so the full code is compared through them."""
    return code & 0xff
WINESERVER = "/usr/lib/wine/wineserver"
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


# ---------------------------------------------------------------------------------------

def options_page(work, reports):
    set_union_id(100)
    need = 1 << 62  # more than any disk: the message shows 2^62 / 2^20 MB
    run = Run(work, "options", env_extra={"ZW_NEED_SPACE": str(need)})
    try:
        if not check(run.wait_window(), "options page shown"):
            return
        check(run.path_box() == default_dir(), f"path box shows the installation directory ({run.path_box()})")
        # The program icon (resource 128) as the window's big and small icons: Wine hands
        # them to the X window (another process cannot read them back through WM_GETICON
        # under Wine).
        sizes = window_icon_sizes("^RuvanZip解压缩安装$")
        check({"32 x 32", "16 x 16"} <= set(sizes), f"window icons {sizes}")
        run.shot(f"options-{ARCH}")

        run.click("licence")  # unchecked: the install button is disabled
        run.type_path(r"relative\dir")
        run.click("install")
        check(box(ERROR_CAPTION, 1, 2500) is None, "licence unchecked: install does nothing")
        run.click("licence")  # checked again
        run.click("install")
        check(box(ERROR_CAPTION, 1) == INVALID_PATH, "licence checked: a relative path is refused")

        run.type_path(r"\\server\share\RuvanZip")
        run.click("install")
        check(box(ERROR_CAPTION, 1) == INVALID_PATH, "a network path is refused")

        # Folders whose contents the product would mingle with, and its uninstaller take.
        for folder in ("C:\\", r"C:\users", r"C:\windows\system32"):
            run.type_path(folder)
            run.click("install")
            check(box(ERROR_CAPTION, 1) == INVALID_PATH, f"{folder} is refused")

        target = os.path.join(PREFIX, "drive_c", "zw-space", "sub")
        run.type_path(r"C:\zw-space\sub")
        run.click("install")
        text = box(HINT_CAPTION, 1)
        check(text == "磁盘剩余可用空间不足,安装程序需要4398046511104.00MB的空间来完成安装！",
              f"too little space: the need in MB ({text})")
        check(os.path.isdir(target), "the refused path was created all the same")

        # The folder button: the base name is appended to a picked folder, not to one that
        # already ends with it; cancelling keeps the box. Each install press then creates
        # the box's path before the space check refuses it, which shows what the box held.
        pick = os.path.join(PREFIX, "drive_c", "zw-pick")
        os.makedirs(pick, exist_ok=True)
        check(pick_folder(run, r"C:\zw-pick"), "folder dialog shown and closed")
        check(run.has(r"qd CheckDir C:\zw-pick, RuvanZip"), "picked C:\\zw-pick")
        run.click("install")
        box(HINT_CAPTION, 1)
        check(os.path.isdir(os.path.join(pick, "RuvanZip")), "the path box got C:\\zw-pick\\RuvanZip")
        check(pick_folder(run, r"C:\zw-pick\RuvanZip"), "folder dialog shown again")
        check(run.has(r"qd C:\zw-pick\RuvanZip"), "the dialog starts at the path box's folder")
        run.click("install")
        box(HINT_CAPTION, 1)
        check(not os.path.exists(os.path.join(pick, "RuvanZip", "RuvanZip")),
              "a folder ending with the base name is kept as it is")
        picks = [l for l in run.lines() if l.startswith("qd CheckDir ")]
        check(pick_folder(run, None), "folder dialog cancelled")
        time.sleep(0.5)
        check([l for l in run.lines() if l.startswith("qd CheckDir ")] == picks, "cancelling picks nothing")
        check(not run.has("qd HMenu1 ~!"), "nothing installed")

        run.click("close")
        check(box(REMIND_CAPTION, 2) == CONFIRM_EXIT, "close asks for confirmation")
        time.sleep(1.0)
        check(window_alive(), "Cancel keeps the window")
        run.click("close")
        check(box(REMIND_CAPTION, 1) == CONFIRM_EXIT, "close asks again")
        check(run.wait_exit(30) == low_byte(1602), "OK closes the window; exit code 1602 (cancelled)")
        time.sleep(1.0)
        unions = {d.get("unionid") for d in reports.datagrams if "unionid" in d}
        check(unions == {100}, f"statistics get UnionId 100 from the registry ({unions})")
        check(reports.actions() == [], "no install actions reported")
    finally:
        run.kill()
        for folder in ("zw-space", "zw-pick"):
            shutil.rmtree(os.path.join(PREFIX, "drive_c", folder), ignore_errors=True)


def install(work, reports, scale, listener_check=True, complete_page=True, start=True, refuse_close=False,
            union=None, running=None):
    """One windowed installation; returns the install directory. `running`: the product's
    program, started first, so that the install button asks to end it."""
    tag = f"{ARCH}-{scale}"
    if union is not None:
        set_union_id(union)
    name = f"install-{tag}-{'complete' if complete_page else 'nocomplete'}"
    listener = Listener(work, name)
    env = {} if complete_page else {"ZW_NO_COMPLETE": "1"}
    run = Run(work, name, ["/InstallListenWnd", listener.hwnd], env)
    install_dir = None
    try:
        if not check(run.wait_window(), f"options page shown ({tag})"):
            return None
        check(run.scale == scale, f"window at {scale} % ({run.scale})")
        install_dir = run.path_box()
        check(install_dir == default_dir(), f"path box shows the installation directory ({install_dir})")
        if complete_page:
            run.shot(f"page0-options-{tag}")
        if running:
            answer_running_prompt(run, running)
        else:
            run.click("install")
        check(wait_for(lambda: run.has("qd HMenu1 ~!"), 30), "the worker runs OnInstall")
        if complete_page:
            time.sleep(1.5)
            run.shot(f"page1-progress-{tag}")
        if refuse_close:
            check(tool("sysclose", CLASS)[0] == 0, "system close sent while installing")
            time.sleep(1.0)
            check(window_alive() and run.proc.poll() is None, "close refused while the worker runs")
            check(run.has("qd close refused: the installation is still running"), "refusal noted")
        if not complete_page:
            check(run.wait_exit(240) == 0, "without the completion page the window closes by itself")
            check(wait_for(lambda: program_windows(), 20), "the program was started")
            check(run.has("qd ProcessLauncherExplorerLevel~!"), "started through the desktop shell")
        else:
            check(wait_for(lambda: listener.heard(), 240), "the listener is told when the installation ends")
            time.sleep(1.5)
            check(window_alive(), "the completion page waits for the user")
            run.shot(f"page2-complete-{tag}")
            if start:
                run.click("start")
                check(run.wait_exit(30) == 0, "the start button closes the window; exit code 0")
                check(wait_for(lambda: program_windows(), 20), "the start button started RuvanZip.exe")
                check(run.has("qd ProcessLauncherExplorerLevel~!"), "started through the desktop shell")
            else:
                run.click("close")
                check(run.wait_exit(30) == 0, "the close button on the completion page closes at once")
                time.sleep(3)
                check(not program_windows(), "closing the completion page starts nothing")
                check(not run.has("qd ProcessLauncherExplorerLevel~!"), "no start line")
        check(listener.heard() == ["3014 wParam=0 lParam=0"], f"the listener heard 3014 once ({listener.heard()})")
        root = unix_path(install_dir) if install_dir else "/nonexistent"
        for name in ("RuvanZip.exe", "Uninstall.exe", "Uninst.dar0", "Uninst.dar1"):
            check(os.path.isfile(os.path.join(root, name)), f"installed {name}")
        time.sleep(1.0)
        acts = reports.actions()
        check(25104 in acts and 25106 in acts, f"statistics actions 25104 and 25106 ({acts})")
        if union is not None:
            unions = {d.get("unionid") for d in reports.datagrams if d.get("event") == "action"}
            check(unions == {26100}, f"UnionId {union} in the registry reports 26100 ({unions})")
        return install_dir
    finally:
        run.kill()
        listener.close()


def answer_running_prompt(run, program):
    """The "program is running" box has no owner, so the window stays clickable under it:
    a second click on the install button must not start the install a second time inside
    the first (it would wait forever on the install manager's lock)."""
    quiet_start = subprocess.Popen([WINE, program], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
    check(wait_for(lambda: program_windows(), 30), "the product's program runs")
    run.click("install")
    caption = "^RuvanZip解压缩 - 安装$"
    shown = wait_for(lambda: subprocess.run(["xdotool", "search", "--name", caption], capture_output=True).stdout.strip(), 15)
    check(shown, "the install button asks to end the running program")
    run.click("install")
    time.sleep(1.0)
    text = box("RuvanZip解压缩 - 安装", 1)
    check(text is not None and text.startswith("检测到 RuvanZip解压缩 正在运行"), f"the prompt answered with OK ({text})")
    check(box("RuvanZip解压缩 - 安装", 1, 2500) is None, "the second click asked nothing more")
    try:
        quiet_start.wait(timeout=60)  # the installation ends the program
    except subprocess.TimeoutExpired:
        quiet_start.kill()


def uninstall(install_dir):
    if not install_dir:
        return
    end_program()
    quiet([WINE, install_dir + r"\Uninstall.exe", "/S"], timeout=300)


def current_dpi():
    r = subprocess.run([WINE, "reg", "query", r"HKCU\Control Panel\Desktop", "/v", "LogPixels"],
                       stdin=subprocess.DEVNULL, capture_output=True)
    words = r.stdout.decode("utf-8", "replace").split()
    return int(words[-1], 16) if words and words[-1].startswith("0x") else 96


def main():
    if not os.environ.get("DISPLAY"):
        print("FAIL: no X display")
        return 1
    if current_dpi() != 96:
        set_dpi(96)  # another run left the display scaled
    work = tempfile.mkdtemp(prefix="zw-")
    reports = Reports()
    install_dir = None
    stored_union = union_id()
    try:
        if MODE == "options":
            options_page(work, reports)
        elif MODE == "demo":
            install_dir = install(work, reports, 100)
            print("screenshots in " + ART)
        else:
            install_dir = install(work, reports, 100, union=99)
            end_program()
            if ARCH == "x86_64":
                reports.datagrams.clear()
                install(work, reports, 100, complete_page=False,
                        running=(install_dir or default_dir()) + r"\RuvanZip.exe")
                end_program()
                reports.datagrams.clear()
                set_dpi(144)
                try:
                    install(work, reports, 150, start=False, refuse_close=True)
                finally:
                    set_dpi(96)
    finally:
        if MODE != "demo":
            uninstall(install_dir)
            restore_union_id(stored_union)
        reports.close()
    print(f"window {MODE}: {len(failures)} failure(s); screenshots in {ART}")
    return 1 if failures else 0


sys.exit(main())
