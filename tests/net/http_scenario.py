#!/usr/bin/python3
"""A loopback HTTP/1.0 server for the update tests.

Serves the files of --root. A file "_scenario.json" in the root (read on
every request, so a test may change it between requests) shapes the answer
for a path:
  {"/path": {"status": 404}}           answer with this status (and the file, or a short page)
  {"/path": {"no_length": true}}       no Content-Length header
  {"/path": {"declare": 5000}}         announce this Content-Length, send the file as it is
  {"/path": {"stall_after": 100}}      send that many body bytes, then nothing until the client leaves
  {"/path": {"stall_head": true}}      send nothing at all until the client leaves
  {"/path": {"endless": true}}         no Content-Length, the file and then filler bytes for as
                                       long as the client reads; "_endless.log" gets "PATH BYTES"
                                       with the count sent when it leaves
Every request is appended to "_requests.log" in the root as
"METHOD PATH VERSION<TAB>Accept<TAB>User-Agent<TAB>Pragma". The chosen port
is printed on the first line of standard output.
"""
import argparse
import json
import os
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

STALL_LIMIT = 300  # seconds a stalled answer waits at most for its client

class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    root = "."
    lock = threading.Lock()

    def log_message(self, *args):
        pass

    def scenario(self):
        try:
            with open(os.path.join(self.root, "_scenario.json"), encoding="utf-8") as f:
                return json.load(f).get(self.path, {})
        except (OSError, ValueError):
            return {}

    def record(self):
        line = "%s %s %s\t%s\t%s\t%s\n" % (
            self.command, self.path, self.request_version,
            self.headers.get("Accept", ""), self.headers.get("User-Agent", ""),
            self.headers.get("Pragma", ""))
        with self.lock, open(os.path.join(self.root, "_requests.log"), "a", encoding="utf-8") as f:
            f.write(line)

    def stall(self):
        deadline = time.time() + STALL_LIMIT
        self.connection.settimeout(0.2)
        while time.time() < deadline:
            try:
                if self.connection.recv(1) == b"":
                    return  # the client has gone
            except OSError as e:
                if "timed out" not in str(e):
                    return

    def endless(self, body):
        sent = 0
        deadline = time.time() + STALL_LIMIT
        chunk = b"Klaruvex Pro\r\n" * 256
        try:
            self.wfile.write(body)
            sent += len(body)
            while time.time() < deadline:
                self.wfile.write(chunk)
                sent += len(chunk)
        except OSError:
            pass  # the client has gone
        with self.lock, open(os.path.join(self.root, "_endless.log"), "a", encoding="utf-8") as f:
            f.write("%s %d\n" % (self.path, sent))

    def do_GET(self):
        self.record()
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            self.rfile.read(min(length, 1 << 20))  # a POST's form body
        sc = self.scenario()
        if sc.get("stall_head"):
            self.stall()
            return
        local = os.path.normpath(os.path.join(self.root, self.path.lstrip("/")))
        body = None
        if local.startswith(os.path.abspath(self.root)) and os.path.isfile(local):
            with open(local, "rb") as f:
                body = f.read()
        status = sc.get("status", 200 if body is not None else 404)
        if body is None:
            body = b"<html><body>Not found</body></html>"
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        if not sc.get("no_length") and not sc.get("endless"):
            self.send_header("Content-Length", str(sc.get("declare", len(body))))
        self.end_headers()
        if sc.get("endless"):
            self.endless(body)
            return
        if "stall_after" in sc:
            self.wfile.write(body[: sc["stall_after"]])
            self.wfile.flush()
            self.stall()
            return
        self.wfile.write(body)

    do_POST = do_GET

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--port", type=int, default=0)
    args = ap.parse_args()
    Handler.root = os.path.abspath(args.root)
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()

if __name__ == "__main__":
    sys.exit(main())
