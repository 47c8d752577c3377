"""make_payload.py DIR IDLE_EXE: the fault-test installer's payload, made at build time:
a few text files in nested folders, a program (to run from the target, as an installed
program in use is) and 1.5 MB of incompressible data (to overflow a small volume)."""
import os
import random
import shutil
import sys

out, idle = sys.argv[1], sys.argv[2]
shutil.rmtree(out, ignore_errors=True)
for d in ["bin", "data", "docs/a/b"]:
    os.makedirs(os.path.join(out, d))
with open(os.path.join(out, "readme.txt"), "w") as f:
    f.write("fault-test product\n")
with open(os.path.join(out, "docs/a/b/deep.txt"), "w") as f:
    f.write("deep\n" * 100)
shutil.copyfile(idle, os.path.join(out, "bin/tool.exe"))
with open(os.path.join(out, "data/fill.bin"), "wb") as f:
    f.write(random.Random(14).randbytes(1536 * 1024))
