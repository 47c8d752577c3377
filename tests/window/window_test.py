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
import os
import shutil
import subprocess
import sys
import tempfile
import time

from windowdriver import *  # noqa: F401,F403  the driver and the test share one vocabulary


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
