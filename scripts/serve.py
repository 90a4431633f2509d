#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Serves the built page (scripts/web.sh's output) over http, as a static host would: each
file's precompressed NAME.br or NAME.gz beside it goes out in its place, with its
Content-Encoding, to a browser that accepts that encoding; .wasm as application/wasm.

  scripts/serve.py [--port N] [--bind ADDR] [--rate BITS] DIR

--rate limits what all answers together send, in bits a second (4M is a 4 Mbit/s line): for
timing the page's load on a slow link. Port 0 takes a free port; the first line printed names
the address either way."""
import argparse
import functools
import http.server
import os
import sys
import threading
import time

TYPES = {".wasm": "application/wasm", ".js": "text/javascript", ".json": "application/json",
         ".it": "application/octet-stream"}
# The encodings a precompressed file may have, best first.
ENCODINGS = (("br", ".br"), ("gzip", ".gz"))


class Line:
    """One shared line of bytes_per_second: every write waits for its turn on it."""

    def __init__(self, bytes_per_second):
        self.rate = bytes_per_second
        self.lock = threading.Lock()
        self.free_at = time.monotonic()

    def send(self, out, data, chunk=8192):
        for i in range(0, len(data), chunk):
            piece = data[i:i + chunk]
            with self.lock:
                now = time.monotonic()
                start = max(now, self.free_at)
                self.free_at = start + len(piece) / self.rate
            time.sleep(max(0.0, self.free_at - time.monotonic()))
            out.write(piece)


def accepted(header):
    """The encodings an Accept-Encoding header allows (q=0 refuses)."""
    names = set()
    for part in (header or "").split(","):
        name, _, params = part.strip().partition(";")
        q = params.strip()
        if q.startswith("q="):
            try:
                if float(q[2:]) == 0:
                    continue
            except ValueError:
                continue
        if name:
            names.add(name.strip().lower())
    return names


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map, **TYPES)
    line = None

    def log_message(self, *args):
        pass

    def end_headers(self):
        self.send_header("Cache-Control", "no-cache")  # always asked again: a rebuilt page is seen at once
        super().end_headers()

    def send_head(self):
        path = self.translate_path(self.path)
        if os.path.isdir(path):
            if not self.path.split("?")[0].endswith("/"):
                return super().send_head()  # the redirect to DIR/
            path = os.path.join(path, "index.html")
        if os.path.isfile(path) and not path.endswith((".br", ".gz")):
            ok = accepted(self.headers.get("Accept-Encoding"))
            for encoding, suffix in ENCODINGS:
                packed = path + suffix
                # never a stale copy: one older than its original is passed over
                if encoding in ok and os.path.isfile(packed) and os.path.getmtime(packed) >= os.path.getmtime(path):
                    return self.send_packed(path, packed, encoding)
        return super().send_head()

    def send_packed(self, path, packed, encoding):
        f = open(packed, "rb")
        try:
            size = os.fstat(f.fileno()).st_size
            self.send_response(200)
            self.send_header("Content-Type", self.guess_type(path))
            self.send_header("Content-Encoding", encoding)
            self.send_header("Content-Length", str(size))
            self.send_header("Vary", "Accept-Encoding")
            self.send_header("Last-Modified", self.date_time_string(int(os.path.getmtime(path))))
            self.end_headers()
            return f
        except Exception:
            f.close()
            raise

    def copyfile(self, source, outputfile):
        if self.line is None:
            return super().copyfile(source, outputfile)
        while True:
            data = source.read(65536)
            if not data:
                break
            self.line.send(outputfile, data)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        if isinstance(sys.exc_info()[1], ConnectionError):
            return  # a browser that stopped reading (a page that gave up, a closed tab)
        super().handle_error(request, client_address)


def make_server(directory, port=0, bind="127.0.0.1", rate_bits=0):
    handler = type("PageHandler", (Handler,), {"line": Line(rate_bits / 8) if rate_bits else None})
    return Server((bind, port), functools.partial(handler, directory=directory))


def bits(text):
    """4M, 500k or 4000000: bits a second."""
    scale = {"k": 1e3, "m": 1e6, "g": 1e9}.get(text[-1:].lower(), 1)
    return float(text[:-1] if scale != 1 else text) * scale


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("dir")
    p.add_argument("--port", type=int, default=8017)
    p.add_argument("--bind", default="127.0.0.1")
    p.add_argument("--rate", type=bits, default=0, help="bits a second, all answers together (4M)")
    args = p.parse_args()
    server = make_server(os.path.abspath(args.dir), args.port, args.bind, args.rate)
    host, port = server.server_address[:2]
    print(f"serving {args.dir} on http://{host}:{port}/ (Ctrl-C stops)", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
