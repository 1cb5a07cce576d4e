#!/usr/bin/env python3
"""A small scripted HTTP(S) file server for tests, the demo and benchmarks.

    python3 test_server.py --root DIR [--bind 127.0.0.1] [--port 0]
                           [--rate BYTES_PER_SEC] [--tls-cert CERT --tls-key KEY]
                           [--log FILE]

Prints exactly one line "PORT <n>" on stdout once it listens. Serves the
files under DIR with GET and HEAD, honours a single "Range: bytes=N-" or
"bytes=N-M" (206 with Content-Range; 416 when N >= size) and always sends
Content-Length unless told otherwise. One line per request is appended to
--log: "<METHOD> <path?query> <Range header or ->".

Faults are chosen per request by query parameters (others, e.g. "start",
are ignored):
  status=CODE   answer CODE with no body
  norange=1     answer 200 with the whole file even when a range is asked
  nolength=1    no Content-Length; the connection closes after the body
  drop=N        close the connection after N body bytes
  stall=N       send N body bytes, then nothing (the socket stays open until
                the client leaves, at most 120 s)
  trickle=B     send the body at B bytes per second
  redirect=1    302 to the same path without the redirect parameter
  badoffset=1   206 whose Content-Range (and data) start elsewhere than asked
  corrupt=OFF   flip the byte at file offset OFF in what is sent; with once=1
                only in the first response that covers it (per path)
  gzip=1        send the body gzip-compressed with Content-Encoding: gzip
  auth=U:P      401 unless the request carries Basic credentials U:P
--rate limits every response to that many bytes per second.
"""

import argparse
import base64
import gzip
import http.server
import os
import select
import socket
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse

CHUNK = 64 * 1024
STALL_LIMIT_SECONDS = 120


class State:
    root = "."
    rate = 0
    log_path = None
    log_lock = threading.Lock()
    corrupted_once = set()
    corrupt_lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "OrvantaTestServer/1"

    def log_message(self, fmt, *args):  # quiet on stderr
        pass

    def _record(self):
        if not State.log_path:
            return
        line = "%s %s %s\n" % (self.command, self.path, self.headers.get("Range", "-"))
        with State.log_lock:
            with open(State.log_path, "a", encoding="utf-8") as log:
                log.write(line)

    def do_HEAD(self):
        self._serve(head=True)

    def do_GET(self):
        self._serve(head=False)

    def _serve(self, head):
        try:
            self._record()
            self._answer(head)
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError, ssl.SSLError, socket.timeout):
            self.close_connection = True

    def _answer(self, head):
        parts = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(parts.query, keep_blank_values=True))
        path = urllib.parse.unquote(parts.path)

        if "auth" in query:
            expected = "Basic " + base64.b64encode(query["auth"].encode("utf-8")).decode("ascii")
            if self.headers.get("Authorization", "") != expected:
                self.send_response(401)
                self.send_header("WWW-Authenticate", 'Basic realm="test"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return

        if "status" in query:
            code = int(query["status"])
            self.send_response(code)
            if code not in (204, 304) and code >= 200:
                self.send_header("Content-Length", "0")
            self.end_headers()
            return

        if query.get("redirect") == "1":
            rest = [(k, v) for k, v in urllib.parse.parse_qsl(parts.query, keep_blank_values=True) if k != "redirect"]
            target = parts.path + ("?" + urllib.parse.urlencode(rest) if rest else "")
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return

        full = os.path.realpath(os.path.join(State.root, path.lstrip("/")))
        root = os.path.realpath(State.root)
        if not (full == root or full.startswith(root + os.sep)) or not os.path.isfile(full):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return

        size = os.path.getsize(full)
        start, end, status = 0, size - 1, 200
        asked = self.headers.get("Range")
        if asked and query.get("norange") != "1":
            wanted = parse_range(asked)
            if wanted is not None:
                first, last = wanted
                if first >= size:
                    self.send_response(416)
                    self.send_header("Content-Range", "bytes */%d" % size)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                start, end, status = first, min(size - 1, last if last is not None else size - 1), 206
                if query.get("badoffset") == "1":
                    start = 0 if start > 0 else min(1, size - 1)

        length = max(0, end - start + 1)
        body_gzip = query.get("gzip") == "1"
        payload = None
        if body_gzip:
            with open(full, "rb") as source:
                source.seek(start)
                payload = gzip.compress(self._corrupt(path, query, start, bytearray(source.read(length))))

        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        if body_gzip:
            self.send_header("Content-Encoding", "gzip")
        sent_length = len(payload) if payload is not None else length
        if query.get("nolength") == "1":
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(sent_length))
        self.end_headers()
        if head:
            return

        limit = sent_length
        if "drop" in query:
            limit = min(limit, int(query["drop"]))
        if "stall" in query:
            limit = min(limit, int(query["stall"]))
        rate = int(query.get("trickle", "0") or 0)
        if State.rate and (rate == 0 or State.rate < rate):
            rate = State.rate
        pacer = Pacer(rate)

        if payload is not None:
            self._send(memoryview(payload)[:limit], pacer)
        else:
            with open(full, "rb") as source:
                source.seek(start)
                offset, remaining = start, limit
                while remaining > 0:
                    block = bytearray(source.read(min(CHUNK, remaining)))
                    if not block:
                        break
                    self._send(self._corrupt(path, query, offset, block), pacer)
                    offset += len(block)
                    remaining -= len(block)

        if "stall" in query and limit < sent_length:
            self._hold_open()
        if limit < sent_length or query.get("nolength") == "1":
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def _corrupt(self, path, query, offset, block):
        if "corrupt" not in query:
            return block
        target = int(query["corrupt"])
        if not offset <= target < offset + len(block):
            return block
        if query.get("once") == "1":
            with State.corrupt_lock:
                if path in State.corrupted_once:
                    return block
                State.corrupted_once.add(path)
        block[target - offset] ^= 0xFF
        return block

    def _send(self, data, pacer):
        view = memoryview(data)
        while len(view):
            piece = view[: pacer.piece()]
            self.wfile.write(piece)
            self.wfile.flush()
            pacer.sent(len(piece))
            view = view[len(piece):]

    def _hold_open(self):
        deadline = time.monotonic() + STALL_LIMIT_SECONDS
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.connection], [], [], 0.5)
            if ready:
                try:
                    if not self.connection.recv(4096):
                        return  # the client left
                except (OSError, ssl.SSLError):
                    return


class Pacer:
    """Spaces writes so that at most `rate` bytes go out per second."""

    def __init__(self, rate):
        self.rate = rate
        self.started = time.monotonic()
        self.total = 0

    def piece(self):
        return CHUNK if self.rate <= 0 else max(1, min(CHUNK, self.rate // 10))

    def sent(self, count):
        if self.rate <= 0:
            return
        self.total += count
        due = self.started + self.total / self.rate
        delay = due - time.monotonic()
        if delay > 0:
            time.sleep(delay)


def parse_range(header):
    """(first, last-or-None) of a single "bytes=N-" / "bytes=N-M" range, else None."""
    value = header.strip()
    if not value.startswith("bytes=") or "," in value:
        return None
    first, _, last = value[len("bytes="):].partition("-")
    try:
        first_n = int(first)
        last_n = int(last) if last.strip() else None
    except ValueError:
        return None
    if first_n < 0 or (last_n is not None and last_n < first_n):
        return None
    return first_n, last_n


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # Clients that hang up or fail the TLS handshake are routine here.
        kind = sys.exc_info()[0]
        if kind and issubclass(kind, (OSError, ssl.SSLError)):
            return
        super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser(description="Scripted HTTP file server for tests")
    parser.add_argument("--root", required=True)
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--log")
    options = parser.parse_args()

    State.root = options.root
    State.rate = options.rate
    State.log_path = options.log

    if ":" in options.bind:
        Server.address_family = socket.AF_INET6
    server = Server((options.bind, options.port), Handler)
    if options.tls_cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(options.tls_cert, options.tls_key)
        # The handshake runs in the request's thread, not in the accept loop.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
