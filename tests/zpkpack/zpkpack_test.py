#!/usr/bin/env python3
"""zpkpack, the packaging tool, as release engineers run it.

zpkpack_test.py CASE DIST [ARGS]
  errors DIST                      each bad input: its message, exit status 1, no output file
  deterministic DIST               the same inputs twice give the same bytes
  signed DIST                      a signed installer verifies with osslsigncode
  icons DIST                       the window's icon group: the shipped icon or --icon's
  install DIST ARCH PAYLOAD CONFIG E2E SKIN ICON
                                   the sample product packed with zpkpack, with its own skin
                                   (a staged folder) and icon, installs and uninstalls under
                                   Wine like the build's installer (E2E is the end-to-end
                                   script, run on the packed installer)
DIST is the installed tool: DIST/bin/zpkpack, DIST/share/zpksetup. A product of one's own
from an empty folder is zpkpack_product_test.py.
"""
import hashlib
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

import zpkpackutil

CASE, DIST = sys.argv[1], sys.argv[2]
zpkpackutil.use(DIST)
from zpkpackutil import *  # noqa: F401,F403,E402  the tool, the check log and a configuration


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
        ("install script syntax error in its second source",
         ["--install-script", os.path.join(SHARE, "scripts", "scriptbase.lua"),
          "--install-script", write(os.path.join(root, "steps.lua"), "\n\nlocal = 1\n")],
         re.escape(os.path.join(root, "steps.lua")) + r":3: <name> expected"),
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


def install(root, arch, payload, config, e2e, skin, icon):
    out = os.path.join(root, "RuvanZipPacked.exe")
    rc, stdout, stderr = zpkpack("--product", payload, "--config", config, "-o", out, "--arch", arch,
                                 "--skin", skin, "--icon", icon)
    print(stdout)
    check(rc == 0, f"pack the sample product for {arch}: exit status {rc} {stderr.strip()[-300:]!r}")
    if rc != 0:
        return
    wait_for_receiver_ports()
    # The end-to-end script starts services: its Wine children must not hold our pipes.
    r = subprocess.run([sys.executable, e2e, arch, out], stdin=subprocess.DEVNULL, timeout=900)
    check(r.returncode == 0, "the packed installer passes the end-to-end install and uninstall")


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
        install(root, *sys.argv[3:9])
    else:
        check(False, "known case " + CASE)
finally:
    shutil.rmtree(root, ignore_errors=True)

finish(CASE)
