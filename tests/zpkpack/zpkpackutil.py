"""What the zpkpack tests share: the tool and its data (use() points them at DIST), the
check log, and a configuration made as a release engineer makes it."""
import os
import re
import subprocess
import sys

ZPKPACK = SHARE = STARTER = None
failures = []


def use(dist):
    global ZPKPACK, SHARE, STARTER
    ZPKPACK = os.path.join(dist, "bin", "zpkpack")
    SHARE = os.path.join(dist, "share", "zpksetup")
    STARTER = os.path.join(SHARE, "scripts", "config_template.lua")


def finish(case):
    print(f"zpkpack {case}: {'failed: ' + str(len(failures)) if failures else 'passed'}")
    sys.exit(1 if failures else 0)


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
