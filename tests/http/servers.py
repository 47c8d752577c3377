#!/usr/bin/env python3
"""Loopback stand-ins for the HTTP tests: an HTTP and an HTTPS server and two DNS
responders, all on 127.0.0.1 only.

usage: servers.py DIR   (DIR holds cert.pem and key.pem; the servers write there)

DIR/env          the ports, as NAME=VALUE lines, written once everything listens
DIR/requests.log one line per HTTP request, tab-separated: scheme, method, path, the
                 Accept, Content-Type and charsets headers, the body as hex
DIR/dns.log      one line per DNS query: which responder (system or fallback), the name

Paths: /ok answers 200, /fail answers 500 (both with a JSON body), /hang never answers.
Every DNS query is answered with NXDOMAIN. The process ends by itself after 15 minutes.
"""
import http.server
import os
import socket
import ssl
import struct
import sys
import threading
import time

LIFETIME = 900
HANG = 60

base = sys.argv[1]
log_lock = threading.Lock()


def log(name, fields):
    line = "\t".join(fields) + "\n"
    with log_lock:
        with open(os.path.join(base, name), "a", encoding="utf-8") as f:
            f.write(line)
            f.flush()


class Handler(http.server.BaseHTTPRequestHandler):
    scheme = "http"
    replies = {
        "/ok": (200, b'{"result":"ok"}'),
        "/fail": (500, b'{"error":"server failed"}'),
    }

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        # Logged before the reply, so the client's return means the line is there.
        log("requests.log", [self.scheme, self.command, self.path,
                             self.headers.get("Accept", "-"),
                             self.headers.get("Content-Type", "-"),
                             self.headers.get("charsets", "-"), body.hex()])
        if self.path == "/hang":
            time.sleep(HANG)
            return
        status, reply = self.replies.get(self.path, (404, b"{}"))
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    do_POST = do_GET = do_PUT = handle_any

    def log_message(self, *args):
        pass


class TlsHandler(Handler):
    scheme = "https"


def serve_http(handler, tls):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    if tls:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(os.path.join(base, "cert.pem"), os.path.join(base, "key.pem"))
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def nxdomain(query):
    """The reply to a query: same id and question, QR and RA set, RCODE 3."""
    if len(query) < 12:
        return None, ""
    qid, flags, qdcount = struct.unpack("!HHH", query[:6])
    pos, labels = 12, []
    while pos < len(query) and query[pos] != 0:
        n = query[pos]
        labels.append(query[pos + 1:pos + 1 + n].decode("ascii", "replace"))
        pos += 1 + n
    end = pos + 5  # zero byte, type, class
    if qdcount != 1 or end > len(query):
        return None, ""
    reply_flags = 0x8000 | (flags & 0x7900) | 0x0080 | 3
    header = struct.pack("!HHHHHH", qid, reply_flags, 1, 0, 0, 0)
    return header + query[12:end], ".".join(labels)


def serve_dns(role):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))

    def loop():
        while True:
            data, peer = sock.recvfrom(4096)
            if peer[0] != "127.0.0.1":
                continue
            reply, name = nxdomain(data)
            log("dns.log", [role, name])
            if reply:
                sock.sendto(reply, peer)

    threading.Thread(target=loop, daemon=True).start()
    return sock.getsockname()[1]


def refused_port():
    """A port that was free a moment ago and that nothing listens on."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    ports = {
        "ZPK_HTTP_PORT": serve_http(Handler, False),
        "ZPK_HTTPS_PORT": serve_http(TlsHandler, True),
        "ZPK_DNS_SYSTEM_PORT": serve_dns("system"),
        "ZPK_DNS_FALLBACK_PORT": serve_dns("fallback"),
        "ZPK_REFUSED_PORT": refused_port(),
    }
    tmp = os.path.join(base, "env.tmp")
    with open(tmp, "w") as f:
        for k, v in ports.items():
            f.write(f"{k}={v}\n")
    os.rename(tmp, os.path.join(base, "env"))
    time.sleep(LIFETIME)


main()
