#!/usr/bin/env python3
"""The uninstaller's remaining cases, each on a fresh silent install of the sample product:

- /clearuserdata (ClearUserData true) removes the per-user data folder; a program still
  running from the installation directory is moved aside and scheduled for deletion at
  restart; the temporary uninstaller copy is gone or scheduled; a simulated restart
  (wineboot -r) then really deletes what was scheduled;
- without it (ClearUserData false) the per-user data folder stays.

uninstall_cases.py ARCH INSTALLER IDLE_EXE
"""
import filecmp
import glob
import os
import shutil
import subprocess
import sys
import time

from e2eutil import WINE, check, finish, low_byte, reg_values, reg_view, run, unix_path, wine

ARCH, INSTALLER, IDLE = sys.argv[1], sys.argv[2], sys.argv[3]
VIEW = reg_view(ARCH)
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"


def env_path(name):
    out = wine("cmd", "/c", "echo", "%" + name + "%").stdout.decode("utf-8", "replace").strip()
    return unix_path(out)


def pending_renames():
    """The PendingFileRenameOperations entries as Unix paths of the files to delete."""
    out = wine("reg", "query", SESSION_MANAGER, "/v", "PendingFileRenameOperations").stdout
    text = out.decode("utf-8", "replace").replace("\r", "")
    for line in text.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[0] == "PendingFileRenameOperations":
            # reg.exe prints REG_MULTI_SZ with \0 between the strings; pairs of source, target.
            items = parts[2].split("\\0")
            return [unix_path(s[4:] if s.startswith("\\??\\") else s) for s in items if s]
    return []


def install():
    rc = run(INSTALLER, "/s")
    install_dir = reg_values(r"HKLM\SOFTWARE\RuvanZip", VIEW).get("AppPath", "")
    ok = check(rc == 0 and install_dir != "", f"silent install ({rc}, {install_dir!r})")
    return install_dir if ok else None


def temp_copies(temp):
    """Temporary uninstaller copies: uni*.tmp folders of the temporary folder."""
    return {p for p in glob.glob(os.path.join(temp, "uni*.tmp"))}


local_data = os.path.join(env_path("LOCALAPPDATA"), "RuvanZip")
temp = env_path("TEMP")


def make_user_data():
    os.makedirs(local_data, exist_ok=True)
    with open(os.path.join(local_data, "settings.ini"), "w") as f:
        f.write("[ui]\ntheme=dark\n")


# Case 1: clear the user data, with a program of the product still running.
install_dir = install()
if install_dir:
    root = unix_path(install_dir)
    make_user_data()
    busy = os.path.join(root, "busy.exe")
    shutil.copy(IDLE, busy)
    holder = subprocess.Popen([WINE, busy, "25"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    time.sleep(3)
    copies_before = temp_copies(temp)
    pending_before = set(pending_renames())
    rc = run(install_dir + r"\Uninstall.exe", "/S", "/clearuserdata")
    # The running program's file waits for the next restart; the uninstaller's own
    # original, moved aside the same way, does not count.
    check(rc == low_byte(3010), f"uninstaller /S /clearuserdata exits with 3010, restart needed ({rc})")
    check(not os.path.exists(local_data), "ClearUserData true: per-user data folder removed")
    check(not os.path.exists(busy), "running program moved out of the installation directory")
    pending = [p for p in pending_renames() if p not in pending_before]
    moved = [p for p in pending if os.path.basename(p).lower().startswith("qmz")]
    # Both the running program and the original Uninstall.exe (its process waits for the
    # copy) are in use; each is moved to a unique name and scheduled.
    check(any(os.path.isfile(p) and filecmp.cmp(p, IDLE, shallow=False) for p in moved),
          f"the running program's file is moved aside and scheduled for deletion ({pending})")
    check(any(p.rstrip("/") == root.rstrip("/") for p in pending) or not os.path.exists(root),
          "installation directory gone or scheduled")
    leftovers = temp_copies(temp) - copies_before
    scheduled = [c for c in leftovers if any(p.startswith(c) for p in pending)]
    check(all(c in scheduled for c in leftovers),
          f"temporary uninstaller copy gone or scheduled (left {sorted(leftovers)})")
    check(reg_values(r"HKLM\SOFTWARE\RuvanZip", VIEW) == {}, "product key removed")
    holder.wait(timeout=60)
    # A restart carries the scheduled deletions out.
    wine("wineboot", "-r", timeout=120)
    check(not any(os.path.exists(p) for p in moved), "moved file deleted at the (simulated) restart")
    check(not os.path.exists(root), "installation directory deleted at the (simulated) restart")
    check(not any(os.path.exists(c) for c in leftovers), "temporary copy deleted at the (simulated) restart")

# Case 2: keep the user data.
install_dir = install()
if install_dir:
    make_user_data()
    rc = run(install_dir + r"\Uninstall.exe", "/S")
    check(rc == 0, f"uninstaller /S exits with 0 ({rc})")
    check(os.path.isfile(os.path.join(local_data, "settings.ini")), "ClearUserData false: per-user data folder kept")
    check(not os.path.exists(os.path.join(unix_path(install_dir), "RuvanZip.exe")), "program files removed")
    shutil.rmtree(local_data, ignore_errors=True)

sys.exit(finish("uninstall cases"))
