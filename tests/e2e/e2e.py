#!/usr/bin/env python3
"""End to end: the sample installer installs silently, then its uninstaller removes it.

e2e.py ARCH INSTALLER
Runs under the test command's Wine prefix. The installer's configuration sends its
reports to 127.0.0.1 (UDP 8100, HTTP 18731), where this script listens.
"""
import json
import os
import sys

from e2eutil import check, finish, open_receivers, reg_values as reg_query, run, unix_path, wine, reg_view

ARCH, INSTALLER = sys.argv[1], sys.argv[2]
VIEW = reg_view(ARCH)


def reg_values(key, view=True):
    return reg_query(key, VIEW if view else [])


receivers = open_receivers()
datagrams, posts, stop = receivers.datagrams, receivers.posts, receivers.stop
try:
    # Install.
    rc = run(INSTALLER, "/s")
    check(rc == 0, "installer exits with 0")
    product = reg_values(r"HKLM\SOFTWARE\RuvanZip")
    install_dir = product.get("AppPath", "")
    expected_base = "Program Files (x86)" if ARCH == "i686" else "Program Files"
    check(install_dir.endswith(expected_base + r"\RuvanZip"), "default directory " + install_dir)
    root = unix_path(install_dir) if install_dir else "/nonexistent"
    for name in ["RuvanZip.exe", "RzSrv.exe", "func_helper.dll", "rmstat.dll", "Uninstall.exe",
                 "IShellExt.dll", "IShellExt64.dll", "shell/RuvanShell.dll", "Uninst.dar0", "Uninst.dar1"]:
        check(os.path.isfile(os.path.join(root, name)), "installed " + name)
    check(not os.path.exists(os.path.join(root, "http.cer")), "http.cer removed after import")
    for v, want in [("OemID", "0x1"), ("UnionId", "0x65f4"), ("OEMUnionId", "0x65f4"), ("UserID", "00")]:
        check(product.get(v) == want, f"HKLM product {v} = {product.get(v)}")
    user = reg_values(r"HKCU\SOFTWARE\RuvanZip", view=False)
    check(user.get("Version") == "0x5f5e146", "Version DWORD 100000070")
    check(user.get("DisplayVersion") == "1.0.0.70", "HKCU DisplayVersion")
    check(user.get("StartMenuShortcutChk") == "0x1", "StartMenuShortcutChk recorded")
    entry = reg_values(r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\RuvanZip")
    # 347149043 / 1024 as the registry primitive converts numbers (Lua 5.2 rounds).
    check(entry.get("EstimatedSize") == hex(round(347149043 / 1024)), "EstimatedSize " + str(entry.get("EstimatedSize")))
    check(entry.get("UninstallString") == install_dir + r"\Uninstall.exe", "UninstallString")
    check(entry.get("QuietUninstallString") == '"' + install_dir + r'\Uninstall.exe" /S', "QuietUninstallString")
    check(entry.get("InstallLocation") == install_dir, "InstallLocation")
    check(reg_values(r"HKCU\Software\Classes\.zip", view=False).get("(Default)") == "RuvanZip.Archive",
          ".zip association")
    sc = wine("sc", "query", "RzSvc").stdout.decode("utf-8", "replace")
    check("RUNNING" in sc, "service RzSvc running")
    start_menu = os.path.join(unix_path(r"C:\ProgramData"), "Microsoft/Windows/Start Menu/Programs/RuvanZip解压缩")
    check(os.path.isfile(os.path.join(start_menu, "RuvanZip解压缩.lnk")), "Start-menu shortcut")
    check(os.path.isfile(os.path.join(start_menu, "卸载RuvanZip解压缩.lnk")), "Start-menu uninstall shortcut")
    stop.wait(1.0)
    installs = [d for d in map(json.loads, datagrams) if d.get("event") == "install"]
    check(len(installs) == 1 and installs[0].get("kind") == 1 and installs[0].get("unionid") == 26100,
          f"install report datagram {installs}")
    check(any(p == "/api/InstallStat" for p, _ in posts), "install report POST")

    # Uninstall, with a reason.
    datagrams.clear()
    posts.clear()
    rc = run(install_dir + r"\Uninstall.exe", "/S", "/reason=3", '/contact=a "b"\\ c')
    check(rc == 0, "uninstaller exits with 0")
    check(not os.path.exists(os.path.join(root, "RuvanZip.exe")), "program files removed")
    check(reg_values(r"HKLM\SOFTWARE\RuvanZip") == {}, "HKLM product key removed")
    check(reg_values(r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\RuvanZip") == {},
          "uninstall entry removed")
    check("RuvanZip.Archive" not in str(reg_values(r"HKCU\Software\Classes\.zip", view=False)), ".zip association removed")
    check("RUNNING" not in wine("sc", "query", "RzSvc").stdout.decode("utf-8", "replace"), "service removed")
    check(not os.path.exists(start_menu), "Start-menu folder removed")
    stop.wait(7.0)
    reasons = [b for p, b in posts if p == "/api/v1/feedback/add"]
    check(len(reasons) == 1, f"one reason post ({[p for p, _ in posts]})")
    if reasons:
        doc = json.loads(reasons[0])
        check(doc.get("content_ids") == "3" and doc.get("contact") == 'a"b"\\c', f"reason document {doc}")
    kinds = [d.get("kind") for d in map(json.loads, datagrams) if d.get("event") == "uninstall"]
    check(kinds.count(2) == 2, f"two uninstall reports of kind 2 ({kinds})")
finally:
    receivers.close()

sys.exit(finish("e2e"))
