"""Helpers shared by the end-to-end tests: Wine runner, registry reader, path conversion,
loopback report receivers and the check/summary bookkeeping.

Every test runs under the test command's Wine prefix (WINEPREFIX from the environment).
"""
import http.server
import json
import socket
import subprocess
import threading
import time

WINE = "/usr/lib/wine/wine64"


def low_byte(code):
    """What a Unix parent sees of a Windows exit code: Wine passes on only its low 8 bits
    (1603 arrives as 67), so the full code is compared through them."""
    return code & 0xff
UDP_PORT = 8100
HTTP_PORT = 18731
failures = []


def check(cond, what):
    print(("ok   " if cond else "FAIL ") + what, flush=True)
    if not cond:
        failures.append(what)
    return cond


def finish(name):
    """Prints the summary line and gives the exit code."""
    print(f"{name + ' failed: ' + str(len(failures)) if failures else name + ' passed'}", flush=True)
    return 1 if failures else 0


def wine(*args, timeout=300):
    return subprocess.run([WINE, *args], capture_output=True, timeout=timeout,
                          stdin=subprocess.DEVNULL)


def run(*args, timeout=300, env=None):
    """A program that may start services: they would inherit captured output and hold it
    open, so its output is not captured."""
    return subprocess.run([WINE, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          stdin=subprocess.DEVNULL, timeout=timeout, env=env).returncode


def run_code(bindir, *args, timeout=300, env=None):
    """As run(), but the whole Windows exit code (Wine gives Linux only its low 8 bits),
    through the exitcode helper of BINDIR; None when it could not be read."""
    import os
    import tempfile
    fd, result = tempfile.mkstemp(suffix=".exitcode")
    os.close(fd)
    try:
        if run(os.path.join(bindir, "exitcode.exe"), "Z:" + result, *args, timeout=timeout, env=env) != 0:
            return None
        text = open(result).read().strip()
        return int(text) if text.isdigit() else None
    finally:
        os.remove(result)


def reg_view(arch):
    """The reg.exe switch that reads the registry view an installer of this arch writes."""
    return ["/reg:32"] if arch == "i686" else []


def reg_values(key, view=()):
    """Values of one key as {name: text as reg.exe prints it}; {} when the key is absent."""
    out = wine("reg", "query", key, *view).stdout.decode("utf-8", "replace")
    values = {}
    for line in out.replace("\r", "").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2] if len(parts) > 2 else ""
    return values


def unix_path(win):
    return wine("winepath", "-u", win).stdout.decode().strip()


class Receivers:
    """Loopback stand-ins for the statistics receivers: UDP datagrams and HTTP POSTs are
    collected in `datagrams` and `posts` (path, body)."""

    def __init__(self):
        self.posts, self.datagrams = [], []
        self.stop = threading.Event()
        self.udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.udp.bind(("127.0.0.1", UDP_PORT))
        self.udp.settimeout(0.2)
        posts = self.posts

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                posts.append((self.path, self.rfile.read(int(self.headers.get("Content-Length", 0)))))
                self.send_response(200)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        try:
            self.server = http.server.ThreadingHTTPServer(("127.0.0.1", HTTP_PORT), Handler)
        except OSError:
            self.udp.close()
            raise
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        threading.Thread(target=self._receive, daemon=True).start()

    def _receive(self):
        while not self.stop.is_set():
            try:
                self.datagrams.append(self.udp.recv(65536))
            except socket.timeout:
                pass
            except OSError:
                return

    def clear(self):
        self.datagrams.clear()
        self.posts.clear()

    def wait(self, seconds):
        self.stop.wait(seconds)

    def reports(self, event):
        """Decoded datagrams whose "event" field is `event`."""
        return [d for d in map(json.loads, self.datagrams) if d.get("event") == event]

    def close(self):
        self.stop.set()
        self.server.shutdown()
        self.server.server_close()
        self.udp.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def open_receivers(seconds=180):
    """Receivers on the fixed loopback ports, which another end-to-end test of this machine
    may still hold: waits for them rather than failing at once."""
    end = time.time() + seconds
    while True:
        try:
            return Receivers()
        except OSError:
            if time.time() > end:
                raise
            time.sleep(2)
