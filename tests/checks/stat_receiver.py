#!/usr/bin/env python3
"""Loopback statistics server around one command.

stat_receiver.py STATUS EXPECT_RESULT -- COMMAND...
Binds a UDP socket and an HTTP server (answering STATUS) on 127.0.0.1, runs COMMAND with
"{udp}" and "{http}" in its arguments replaced by the UDP port and the HTTP base address,
then checks what arrived: one install datagram, one POST to /api/InstallStat carrying the
same document, and the line "report=EXPECT_RESULT" in the command's output.
"""
import http.server
import json
import socket
import subprocess
import sys
import threading

EXPECTED = {"event": "install", "appid": 161, "unionid": 26100, "version": "1.0.0.70",
            "level": 2, "kind": 1}


def main():
    status, expect_result = int(sys.argv[1]), sys.argv[2]
    command = sys.argv[sys.argv.index("--") + 1:]

    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", 0))
    udp.settimeout(0.2)
    posts = []

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            posts.append((self.path, self.headers.get("Content-Type"), body))
            self.send_response(status)
            self.send_header("Content-Length", "0")
            self.end_headers()

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    subst = {"{udp}": str(udp.getsockname()[1]),
             "{http}": "http://127.0.0.1:%d" % server.server_address[1]}
    command = [subst.get(a, a) for a in command]
    run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=240)
    output = run.stdout.decode("utf-8", "replace")
    server.shutdown()
    datagrams = []
    while True:
        try:
            datagrams.append(udp.recv(4096))
        except socket.timeout:
            break

    failures = []
    if run.returncode != 0:
        failures.append("the script failed with %d" % run.returncode)
    if "report=%s" % expect_result not in output:
        failures.append("the script did not print report=%s" % expect_result)
    if len(datagrams) != 1 or json.loads(datagrams[0]) != EXPECTED:
        failures.append("datagrams: %r" % datagrams)
    if len(posts) != 1 or posts[0][0] != "/api/InstallStat" or \
            posts[0][1] != "application/json" or json.loads(posts[0][2]) != EXPECTED:
        failures.append("posts: %r" % posts)
    sys.stdout.write(output)
    for f in failures:
        print("FAIL: " + f)
    if not failures:
        print("install report ok: %d datagram, POST answered %d" % (len(datagrams), status))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
