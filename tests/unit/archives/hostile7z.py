"""hostile7z.py OUT: archives whose entry names try to leave the destination.

7zz refuses to store such names, so each archive is made with a harmless placeholder of
the same length and an uncompressed header, then the name is patched in the header and
both header CRCs are recomputed. Every archive holds "ok.txt" and one hostile entry.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

HOSTILE = {
    "dotdot": ("xx_escape.txt", "../escape.txt"),
    "dotdot_inner": ("sub/xx_xx_up.txt", "sub/../../up.txt"),
    "backslash": ("xx_bs_escape.txt", "..\\bs_escape.txt"),
    "absolute": ("xzpk_abs_escape.txt", "/zpk_abs_escape.txt"),
    "drive": ("xx_zpk_drive_escape.txt", "C:/zpk_drive_escape.txt"),
    "drive_relative": ("xxzpk_reldrive.txt", "C:zpk_reldrive.txt"),
}


def patch(archive, old, new):
    data = bytearray(open(archive, "rb").read())
    offset, size, _ = struct.unpack("<QQI", data[12:32])
    start = 32 + offset
    header = data[start:start + size]
    old16, new16 = old.encode("utf-16-le"), new.encode("utf-16-le")
    assert len(old16) == len(new16) and header.count(old16) == 1, (old, new)
    assert header[0] == 0x01, "header must be stored plain (-mhc=off)"
    header = header.replace(old16, new16)
    data[start:start + size] = header
    data[12:32] = struct.pack("<QQI", offset, size, zlib.crc32(header))
    data[8:12] = struct.pack("<I", zlib.crc32(bytes(data[12:32])))
    open(archive, "wb").write(data)


def main(out):
    for key, (placeholder, name) in HOSTILE.items():
        with tempfile.TemporaryDirectory() as src:
            with open(os.path.join(src, "ok.txt"), "w") as f:
                f.write("inside\n")
            path = os.path.join(src, placeholder)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write("must never be written\n")
            archive = os.path.join(out, "hostile_%s.7z" % key)
            subprocess.run(["7zz", "a", "-t7z", "-bd", "-y", "-mhc=off", "-m0=Copy", archive,
                            "ok.txt", placeholder.split("/")[0]],
                           cwd=src, check=True, stdout=subprocess.DEVNULL)
            patch(archive, placeholder, name)


if __name__ == "__main__":
    main(sys.argv[1])
