#!/usr/bin/env python3
"""Our silent install against NSIS's, side by side in one invocation: the same folder
packed by zpkpack (x86_64) and by makensis (amd64-unicode, solid LZMA, 64 MB dictionary),
installed with /s and /S under wine64, each install in a fresh copy of one clean template
prefix, the two tools alternating, medians of RUNS. Prints wall time (start to exit), peak
resident memory of the installer process and installer size with our ratios to NSIS, for
the corpus and for a product of a few small files (beside a program that does nothing, in
a fresh prefix as well: Wine's own process start), then where our corpus install spent its
time, from the install log's timestamps.

usage: installer-bench.py --zpkpack BIN --corpus-dir DIR --cache DIR --work DIR
                          --template PREFIX --nothing EXE [--runs N]"""
import argparse
import glob
import os
import re
import shutil
import statistics
import subprocess
import time

import nsisinstaller
import silentinstall

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
NAME, INNER = silentinstall.VALUES["global_product_name"], silentinstall.VALUES["global_product_name_inner"]


def small_product(folder, nothing):
    """A product of a few small files: a program, a library-sized file and some text."""
    if os.path.isdir(folder):
        return folder
    os.makedirs(folder + ".tmp/docs", exist_ok=True)
    shutil.copy(nothing, folder + ".tmp/app.exe")
    with open(folder + ".tmp/engine.bin", "wb") as f:
        f.write(bytes((i * 7919) % 251 for i in range(200000)))
    for i in range(4):
        with open(folder + ".tmp/docs/note%d.txt" % i, "w") as f:
            f.write(("line %d of a small product's notes\n" % i) * 200)
    os.rename(folder + ".tmp", folder)
    return folder


def fresh_prefix(template, work):
    prefix = os.path.join(work, "prefix")
    shutil.rmtree(prefix, ignore_errors=True)
    subprocess.run(["cp", "-a", template, prefix], check=True)
    return prefix


def run_in_fresh_prefix(template, work, args):
    """(wall seconds, peak resident MiB, exit code, install log text) of one program run
    in a fresh copy of the template prefix; the copy is removed afterwards."""
    prefix = fresh_prefix(template, work)
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
    subprocess.run(["sync"])
    start = time.monotonic()
    proc = subprocess.Popen([WINE, *args], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    logs = sorted(glob.glob(os.path.join(prefix, "drive_c", "users", "*", "**", "Install_*.log"), recursive=True))
    log = "".join(open(p, encoding="utf-8", errors="replace").read() for p in logs)
    subprocess.run([WINESERVER, "-k"], env=env, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-w"], env=env, stderr=subprocess.DEVNULL)
    shutil.rmtree(prefix, ignore_errors=True)
    return wall, usage.ru_maxrss / 1024.0, os.waitstatus_to_exitcode(status), log


# "[date time.ms] [level] [thread] [source place] text", as the install log writes it.
STAMP = re.compile(r"^\[(\d+)-(\d+)-(\d+) (\d+):(\d+):(\d+)\.(\d+)\] \[\w+\] \[\d+\] (?:\[[^\]]*\] )?(.*)$")


def timeline(log):
    """(seconds since the first line, text) of every line of the install log."""
    lines = []
    for raw in log.splitlines():
        m = STAMP.match(raw)
        if m:
            h, mi, s, ms = (int(x) for x in m.groups()[3:7])
            lines.append((h * 3600 + mi * 60 + s + ms / 1000.0, m.group(8)))
    if not lines:
        return []
    first = lines[0][0]
    return [(t - first, text) for t, text in lines]


def breakdown(log, wall):
    """Our install's phases: each 'step:' line of the log (the host's, or a script's through
    Lua_Logout) opens one, which lasts to the next; 'pause:' lines inside a phase are its
    fixed pauses. Before the first line lie Wine's and our start-up, after the last the exit."""
    lines = [(t, text[4:] if text.startswith("log:") else text) for t, text in timeline(log)]
    if not lines or not any(text.startswith("step: ") for _, text in lines):
        print("  (no step lines in the install log)")
        return
    logged = lines[-1][0]
    phases = [[0.0, "start-up: configuration and install chunks, instance check", 0.0]]
    for t, text in lines:
        if text.startswith("step: "):
            phases.append([t, text[6:], 0.0])
        elif text.startswith("pause: "):
            phases[-1][2] += int(text.split()[1]) / 1000.0
    print("  %-62s %7.3f s" % ("Wine's process start, until the first log line; and exit", wall - logged))
    for (t, name, paused), (t_next, _, _) in zip(phases, phases[1:] + [[logged, None, 0]]):
        print("  %-62s %7.3f s%s" % (name[:62], t_next - t, "  (fixed pauses %.3f s)" % paused if paused else ""))
    for t, text in lines:
        if "payload check:" in text or text.startswith("extraction:"):
            print("    " + text)


def median_row(samples):
    return tuple(statistics.median(s[i] for s in samples) for i in range(2))


def compare(label, setups, template, work, runs, nothing):
    """Alternating runs of the two installers (and the do-nothing program); medians."""
    results = {name: [] for name in setups}
    results["nothing"] = []
    logs = []
    for r in range(runs):
        order = list(setups) if r % 2 == 0 else list(reversed(list(setups)))
        for name in order + ["nothing"]:
            exe, switch = setups[name] if name in setups else (nothing, None)
            wall, rss, rc, log = run_in_fresh_prefix(template, work, [exe] + ([switch] if switch else []))
            if rc != 0:
                raise SystemExit("installer-bench: %s exited with %d" % (exe, rc))
            results[name].append((wall, rss))
            if name == "ours":
                logs.append((wall, log))
        print("  run %d of %d done (load average %.2f)" % (r + 1, runs, os.getloadavg()[0]), flush=True)
    nsis, ours, start = (median_row(results[n]) for n in ("nsis", "ours", "nothing"))
    size_nsis, size_ours = (os.path.getsize(setups[n][0]) for n in ("nsis", "ours"))
    print("\n%s, medians of %d:" % (label, runs))
    print("| | NSIS | ours | ours / NSIS |")
    print("|---|---|---|---|")
    print("| silent install, start to exit | %.2f s | %.2f s | %.2fx |" % (nsis[0], ours[0], ours[0] / nsis[0]))
    print("| beyond Wine's process start (%.2f s) | %.2f s | %.2f s | %.2fx |" % (
        start[0], nsis[0] - start[0], ours[0] - start[0], (ours[0] - start[0]) / max(nsis[0] - start[0], 1e-3)))
    print("| peak resident memory of the installer | %.1f MiB | %.1f MiB | %.2fx |" % (nsis[1], ours[1], ours[1] / nsis[1]))
    print("| installer size | {:,} bytes | {:,} bytes | {:.3f}x |".format(size_nsis, size_ours, size_ours / size_nsis))
    print("  runs (s): NSIS %s; ours %s; nothing %s" % tuple(
        " ".join("%.2f" % w for w, _ in results[n]) for n in ("nsis", "ours", "nothing")))
    print("  peak MiB: NSIS %s; ours %s; nothing %s" % tuple(
        " ".join("%.0f" % m for _, m in results[n]) for n in ("nsis", "ours", "nothing")))
    return sorted(logs)[len(logs) // 2]


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--zpkpack", required=True)
    p.add_argument("--corpus-dir", required=True)
    p.add_argument("--cache", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--template", required=True, help="a ready Wine prefix, copied for every run")
    p.add_argument("--nothing", required=True, help="a Windows program that only exits")
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--only", default="corpus,small")
    args = p.parse_args()
    os.makedirs(args.work, exist_ok=True)
    print("load average before the runs: %.2f %.2f %.2f (2 cores; figures from a busy machine spread widely)"
          % os.getloadavg())
    products = []
    if "corpus" in args.only:
        products.append(("corpus (%s)" % args.corpus_dir, args.corpus_dir, "dlls", "kernel32.dll"))
    if "small" in args.only:
        small = small_product(os.path.join(args.cache, "small-product"), args.nothing)
        products.append(("a product of a few small files", small, "smallproduct", "app.exe"))
    for label, folder, name, main_file in products:
        ours = silentinstall.installer(args.zpkpack, folder, args.cache, args.work, "x86_64", name, main_file)
        nsis, version = nsisinstaller.build(folder, os.path.join(args.cache, name + "-nsis.exe"), NAME, INNER, main_file)
        print("\n== %s: NSIS %s against ours, each install in a fresh prefix" % (label, version), flush=True)
        wall, log = compare(label, {"nsis": (nsis, "/S"), "ours": (ours, "/s")}, args.template, args.work,
                            args.runs, args.nothing)
        print("\nwhere our install's time went (the median run, %.2f s, from its log):" % wall)
        breakdown(log, wall)
    print("\nload average after the runs: %.2f %.2f %.2f" % os.getloadavg())


if __name__ == "__main__":
    main()
