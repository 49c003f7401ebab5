#!/usr/bin/env python3
"""A small HTTP/1.1 range server on 127.0.0.1 for the wine tests of dlcli.

range_server.py ROOT PORTFILE [LIFETIME]: serves the files of ROOT with HEAD, single byte
ranges (206) and keep-alive; a path under /stall/ sends its headers and then nothing. Writes the
port it listens on to PORTFILE and ends by itself after LIFETIME seconds (default 300).
"""
import http.server
import os
import re
import socketserver
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def _target(self):
        path = self.path.split("?")[0]
        stall = path.startswith("/stall/")
        if stall:
            path = path[len("/stall"):]
        full = os.path.join(self.server.root, path.lstrip("/"))
        return full, stall

    def _head(self, send_body):
        full, stall = self._target()
        if not os.path.isfile(full):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        size = os.path.getsize(full)
        first, last, partial = 0, size - 1, False
        m = re.match(r"bytes=(\d+)-(\d*)$", self.headers.get("Range", ""))
        if m and send_body:
            first = int(m.group(1))
            if m.group(2):
                last = min(int(m.group(2)), size - 1)
            partial = True
        if partial:
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, size))
        else:
            self.send_response(200)
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(last - first + 1 if send_body else size))
        self.end_headers()
        if not send_body:
            return
        if stall:
            time.sleep(self.server.lifetime)
            return
        with open(full, "rb") as f:
            f.seek(first)
            left = last - first + 1
            while left > 0:
                chunk = f.read(min(left, 1 << 16))
                if not chunk:
                    break
                self.wfile.write(chunk)
                left -= len(chunk)

    def do_HEAD(self):
        self._head(False)

    def do_GET(self):
        self._head(True)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    root, portfile = sys.argv[1], sys.argv[2]
    lifetime = int(sys.argv[3]) if len(sys.argv) > 3 else 300
    server = Server(("127.0.0.1", 0), Handler)
    server.root = root
    server.lifetime = lifetime
    with open(portfile + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(portfile + ".tmp", portfile)
    threading.Timer(lifetime, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
