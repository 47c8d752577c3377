#!/usr/bin/env python3
"""What takes the space in a program: its sections (from the stripped file) and, from the
linker's map, the code, read-only data and unwind tables each library or object brought.

usage: sizebreakdown.py STRIPPED.exe LINK.map [TOP]"""
import collections
import re
import subprocess
import sys

SECTIONS = (".text", ".rdata", ".eh_frame", ".data")


def sections(exe):
    """(name, size) of every section, from binutils' size in SysV form."""
    out = subprocess.run(["i686-w64-mingw32-size", "-A", exe], capture_output=True, text=True, check=True).stdout
    rows = []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[0].startswith(".") and parts[1].isdigit():
            rows.append((parts[0], int(parts[1])))
    return rows


def by_library(map_path):
    """Bytes per library (archive name, or object file) and output section kind."""
    sums = collections.defaultdict(collections.Counter)
    pending = None  # a section name on a line of its own: its figures follow on the next
    for line in open(map_path, errors="replace"):
        line = line.rstrip("\n")
        m = re.match(r"^ (\.\S+)\s*$", line)
        if m:
            pending = m.group(1)
            continue
        m = re.match(r"^ (\.\S+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        name = (m.group(1) or pending) if m else None
        pending = None
        if not name:
            continue
        kind = next((k for k in SECTIONS if name.startswith(k)), None)
        if kind:
            lib = re.sub(r"\(.*", "", m.group(3)).split("/")[-1]
            sums[lib][kind] += int(m.group(2), 16)
    return sums


def main():
    exe, map_path = sys.argv[1], sys.argv[2]
    top = int(sys.argv[3]) if len(sys.argv) > 3 else 15
    print("  sections: " + ", ".join("%s %d" % s for s in sections(exe)))
    sums = by_library(map_path)
    rows = sorted(sums.items(), key=lambda kv: -sum(kv[1].values()))
    print("  %-28s %9s %9s %9s %9s" % ("library", "bytes", "code", "rdata", "unwind"))
    for lib, c in rows[:top]:
        print("  %-28s %9d %9d %9d %9d" % (lib[:28], sum(c.values()), c[".text"], c[".rdata"], c[".eh_frame"]))
    rest = rows[top:]
    if rest:
        print("  %-28s %9d" % ("(%d more)" % len(rest), sum(sum(c.values()) for _, c in rest)))


if __name__ == "__main__":
    main()
