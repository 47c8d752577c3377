#!/usr/bin/env python3
"""End to end: install cases beyond the plain silent install.

install_cases.py GROUP ARCH INSTALLER BINDIR
  reinstall  installs as RuvanZip_26105_hd.exe, then installs again over it while a helper
             holds a payload file: the union id stays, the report says kind 3 with the recorded
             union id, the held file is moved aside and scheduled for deletion at restart; the
             firewall step's netsh command lines are recorded by a stand-in program.
  names      installs as RuvanZip_setup-26150@stt@dtc.exe with -uid= and -path=: silent
             without "/s", the program not started, no desktop shortcut, the union ids, the
             chosen directory.
  trust      a drive holding a user's files (D:) given as the installation folder, and
             recorded as one: the product goes into D:\RuvanZip and its uninstaller leaves
             the user's files alone; an installation found at the drive root itself is not
             removed recursively (exit 1603); a directory link planted in the target folder
             receives nothing; files left hidden and system by an earlier installation are
             replaced in place.
Each group starts from a reset prefix (product, service, keys, files removed and checked gone).
BINDIR holds the helper programs (holdfile, argrecord) of the same arch.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import time

from e2eutil import check, finish, low_byte, open_receivers, reg_values, reg_view, run, run_code, unix_path, wine

GROUP, ARCH, INSTALLER, BINDIR = sys.argv[1:5]
VIEW = reg_view(ARCH)
PRODUCT = r"SOFTWARE\RuvanZip"
UNINSTALL = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\RuvanZip"
NAME = "RuvanZip解压缩"
SESSION = r"HKLM\System\CurrentControlSet\Control\Session Manager"
prefix = os.environ["WINEPREFIX"]


def env_path(var):
    return wine("cmd", "/c", "echo", f"%{var}%").stdout.decode().strip()


def program_running():
    """True when a process of this prefix runs the product's main program (RuvanZip.exe);
    other prefixes on the machine may run their own copies."""
    for proc in glob.glob("/proc/[0-9]*"):
        try:
            with open(proc + "/cmdline", "rb") as f:
                text = f.read().decode("utf-8", "replace")
            if not re.search(r"\\RuvanZip\.exe(\x00|$)", text, re.I):
                continue
            with open(proc + "/environ", "rb") as f:
                if ("WINEPREFIX=" + prefix).encode() in f.read().split(b"\x00"):
                    return True
        except OSError:
            continue
    return False


def wait_for(cond, seconds):
    end = time.time() + seconds
    while time.time() < end:
        if cond():
            return True
        time.sleep(0.25)
    return cond()


def delete_key(key):
    for view in ([], ["/reg:32"]):
        wine("reg", "delete", key, "/f", *view)


def reset(dirs):
    """Removes what an earlier install left: processes, service, keys, files, shortcuts."""
    wine("taskkill", "/f", "/im", "RuvanZip.exe")
    wine("sc", "stop", "RzSvc")
    wine("sc", "delete", "RzSvc")
    wine("taskkill", "/f", "/im", "RzSrv.exe")
    wait_for(lambda: not program_running(), 10)
    for key in ["HKLM\\" + PRODUCT, "HKCU\\" + PRODUCT, "HKLM\\" + UNINSTALL,
                r"HKCU\Software\Classes\.zip", r"HKCU\Software\Classes\.7z"]:
        delete_key(key)
    wine("reg", "delete", SESSION, "/v", "PendingFileRenameOperations", "/f")
    for d in dirs + [os.path.join(start_menu, NAME)]:
        shutil.rmtree(d, ignore_errors=True)
    for lnk in glob.glob(os.path.join(desktop, "*.lnk")):
        os.remove(lnk)
    left = {"HKLM product": product(), "HKCU product": user_product(),
            "directories": [d for d in dirs if os.path.exists(d)], "program running": program_running()}
    check(not any(left.values()), f"prefix reset {left}")


def copy_installer(name):
    """The installer under another file name, in a folder of the prefix."""
    folder = os.path.join(prefix, "drive_c", "zpkcases")
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, name)
    shutil.copyfile(INSTALLER, target)
    return target


def install_report(receivers):
    receivers.wait(1.0)
    return receivers.reports("install")


def product():
    return reg_values("HKLM\\" + PRODUCT, VIEW)


def user_product():
    return reg_values("HKCU\\" + PRODUCT)


# Where the firewall step runs netsh: a 32-bit installer runs the 32-bit system folder's.
def replace_netsh(record):
    system = "syswow64" if ARCH == "i686" else "system32"
    netsh = os.path.join(prefix, "drive_c", "windows", system, "netsh.exe")
    saved = netsh + ".zpksaved"
    if not os.path.exists(saved):
        shutil.copyfile(netsh, saved)
    shutil.copyfile(os.path.join(BINDIR, "argrecord.exe"), netsh)
    if os.path.exists(record):
        os.remove(record)
    return netsh, saved


desktop = unix_path(env_path("USERPROFILE") + r"\Desktop")
start_menu = os.path.join(unix_path(r"C:\ProgramData"), "Microsoft/Windows/Start Menu/Programs")
temp_dir = unix_path(env_path("TMP"))
default_dir = r"C:\Program Files (x86)\RuvanZip" if ARCH == "i686" else r"C:\Program Files\RuvanZip"


def reinstall_group(receivers):
    root = unix_path(default_dir)
    reset([root])
    record = os.path.join(prefix, "drive_c", "zpkcases-netsh.txt")
    netsh, saved = replace_netsh(record)
    env = dict(os.environ, ZPK_ARGRECORD=r"C:\zpkcases-netsh.txt",
               WINEDLLOVERRIDES=os.environ.get("WINEDLLOVERRIDES", "") + ";netsh.exe=n")
    try:
        # First install, channel and options from the file name.
        rc = run(copy_installer("RuvanZip_26105_hd.exe"), "/s", env=env)
        check(rc == 0, "first install (RuvanZip_26105_hd.exe /s) exits with 0")
        p, u = product(), user_product()
        check(p.get("UnionId") == hex(26105) and u.get("UnionId") == hex(26105), f"UnionId 26105 ({p.get('UnionId')}, {u.get('UnionId')})")
        check(p.get("OEMUnionId") == hex(26100), f"OEMUnionId 26100 ({p.get('OEMUnionId')})")
        check(p.get("AppPath") == default_dir, f"default directory ({p.get('AppPath')})")
        check(not os.path.exists(os.path.join(desktop, NAME + ".lnk")), "hd in the file name: no desktop shortcut")
        check(os.path.isfile(os.path.join(start_menu, NAME, NAME + ".lnk")), "Start-menu shortcut")
        reports = install_report(receivers)
        check([(r.get("kind"), r.get("unionid")) for r in reports] == [(1, 26105)], f"first install reported as kind 1, union 26105 ({reports})")
        check(wait_for(program_running, 10), "/s starts the program")
        lines = open(record, encoding="utf-8").read().splitlines() if os.path.exists(record) else []
        prog = '"' + default_dir + r'\RuvanZip.exe"'
        check(lines == ['advfirewall firewall delete rule name="RuvanZip"',
                        f'advfirewall firewall add rule name="RuvanZip" dir=in program={prog} action=allow',
                        f'advfirewall firewall add rule name="RuvanZip" dir=out program={prog} action=allow'],
              f"netsh runs {lines}")

        # Second install over it, with a payload file held open by another program.
        receivers.clear()
        held = os.path.join(root, "func_helper.dll")
        original = open(held, "rb").read()
        with open(held, "ab") as f:
            f.write(b"older copy")
        older = open(held, "rb").read()
        marker = os.path.join(prefix, "drive_c", "zpkcases-held.txt")
        if os.path.exists(marker):
            os.remove(marker)
        holder = subprocess.Popen(["/usr/lib/wine/wine64", os.path.join(BINDIR, "holdfile.exe"),
                                   default_dir + r"\func_helper.dll", "delete", r"C:\zpkcases-held.txt", "120"],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            check(wait_for(lambda: os.path.exists(marker), 30), "helper holds func_helper.dll")
            before = set(os.listdir(temp_dir))
            rc = run(INSTALLER, "/s", env=env)
            check(rc == low_byte(3010), f"second install exits with 3010: the held file goes at the next restart ({rc})")
            check(holder.poll() is None, "the helper still holds its file")
            check(open(held, "rb").read() == original, "the held file is replaced by the payload's")
            moved = [os.path.join(temp_dir, n) for n in set(os.listdir(temp_dir)) - before if n.lower().startswith("qmz")]
            aside = [m for m in moved if os.path.isfile(m) and open(m, "rb").read() == older]
            check(len(aside) == 1, f"the held file moved into the locked-file folder {temp_dir} ({moved})")
            pending = wine("reg", "query", SESSION, "/v", "PendingFileRenameOperations").stdout.decode("utf-8", "replace")
            if aside:
                name = os.path.basename(aside[0])
                check(re.search(r"\\\?\?\\C:\\.*\\" + re.escape(name), pending, re.I) is not None,
                      f"{name} scheduled for deletion at restart")
        finally:
            holder.kill()
            holder.wait()
        p, u = product(), user_product()
        check(p.get("UnionId") == hex(26105) and u.get("UnionId") == hex(26105), f"reinstall keeps UnionId 26105 ({p.get('UnionId')})")
        check(os.path.isfile(os.path.join(desktop, NAME + ".lnk")), "plain name: desktop shortcut made")
        check(os.path.isfile(os.path.join(root, "Uninst.dar1")), "installation completed (Uninst.dar1)")
        check("RUNNING" in wine("sc", "query", "RzSvc").stdout.decode("utf-8", "replace"), "service RzSvc running")
        reports = install_report(receivers)
        check([(r.get("kind"), r.get("unionid")) for r in reports] == [(3, 26105)], f"reinstall reported as kind 3, union 26105 ({reports})")
    finally:
        shutil.copyfile(saved, netsh)
        os.remove(saved)
    reset([root])


def names_group(receivers):
    target = r"C:\RZ Cases\RuvanZip"
    root = unix_path(target)
    reset([root, unix_path(default_dir)])
    installer = copy_installer("RuvanZip_setup-26150@stt@dtc.exe")
    rc = run(installer, "-uid=26160", "-path=" + target)
    check(rc == 0, "install (RuvanZip_setup-26150@stt@dtc.exe -uid=26160 -path=...) exits with 0")
    p = product()
    check(p.get("AppPath") == target and os.path.isfile(os.path.join(root, "RuvanZip.exe")),
          f"-path= chooses the directory ({p.get('AppPath')})")
    check(not os.path.exists(unix_path(default_dir)), "nothing in the default directory")
    check(p.get("UnionId") == hex(26160) and p.get("OEMUnionId") == hex(26150),
          f"UnionId 26160 from -uid=, OEMUnionId 26150 from the name ({p.get('UnionId')}, {p.get('OEMUnionId')})")
    check(not os.path.exists(os.path.join(desktop, NAME + ".lnk")), "@dtc: no desktop shortcut")
    check(os.path.isfile(os.path.join(start_menu, NAME, NAME + ".lnk")), "Start-menu shortcut")
    reports = install_report(receivers)
    check([(r.get("kind"), r.get("unionid")) for r in reports] == [(1, 26160)], f"reported kind 1, union 26160 ({reports})")
    time.sleep(2)
    check(not program_running(), "@stt: silent without starting the program")
    reset([root])


def quiet_installer():
    """The installer named with @stt: silent, and the program is not started afterwards. Started
    under emulation it can appear after the next reset and hold files the next case expects gone."""
    return copy_installer("RuvanZip_setup@stt.exe")


def user_drive():
    """D: mapped to a scratch folder holding a user's files; returns (folder, files)."""
    folder = os.path.join(prefix, "zpkcases-drive-d")
    shutil.rmtree(folder, ignore_errors=True)
    files = {"Photos/w.jpg": b"\xff\xd8 a photo", "notes.txt": b"my notes\r\n", "Uninstall.log": b"mine"}
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    link = os.path.join(prefix, "dosdevices", "d:")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(folder, link)
    return folder, files


def user_files_intact(folder, files, what):
    lost = [n for n, data in files.items()
            if not os.path.isfile(os.path.join(folder, n)) or open(os.path.join(folder, n), "rb").read() != data]
    check(not lost, f"{what}: the user's files on D: are intact (lost {lost})")


def drive_root_cases(folder, files):
    """The drive root given on the command line, then recorded by an older installation."""
    rc = run(quiet_installer(), "-path=D:\\")
    p = product()
    check(rc == 0 and p.get("AppPath") == r"D:\RuvanZip", f"-path=D:\\ installs into D:\\RuvanZip ({rc}, {p.get('AppPath')})")
    check(os.path.isfile(os.path.join(folder, "RuvanZip", "RuvanZip.exe")), "the product's files are in D:\\RuvanZip")
    check(not os.path.exists(os.path.join(folder, "RuvanZip.exe")), "nothing of the product at the drive root")
    user_files_intact(folder, files, "install into D:\\")
    rc = run(r"D:\RuvanZip\Uninstall.exe", "/S")
    check(rc == 0 and not os.path.exists(os.path.join(folder, "RuvanZip", "RuvanZip.exe")),
          f"its uninstaller removes D:\\RuvanZip ({rc})")
    user_files_intact(folder, files, "uninstall from D:\\RuvanZip")

    # An older installer put the product at the root itself and recorded it there.
    source = unix_path(default_dir)
    run(quiet_installer())
    for name in os.listdir(source):
        if os.path.isfile(os.path.join(source, name)):
            shutil.copyfile(os.path.join(source, name), os.path.join(folder, name))
    for view in ([], ["/reg:32"]):
        wine("reg", "add", "HKLM\\" + UNINSTALL, "/v", "InstallLocation", "/d", "D:\\", "/f", *view)
    rc = run_code(BINDIR, r"D:\Uninstall.exe", "/S")
    check(rc == 1603, f"the uninstaller at D:\\ refuses to empty the drive: exit 1603 ({rc})")
    check(os.path.isfile(os.path.join(folder, "Uninst.dar0")), "nothing at D:\\ was removed recursively")
    user_files_intact(folder, files, "uninstall from the drive root")
    reset([source])
    for view in ([], ["/reg:32"]):
        wine("reg", "add", "HKLM\\" + UNINSTALL, "/v", "InstallLocation", "/d", "D:\\", "/f", *view)
    rc = run(quiet_installer())
    p = product()
    check(rc == 0 and p.get("AppPath") == r"D:\RuvanZip", f"a recorded D:\\ becomes D:\\RuvanZip ({rc}, {p.get('AppPath')})")
    run(r"D:\RuvanZip\Uninstall.exe", "/S")
    user_files_intact(folder, files, "install over a recorded drive root")


def planted_link_case():
    """C:\\inst\\shell is a directory link to C:\\victim: nothing may land there."""
    inst, victim = os.path.join(prefix, "drive_c", "inst"), os.path.join(prefix, "drive_c", "victim")
    for d in (inst, victim):
        shutil.rmtree(d, ignore_errors=True)
    os.makedirs(inst)
    os.makedirs(victim)
    os.symlink("../victim", os.path.join(inst, "shell"))
    rc = run(quiet_installer(), r"-path=C:\inst")
    check(rc != 0, f"the installation fails on the planted link (exit {rc})")
    check(os.listdir(victim) == [], f"the link's target receives nothing ({os.listdir(victim)})")
    check(os.path.islink(os.path.join(inst, "shell")), "the link itself is left as it was")
    # The primitives the locked-file handling uses refuse it too.
    with open(os.path.join(inst, "src.txt"), "w") as f:
        f.write("source")
    script = os.path.join(inst, "links.lua")
    with open(script, "w") as f:
        f.write(r"""
local src = [[C:\inst\src.txt]]
assert(Lua_CopyFile(src, [[C:\inst\shell\a.txt]]) == false, "copy into the link")
assert(Lua_CopyFile(src, [[C:\inst\shell]]) == false, "copy onto the link")
assert(Lua_MoveFile(src, [[C:\inst\shell\b.txt]]) == false, "move into the link")
assert(Lua_RenameFile(src, [[C:\inst\shell\c.txt]]) == false, "rename into the link")
assert(Lua_GetTempFileName([[C:\inst\shell]], "QmZ") == nil, "temporary name in the link")
assert(Lua_CopyFile(src, [[C:\inst\plain.txt]]) == true, "a plain copy still works")
""")
    zpklua = os.path.join(BINDIR, "..", "..", "zpklua.exe")
    rc = run(zpklua, r"C:\inst\links.lua")
    check(rc == 0, f"copy, move, rename and temporary names refuse the link (zpklua exit {rc})")
    check(os.listdir(victim) == [], f"the link's target still holds nothing ({os.listdir(victim)})")
    reset([inst, victim])


def hidden_files_case():
    """An earlier installation's files made hidden and system are replaced in place."""
    root = unix_path(default_dir)
    check(run(quiet_installer()) == 0, "first install")
    held = os.path.join(root, "func_helper.dll")
    original = open(held, "rb").read()
    with open(held, "ab") as f:
        f.write(b"older copy")
    wine("cmd", "/c", "attrib", "+h", "+s", default_dir + r"\func_helper.dll")
    before = set(os.listdir(temp_dir))
    check(run(quiet_installer()) == 0, "reinstall over hidden and system files")
    check(open(held, "rb").read() == original, "the hidden system file holds the payload's bytes")
    moved = [n for n in set(os.listdir(temp_dir)) - before if n.lower().startswith("qmz")]
    check(moved == [], f"and was replaced in place, not moved aside ({moved})")
    reset([root])


def trust_group(receivers):
    folder, files = user_drive()
    reset([unix_path(default_dir), os.path.join(folder, "RuvanZip")])
    try:
        drive_root_cases(folder, files)
        planted_link_case()
        hidden_files_case()
    finally:
        os.remove(os.path.join(prefix, "dosdevices", "d:"))
    user_files_intact(folder, files, "at the end")
    shutil.rmtree(folder, ignore_errors=True)


receivers = open_receivers()
try:
    {"reinstall": reinstall_group, "names": names_group, "trust": trust_group}[GROUP](receivers)
finally:
    receivers.close()
sys.exit(finish("install cases " + GROUP))
