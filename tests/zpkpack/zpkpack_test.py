#!/usr/bin/env python3
"""zpkpack, the packaging tool, as release engineers run it.

zpkpack_test.py CASE DIST [ARGS]
  errors DIST                      each bad input: its message, exit status 1, no output file
  deterministic DIST               the same inputs twice give the same bytes
  signed DIST                      a signed installer verifies with osslsigncode
  icons DIST                       the window's icon group: the shipped icon or --icon's
  install DIST ARCH PAYLOAD CONFIG E2E
                                   the sample product packed with zpkpack installs and
                                   uninstalls under Wine like the build's installer (E2E is
                                   the end-to-end script, run on the packed installer)
  product DIST ARCH CC BINDIR WINBIN ARTEFACTS
                                   a product of its own (a program CC builds, a
                                   configuration from zpkpack init with its five values)
                                   packed, refused while another install runs (1618),
                                   cancelled in its window (1602), installed silently and
                                   removed by its QuietUninstallString, nothing left; no
                                   sample name in the default scripts or installed files
DIST is the installed tool: DIST/bin/zpkpack, DIST/share/zpksetup.
"""
import glob
import hashlib
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

CASE, DIST = sys.argv[1], sys.argv[2]
ZPKPACK = os.path.join(DIST, "bin", "zpkpack")
SHARE = os.path.join(DIST, "share", "zpksetup")
STARTER = os.path.join(SHARE, "scripts", "config_template.lua")
failures = []


def check(cond, what):
    print(("ok   " if cond else "FAIL ") + what, flush=True)
    if not cond:
        failures.append(what)
    return cond


def zpkpack(*args, env=None):
    r = subprocess.run([ZPKPACK, *args], capture_output=True, text=True, timeout=900,
                       env={**os.environ, **(env or {})})
    return r.returncode, r.stdout, r.stderr


def product(root):
    """A small product folder: the main program and a file in a subfolder. The engine's
    runtime (uninstaller, statistics and helper DLLs) is zpkpack's to add."""
    d = os.path.join(root, "product")
    os.makedirs(os.path.join(d, "docs"))
    with open(os.path.join(d, "Hello.exe"), "wb") as f:
        f.write(b"MZ" + bytes(range(256)) * 64)
    with open(os.path.join(d, "docs", "readme.txt"), "w") as f:
        f.write("read me\n" * 100)
    # Fixed times: the archive keeps the files' times, and they are part of the input.
    for base, dirs, files in os.walk(d):
        for n in dirs + files:
            os.utime(os.path.join(base, n), (1700000000, 1700000000))
    return d


def write(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return path


def fill(config, values):
    """The starter configuration's five empty values filled in."""
    with open(config, encoding="utf-8") as f:
        text = f.read()
    for name, value in values.items():
        text, n = re.subn(r"^%s = \"\"$" % name, lambda m: '%s = "%s"' % (name, value), text, flags=re.M)
        check(n == 1, f"the starter configuration has {name} to fill in")
    return write(config, text)


HELLO = {"global_product_name": "Hello Notes", "global_product_name_inner": "HelloNotes",
         "global_main_app_name": "Hello.exe", "global_company_name": "Hello Example Ltd.",
         "global_version": "1.0.0.70"}


def config_for(root, values=HELLO):
    """A configuration as a release engineer makes it: zpkpack init, then the five values."""
    folder = os.path.join(root, "config")
    rc, stdout, stderr = zpkpack("init", folder)
    check(rc == 0, f"zpkpack init {folder}: exit status {rc} {stderr.strip()!r}")
    return fill(os.path.join(folder, "config.lua"), values)


def resource(image, rtype, rid):
    """The data of resource (rtype, rid), first language, looked up as the loader does; None
    when the image has none."""
    u16 = lambda at: int.from_bytes(image[at:at + 2], "little")
    u32 = lambda at: int.from_bytes(image[at:at + 4], "little")
    pe = u32(0x3C)
    sections, optional = u16(pe + 6), u16(pe + 20)
    magic = u16(pe + 24)
    rsrc_rva = u32(pe + 24 + (112 if magic == 0x20B else 96) + 2 * 8)
    for i in range(sections):
        sh = pe + 24 + optional + 40 * i
        va, raw = u32(sh + 12), u32(sh + 20)
        if va == rsrc_rva:
            base = raw
            break
    else:
        return None

    def entry(directory, wanted):
        named, ids = u16(directory + 12), u16(directory + 14)
        for k in range(named, named + ids):
            e = directory + 16 + 8 * k
            if u32(e) == wanted:
                return base + (u32(e + 4) & 0x7FFFFFFF)
        return None

    d = entry(base, rtype)
    d = d is not None and entry(d, rid)
    if not d:
        return None
    e = d + 16  # the first language
    data = base + (u32(e + 4) & 0x7FFFFFFF)
    rva, size = u32(data), u32(data + 4)
    return image[base + rva - rsrc_rva:base + rva - rsrc_rva + size]


def icons(root):
    """The window loads icon group 128: the shipped icon by default, --icon's otherwise."""
    prod = product(root)
    CONFIG = config_for(root)
    shipped = open(os.path.join(SHARE, "installer.ico"), "rb").read()
    # The same directory with other picture bytes: zpkpack does not decode the pictures.
    header = 6 + 16 * int.from_bytes(shipped[4:6], "little")
    own = shipped[:header] + b"\x5A" * (len(shipped) - header)
    own_ico = os.path.join(root, "own.ico")
    with open(own_ico, "wb") as f:
        f.write(own)
    for what, extra, ico in [("default", [], shipped), ("--icon", ["--icon", own_ico], own)]:
        out = os.path.join(root, f"{what.strip('-')}.exe")
        rc, _, stderr = zpkpack("--product", prod, "--config", CONFIG, "-o", out, "--arch", "x86_64", *extra)
        if not check(rc == 0, f"pack with the {what} icon: exit status {rc} {stderr.strip()[-300:]!r}"):
            continue
        image = open(out, "rb").read()
        group = resource(image, 14, 128)
        count = int.from_bytes(ico[4:6], "little")
        check(group is not None and int.from_bytes(group[4:6], "little") == count,
              f"{what}: icon group 128 with the file's {count} pictures")
        check(resource(image, 14, 1) is None, f"{what}: no other icon group")
        # Every picture of the file is an RT_ICON the group names.
        for k in range(count if group else 0):
            size, offset = (int.from_bytes(ico[6 + 16 * k + at:6 + 16 * k + at + 4], "little") for at in (8, 12))
            icon_id = int.from_bytes(group[6 + 14 * k + 12:6 + 14 * k + 14], "little")
            check(resource(image, 3, icon_id) == ico[offset:offset + size], f"{what}: picture {k} as icon {icon_id}")


def errors(root):
    prod = product(root)
    CONFIG = config_for(root)
    out = os.path.join(root, "out.exe")
    # A product folder that ships its own (different) copy of a runtime file.
    own_helper = os.path.join(root, "ownhelper")
    shutil.copytree(prod, own_helper)
    with open(os.path.join(own_helper, "Func_Helper.DLL"), "wb") as f:
        f.write(b"MZ not the engine's helper")
    with open(CONFIG, encoding="utf-8") as f:
        config = f.read()
    cases = [
        ("missing product folder", ["--product", os.path.join(root, "nothing")],
         r"the product folder .*nothing does not exist"),
        ("main program absent",
         ["--config", write(os.path.join(root, "other_main.lua"),
                            config.replace('global_main_app_name = "Hello.exe"',
                                           'global_main_app_name = "Other.exe"'))],
         r"the main program Other\.exe \(global_main_app_name\) is not in the product folder"),
        ("a product file the configuration names is absent",
         ["--config", write(os.path.join(root, "cert.lua"), config + '\nglobal_certificate_file = "root.cer"\n')],
         r"global_certificate_file names root\.cer, which is not in the product folder"),
        ("a product's own copy of a runtime file",
         ["--product", own_helper],
         r"the product folder holds its own Func_Helper\.DLL, which differs from the engine's .*--own-runtime"),
        ("the five values left empty",
         ["--config", STARTER],
         r"(?s)global_product_name is empty: fill it in.*global_version is empty: fill it in"),
        ("configuration syntax error",
         ["--config", write(os.path.join(root, "broken_cfg.lua"), config + "\nglobal_x = = 1\n")],
         re.escape(os.path.join(root, "broken_cfg.lua")) + r":%d: unexpected symbol" % (config.count("\n") + 2)),
        ("install script syntax error",
         ["--install-script", write(os.path.join(root, "inst.lua"), "function ZPKSE_BeforeInit()\n  x = \nend\n")],
         re.escape(os.path.join(root, "inst.lua")) + r":3: unexpected symbol near 'end'"),
        ("uninstall script syntax error",
         ["--uninstall-script", write(os.path.join(root, "uninst.lua"), "local t = {\n")],
         re.escape(os.path.join(root, "uninst.lua")) + r":2: .*expected"),
        ("missing and mistyped globals",
         ["--config", write(os.path.join(root, "globals.lua"),
                            config.replace("\nglobal_company_name =", "\n-- global_company_name =")
                            + '\nglobal_app_id = "161"\n')],
         r"(?s)global_company_name is missing.*global_app_id must be a number, not a string"),
        ("skin folder missing", ["--skin", os.path.join(root, "noskin")], r"cannot read the skin: .*noskin"),
        ("skin is a file", ["--skin", CONFIG], r"cannot read the skin: .*not a readable folder"),
        ("bad --version", ["--version", "1.2.3"], r'bad version string "1\.2\.3"'),
        ("--version out of the registry's range", ["--version", "1.2.100.4"], r'bad version string "1\.2\.100\.4"'),
        ("bad global_version",
         ["--config", write(os.path.join(root, "version.lua"),
                            config.replace('global_version = "1.0.0.70"', 'global_version = "1.0"'))],
         r'bad version string "1\.0"'),
        ("not an icon", ["--icon", CONFIG], r"not an icon file"),
        ("unknown architecture", ["--arch", "arm64"], r"--arch must be i686 or x86_64"),
    ]
    for what, extra, pattern in cases:
        # An installer from an earlier run must not survive a failed one either.
        with open(out, "wb") as f:
            f.write(b"old installer")
        args = {"--product": prod, "--config": CONFIG, "-o": out}
        for i in range(0, len(extra), 2):
            args[extra[i]] = extra[i + 1]
        rc, stdout, stderr = zpkpack(*[x for kv in args.items() for x in kv])
        check(rc == 1, f"{what}: exit status {rc}")
        check(re.search(pattern, stderr) is not None, f"{what}: message {stderr.strip()!r}")
        check(not os.path.exists(out), f"{what}: no output file")
        check(not [n for n in os.listdir(root) if n.startswith(".zpkpack-")], f"{what}: no working folder left")

    # The product's own runtime file: shipped with --own-runtime; an identical copy (one
    # taken from the runtime itself) needs no option.
    rc, stdout, stderr = zpkpack("--product", own_helper, "--config", CONFIG, "-o", out, "--own-runtime")
    check(rc == 0 and "func_helper.dll: the product's own copy (--own-runtime)" in stdout
          and re.search(r"runtime:   Uninstall\.exe, rmstat\.dll added", stdout) is not None,
          f"--own-runtime ships the product's copy: {stdout.strip()!r} {stderr.strip()[-200:]!r}")
    same = os.path.join(root, "samehelper")
    shutil.copytree(prod, same)
    shutil.copy(os.path.join(SHARE, "runtime", "i686", "rmstat.dll"), same)
    rc, stdout, stderr = zpkpack("--product", same, "--config", CONFIG, "-o", out)
    check(rc == 0 and "rmstat.dll: the product's copy, identical" in stdout,
          f"an identical copy is accepted: {stdout.strip()!r} {stderr.strip()[-200:]!r}")

    # zpkpack init never overwrites a configuration.
    folder = os.path.join(root, "config")
    before = open(os.path.join(folder, "config.lua"), encoding="utf-8").read()
    rc, stdout, stderr = zpkpack("init", folder)
    check(rc == 1 and "exists already: not overwritten" in stderr, f"init over an existing file: {rc} {stderr.strip()!r}")
    check(open(os.path.join(folder, "config.lua"), encoding="utf-8").read() == before, "the existing file is unchanged")
    rc, stdout, stderr = zpkpack("init")
    check(rc == 1 and "init needs a folder" in stderr, f"init without a folder: {rc} {stderr.strip()!r}")


def deterministic(root):
    prod = product(root)
    CONFIG = config_for(root)
    outs = []
    for name in ["first.exe", "second.exe"]:
        out = os.path.join(root, name)
        rc, stdout, stderr = zpkpack("--product", prod, "--config", CONFIG, "-o", out, "--arch", "x86_64",
                                     "--version", "2.3.4.5")
        check(rc == 0, f"pack {name}: exit status {rc} {stderr.strip()[-300:]!r}")
        outs.append(out)
        for field in ["files:     5", "unpacked:", "packed:", "ratio", "output:    " + out, "signature: none",
                      "runtime:   Uninstall.exe, func_helper.dll, rmstat.dll added (engine runtime, x86_64)"]:
            check(field in stdout, f"summary shows {field!r}")
    if all(os.path.exists(p) for p in outs):
        a, b = (open(p, "rb").read() for p in outs)
        check(a == b, f"identical bytes ({hashlib.sha256(a).hexdigest()[:16]} / {hashlib.sha256(b).hexdigest()[:16]})")
        # The version resource carries --version: file and product version 2.3.4.5.
        fixed = a.find(b"\xbd\x04\xef\xfe", a.find("VS_VERSION_INFO".encode("utf-16-le")))
        check(fixed > 0 and a[fixed + 8:fixed + 16] == b"\x03\x00\x02\x00\x05\x00\x04\x00",
              "version resource 2.3.4.5")
        check("2.3.4.5".encode("utf-16-le") in a, "version text in the version resource")


def signed(root):
    prod = product(root)
    CONFIG = config_for(root)
    key, cert = os.path.join(root, "key.pem"), os.path.join(root, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "30", "-subj", "/CN=zpkpack test signer/O=Ruvan Software (test)",
                    "-addext", "extendedKeyUsage=codeSigning"],
                   check=True, capture_output=True)
    outs = []
    for name in ["signed1.exe", "signed2.exe"]:
        out = os.path.join(root, name)
        rc, stdout, stderr = zpkpack("--product", prod, "--config", CONFIG, "-o", out, "--sign-cert", cert,
                                     "--sign-key", key, "--no-timestamp", env={"SOURCE_DATE_EPOCH": "1700000000"})
        check(rc == 0, f"signed pack: exit status {rc} {stderr.strip()[-300:]!r}")
        check("signature: Authenticode" in stdout, "summary names the signature")
        outs.append(out)
    v = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", outs[0]], capture_output=True, text=True)
    print(v.stdout[-1500:])
    check(v.returncode == 0 and "Signature verification: ok" in v.stdout, "osslsigncode verify")
    check(re.search(r"^PE checksum\s*: [0-9A-F]{8}", v.stdout, re.M) is not None and "invalid PE checksum" not in v.stdout,
          "PE checksum matches")
    # The unsigned installer's own checksum, written by zpkpack.
    unsigned = os.path.join(root, "unsigned.exe")
    zpkpack("--product", prod, "--config", CONFIG, "-o", unsigned)
    u = subprocess.run(["osslsigncode", "verify", "-in", unsigned], capture_output=True, text=True)
    check(re.search(r"^PE checksum\s*: [0-9A-F]{8}", u.stdout, re.M) is not None and "invalid PE checksum" not in u.stdout,
          "unsigned installer: PE checksum matches " + " ".join(l for l in u.stdout.splitlines() if "checksum" in l))
    if all(os.path.exists(p) for p in outs):
        check(open(outs[0], "rb").read() == open(outs[1], "rb").read(),
              "signed twice with a fixed signing time: identical bytes")
    # A missing key fails cleanly.
    out = os.path.join(root, "nokey.exe")
    rc, stdout, stderr = zpkpack("--product", prod, "--config", CONFIG, "-o", out, "--sign-cert", cert,
                                 "--sign-key", os.path.join(root, "absent.pem"), "--no-timestamp")
    check(rc == 1 and "cannot read the signing key" in stderr and not os.path.exists(out), f"missing key: {stderr.strip()!r}")
    # A key that does not fit the certificate: osslsigncode refuses, nothing is left.
    other = os.path.join(root, "other.pem")
    subprocess.run(["openssl", "genrsa", "-out", other, "2048"], check=True, capture_output=True)
    rc, stdout, stderr = zpkpack("--product", prod, "--config", CONFIG, "-o", out, "--sign-cert", cert,
                                 "--sign-key", other, "--no-timestamp")
    check(rc == 1 and "could not sign" in stderr and not os.path.exists(out), f"wrong key: {stderr.strip()[-200:]!r}")
    rc, stdout, stderr = zpkpack("--product", prod, "--config", CONFIG, "-o", out, "--sign-cert", cert,
                                 "--sign-key", key)
    check(rc == 1 and "--no-timestamp" in stderr, "a signature without a time-stamp choice is refused")


def wait_for_receiver_ports(limit=600):
    """The end-to-end script's fixed loopback ports (UDP 8100, HTTP 18731) may be held by
    another end-to-end test on this machine: wait for them rather than fail."""
    deadline = time.time() + limit
    while time.time() < deadline:
        try:
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as u, \
                 socket.socket(socket.AF_INET, socket.SOCK_STREAM) as t:
                u.bind(("127.0.0.1", 8100))
                t.bind(("127.0.0.1", 18731))
            return
        except OSError:
            time.sleep(2)


def install(root, arch, payload, config, e2e):
    out = os.path.join(root, "RuvanZipPacked.exe")
    rc, stdout, stderr = zpkpack("--product", payload, "--config", config, "-o", out, "--arch", arch)
    print(stdout)
    check(rc == 0, f"pack the sample product for {arch}: exit status {rc} {stderr.strip()[-300:]!r}")
    if rc != 0:
        return
    wait_for_receiver_ports()
    # The end-to-end script starts services: its Wine children must not hold our pipes.
    r = subprocess.run([sys.executable, e2e, arch, out], stdin=subprocess.DEVNULL, timeout=900)
    check(r.returncode == 0, "the packed installer passes the end-to-end install and uninstall")


# Names of the sample product that a product of one's own must never meet.
SAMPLE_NAMES = ["ruvan", "rzsrv", "rzsvc", "ishellext", "nuusercenter", "ghelper", "ffmpeg", "http.cer"]


def sample_names_in(path):
    """The sample names a file holds, as ASCII/UTF-8 or UTF-16 text, any case."""
    data = open(path, "rb").read().lower()
    return [n for n in SAMPLE_NAMES if n.encode() in data or n.encode("utf-16-le") in data]


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
    rc, stdout, stderr = zpkpack("--product", prod, "--config", config, "--arch", arch, "-o", setup)
    print(stdout)
    if not check(rc == 0, f"pack for {arch}: exit status {rc} {stderr.strip()[-300:]!r}"):
        return
    check(f"runtime:   Uninstall.exe, func_helper.dll, rmstat.dll added (engine runtime, {arch})" in stdout,
          "the summary lists the runtime zpkpack added")
    for script in ["instscript.lua", "uninstscript.lua", "config_template.lua"]:
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
            check(os.path.isfile(shot), "screenshot " + shot)
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


root = tempfile.mkdtemp(prefix="zpkpack-test-")
try:
    if not os.path.isfile(ZPKPACK):
        check(False, f"{ZPKPACK} exists (./zpk build makes it)")
    elif CASE == "errors":
        errors(root)
    elif CASE == "deterministic":
        deterministic(root)
    elif CASE == "signed":
        signed(root)
    elif CASE == "icons":
        icons(root)
    elif CASE == "install":
        install(root, *sys.argv[3:7])
    elif CASE == "product":
        product_case(root, *sys.argv[3:8])
    else:
        check(False, "known case " + CASE)
finally:
    shutil.rmtree(root, ignore_errors=True)

print(f"zpkpack {CASE}: {'failed: ' + str(len(failures)) if failures else 'passed'}")
sys.exit(1 if failures else 0)
