#!/usr/bin/env python3
"""Extraction benchmark: native 7zz (one thread, default threads) against our
extraction under Wine (zpklua.exe running extract.lua, i.e. Lua_UnCompress7z from a
file), on each corpus archive. Prints wall time, throughput and peak resident memory
(medians of several runs) and our ratios to `7zz x -mmt1`.

With --setup it also prints the installer's size and, when DISPLAY is set, the time from
starting it to its window being viewable on the X server (warm Wine, medians). With
--zpkpack and --corpus-dir it packs that folder (the large corpus's files) into an i686
installer and times its silent install (silentinstall.py) against the extraction rows.

usage: extract-bench.py --zpklua EXE --corpus DIR [--runs N] [--work DIR] [--setup EXE]
Needs WINEPREFIX set to a ready prefix (extract-bench.sh makes one)."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

import silentinstall

WINE = "/usr/lib/wine/wine64"


def run_measured(cmd, cwd=None):
    """Runs cmd; returns (wall seconds, peak RSS in MiB of the process and the children
    it waited for). wait4's rusage is the started process's own: for wine64 that is the
    Windows program (wineserver runs apart)."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    # Reading stderr to its end before wait4: the pipe must not fill up.
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit("benchmark: %s failed (%d): %s" % (" ".join(cmd), proc.returncode,
                                                   err.decode(errors="replace")[-2000:]))
    return wall, usage.ru_maxrss / 1024.0, usage.ru_utime + usage.ru_stime


def archive_facts(archive):
    out = subprocess.run(["7zz", "l", "-slt", archive], capture_output=True, text=True, check=True).stdout
    body = out.split("----------\n", 1)[1] if "----------\n" in out else out
    total = files = 0
    blocks = "?"
    for line in out.split("----------\n", 1)[0].splitlines():
        if line.startswith("Blocks = "):
            blocks = line[9:]
    for line in body.splitlines():
        if line.startswith("Size = "):
            total += int(line[7:])
        elif line.startswith("Path = "):
            files += 1
    return total, files, blocks


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def bench_archive(name, archive, args, rows):
    total, files, blocks = archive_facts(archive)
    packed = os.path.getsize(archive)
    print("\n== %s: %s, %.1f MiB packed, %.1f MiB unpacked, %d entries, %s solid block(s)"
          % (name, os.path.basename(archive), packed / 2**20, total / 2**20, files, blocks))
    out = os.path.join(args.work, "out")
    tools = [
        ("7zz x -mmt1", lambda: ["7zz", "x", "-mmt1", "-y", "-bd", "-bso0", "-bsp0", "-o" + out, archive]),
        ("7zz x", lambda: ["7zz", "x", "-y", "-bd", "-bso0", "-bsp0", "-o" + out, archive]),
        ("ours (wine64)", lambda: [WINE, args.zpklua, winpath(args.script), winpath(archive), winpath(out)]),
    ]
    if args.before:
        tools.append(("before (wine64)", lambda: [WINE, args.before, winpath(args.script), winpath(archive), winpath(out)]))
    results = {}
    for label, make in tools:
        walls, rsss, cpus = [], [], []
        for _ in range(args.runs):
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            subprocess.run(["sync"])
            wall, rss, cpu = run_measured(make())
            walls.append(wall)
            rsss.append(rss)
            cpus.append(cpu)
        results[label] = (statistics.median(walls), statistics.median(rsss), walls, statistics.median(cpus))
    shutil.rmtree(out, ignore_errors=True)
    base_wall, base_rss, _, _ = results["7zz x -mmt1"]
    print("%-16s %8s %8s %9s %9s %7s %7s   %s" % ("tool", "wall s", "cpu s", "MiB/s", "peak MiB", "wall x", "mem x",
                                                 "runs (s)"))
    for label, (wall, rss, walls, cpu) in results.items():
        print("%-16s %8.2f %8.2f %9.1f %9.1f %7.2f %7.2f   %s" % (
            label, wall, cpu, total / 2**20 / wall, rss, wall / base_wall, rss / base_rss,
            " ".join("%.2f" % w for w in walls)))
    rows.append((name, results))


def window_shown(title_pattern):
    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title_pattern],
                       capture_output=True, text=True)
    return r.returncode == 0 and r.stdout.strip() != ""


def first_window(setup, runs):
    """Seconds from starting the installer (windowed) to its window becoming viewable,
    polled every 5 ms; the first start only warms Wine and the page cache."""
    times = []
    for i in range(runs + 1):
        start = time.monotonic()
        proc = subprocess.Popen([WINE, setup], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        shown = None
        while shown is None and time.monotonic() - start < 60 and proc.poll() is None:
            if window_shown("安装$"):
                shown = time.monotonic() - start
            else:
                time.sleep(0.005)
        subprocess.run([WINE, "taskkill", "/f", "/im", os.path.basename(setup)], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        proc.wait()
        if shown is None:
            return None
        if i > 0:
            times.append(shown)
    return statistics.median(times)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--zpklua", required=True)
    p.add_argument("--corpus", required=True)
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--only", default="large,small", help="corpora to run: large, small or both")
    p.add_argument("--before", help="another zpklua.exe (an older extraction) for a row of its own")
    p.add_argument("--work", default="/tmp/zpk-bench")
    p.add_argument("--setup", help="i686 installer executable, for its size")
    p.add_argument("--payload", help="that installer's packed payload, subtracted from its size")
    p.add_argument("--strip", help="strip program for the installer's size without debug data")
    p.add_argument("--stub", help="the i686 stub zpkpack ships, for its size and breakdown")
    p.add_argument("--stub-map", help="the linker's map of that stub")
    p.add_argument("--zpkpack", help="zpkpack, to pack the corpus folder into an installer")
    p.add_argument("--corpus-dir", help="the folder the large corpus was packed from")
    args = p.parse_args()
    args.script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "extract.lua")
    os.makedirs(args.work, exist_ok=True)

    # Wine's own start-up, to read the wall times of our rows against.
    empty = os.path.join(args.work, "empty.lua")
    with open(empty, "w") as f:
        f.write("-- nothing\n")
    starts = [run_measured([WINE, args.zpklua, winpath(empty)]) for _ in range(args.runs)]
    print("load average before the runs: %.1f (figures from a busy machine spread widely)" % os.getloadavg()[0])
    print("wine64 start-up of zpklua.exe (empty script): %.2f s, %.1f MiB peak" % (
        statistics.median(s[0] for s in starts), statistics.median(s[1] for s in starts)))

    rows = []
    for name, file in (("large", "dlls-payload.7z"), ("small files", "small.7z")):
        path = os.path.join(args.corpus, file)
        if os.path.exists(path) and name.split()[0] in args.only.split(","):
            bench_archive(name, path, args, rows)

    large = dict(rows).get("large")
    corpus_setup = None
    if args.zpkpack and args.corpus_dir and large:
        timed = silentinstall.bench(args.zpkpack, args.corpus_dir, args.corpus, args.work, args.runs)
        if timed:
            wall, size, corpus_setup = timed
            print("\nour silent install of the large corpus (i686 installer %.1f MiB, /s, start to exit): %.2f s,"
                  " %.2fx 7zz x -mmt1's extraction, %.2fx our extraction" % (
                      size / 2**20, wall, wall / large["7zz x -mmt1"][0], wall / large["ours (wine64)"][0]))
            print("(against NSIS's install of the same files: tools/bench/installer-bench.sh)")
            print("the installer's log: " + silentinstall.payload_check_line())

    if args.setup and os.path.exists(args.setup):
        size = os.path.getsize(args.setup)
        payload = os.path.getsize(args.payload) if args.payload and os.path.exists(args.payload) else 0
        line = "\ni686 installer %s: %.2f MiB, without payload %.2f MiB" % (
            os.path.basename(args.setup), size / 2**20, (size - payload) / 2**20)
        if args.strip:
            stripped = os.path.join(args.work, "stripped.exe")
            subprocess.run([args.strip, "-o", stripped, args.setup], check=True)
            line += ", stripped without payload %.2f MiB" % ((os.path.getsize(stripped) - payload) / 2**20)
        print(line)
        if args.stub and os.path.exists(args.stub):
            print("i686 stub %s: %d bytes   goal 2000000" % (os.path.basename(args.stub), os.path.getsize(args.stub)))
            if args.stub_map and os.path.exists(args.stub_map):
                here = os.path.dirname(os.path.abspath(__file__))
                subprocess.run([sys.executable, os.path.join(here, "sizebreakdown.py"), args.stub, args.stub_map],
                               check=False)
        if os.environ.get("DISPLAY") and shutil.which("xdotool"):
            # The sample's small payload, and the corpus's 85 MiB one, whose hash no longer
            # delays the window.
            for setup in [args.setup, corpus_setup]:
                if not setup:
                    continue
                shown = first_window(setup, args.runs)
                print("first window of %s, %.1f MiB (windowed start to viewable, warm Wine): %s   goal 0.30 s" % (
                    os.path.basename(setup), os.path.getsize(setup) / 2**20,
                    "%.2f s" % shown if shown is not None else "never shown"))


if __name__ == "__main__":
    main()
