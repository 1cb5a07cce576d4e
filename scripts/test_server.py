#!/usr/bin/env python3
"""A scripted HTTP(S) file server for tests and the demo (options: see --help;
--rate caps every response's bytes/s). Prints "PORT <n>" once it listens, then
serves GET under --root with Content-Length and one "Range: bytes=N-[M]" (206;
416 past the end), logging "<METHOD> <path?query> <Range or ->" to --log. Query
faults: status=CODE (no body); norange=1 (200 anyway); nolength=1 (close after
the body); drop=N (close after N body bytes); stall=N (N bytes, then silence
until the client leaves); hang=1 (no answer); trickle=B (B bytes/s); redirect=1
(302 to the URL without it); corrupt=OFF (flip that byte of the file; once=1:
only the first time); gzip=1 (says Content-Encoding: gzip; no compressing).
"""

import argparse, http.server, os, re, select, socket, socketserver, ssl, sys, threading, time, urllib.parse

ARGS, LOCK, CORRUPTED_ONCE = None, threading.Lock(), set()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # quiet
        pass

    def do_GET(self):
        if ARGS.log:
            with LOCK, open(ARGS.log, "a", encoding="utf-8") as log:
                log.write("%s %s %s\n" % (self.command, self.path, self.headers.get("Range", "-")))
        try:
            self.answer()
        except OSError:  # the client hung up, or TLS failed
            self.close_connection = True

    def reply(self, code, headers=(), length=0):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        if length is not None and code >= 200 and code not in (204, 304):
            self.send_header("Content-Length", str(length))
        self.end_headers()

    def answer(self):
        parts = urllib.parse.urlsplit(self.path)
        pairs, path = urllib.parse.parse_qsl(parts.query, keep_blank_values=True), urllib.parse.unquote(parts.path)
        q, full = dict(pairs), os.path.realpath(os.path.join(ARGS.root, path.lstrip("/")))
        if "hang" in q:
            return self.hold_open()
        if "status" in q:
            return self.reply(int(q["status"]))
        if q.get("redirect") == "1":
            rest = urllib.parse.urlencode([p for p in pairs if p[0] != "redirect"])
            return self.reply(302, [("Location", parts.path + ("?" + rest if rest else ""))])
        if not full.startswith(os.path.realpath(ARGS.root) + os.sep) or not os.path.isfile(full):
            return self.reply(404)
        size = os.path.getsize(full)
        start, end, status = 0, size - 1, 200
        asked = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", "").strip())
        if asked and q.get("norange") != "1" and (not asked[2] or int(asked[2]) >= int(asked[1])):
            if int(asked[1]) >= size:
                return self.reply(416, [("Content-Range", "bytes */%d" % size)])
            start, end, status = int(asked[1]), min(size - 1, int(asked[2] or size - 1)), 206
        with open(full, "rb") as source:
            source.seek(start)
            body = bytearray(source.read(end - start + 1))
        at = int(q.get("corrupt", -1)) - start
        if 0 <= at < len(body):
            with LOCK:
                if q.get("once") != "1" or path not in CORRUPTED_ONCE:
                    body[at] ^= 0xFF
                CORRUPTED_ONCE.add(path)
        headers = [("Content-Range", "bytes %d-%d/%d" % (start, end, size))] if status == 206 else []
        headers += [("Content-Encoding", "gzip")] if "gzip" in q else []
        headers += [("Connection", "close")] if "nolength" in q else []
        self.reply(status, headers, None if "nolength" in q else len(body))
        limit = min([len(body)] + [int(q[k]) for k in ("drop", "stall") if k in q])
        self.send(memoryview(body)[:limit], int(q.get("trickle", 0)))
        if "stall" in q and limit < len(body):
            self.hold_open()
        if limit < len(body) or "nolength" in q:
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)

    def send(self, data, rate):
        """Writes `data` at no more than `rate` (and --rate) bytes per second."""
        rate = min(r for r in (rate, ARGS.rate, 1 << 62) if r > 0)
        piece, started = max(1, min(64 * 1024, rate // 10)), time.monotonic()
        for at in range(0, len(data), piece):
            self.wfile.write(data[at:at + piece])
            self.wfile.flush()
            time.sleep(max(0.0, started + (at + piece) / rate - time.monotonic()))

    def hold_open(self):
        self.close_connection = True
        select.select([self.connection], [], [], 120)  # until the client leaves, or 120 s


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        if not isinstance(sys.exc_info()[1], OSError):  # hang-ups and failed handshakes are routine
            super().handle_error(request, client_address)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description="Scripted HTTP file server for tests")
    parser.add_argument("--root", required=True)
    for name, default in (("--bind", "127.0.0.1"), ("--port", 0), ("--rate", 0), ("--tls-cert", ""),
                          ("--tls-key", ""), ("--log", "")):
        parser.add_argument(name, default=default, type=type(default))
    ARGS = parser.parse_args()
    server = Server((ARGS.bind, ARGS.port), Handler)
    if ARGS.tls_cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(ARGS.tls_cert, ARGS.tls_key)
        # The handshake runs in the request's thread, not in the accept loop.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever(poll_interval=0.2)
