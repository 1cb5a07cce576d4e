#!/usr/bin/env python3
"""A scriptable HTTP(S) file server for tests and the demo; loopback only.

Serves GET for the files under --root and prints "PORT <n>" once it listens.
Answers carry Content-Length, an ETag (strong: size, mtime, inode) and a
Last-Modified; "Range: bytes=S-" and "bytes=S-E" get 206 with Content-Range,
a start past the end gets 416. "If-Range" with a range is honoured: a
validator that is not the file's current ETag or Last-Modified gets the whole
file with 200. Bodies are streamed from the file, so any size serves in
constant memory.

Faults, chosen per request by query parameters (kept in the logged target):
  status=CODE        that status with an empty body; reason=TEXT sets its phrase
  auth=USER:PASS     401 unless the request carries these Basic credentials
  hang=1             no answer at all
  redirect=1         302 to the same URL without "redirect=1"
  redirect=/PATH     302 to PATH (the other parameters kept)
  redirect=file      302 to file:// and the file's local path
  redirect=loop      302 to the very same URL, for ever
  norange=1          ignore Range: 200 and the whole file
  nolength=1         no Content-Length; the connection closes after the body
  length=N           announce N as Content-Length whatever is sent, then close
  crstart=N          Content-Range claims N as its first byte
  rangemax=N         a range answer holds at most N bytes (a shorter range than asked)
  drop=N             close after N body bytes
  stall=N            send N body bytes, then silence until the client leaves
  trickle=B          at most B body bytes per second (--rate caps every answer)
  corrupt=OFF        flip the file's byte at offset OFF; once=1: only the first time
  gzip=1             say "Content-Encoding: gzip" without compressing
  etag=none|weak     no ETag, or a weak one; lastmod=none: no Last-Modified
  digest=repr|legacy the file's SHA-256 as Repr-Digest or as Digest; digest=wrong or
                     wrong-legacy: the same of other bytes

--script FILE: a JSON list of entries {"path": "/f.bin", "times": 1, "...":
"..."}; each request takes the first entry whose path matches (no path: any),
adds its other keys to the query's faults and counts down "times" (default 1,
0 for ever; an entry at 0 left is removed). The file is read at every request,
so a test may rewrite it between requests.

--log FILE: one JSON object per request: method, target, range, ifRange.
--exit-on-eof: exit when standard input closes (the test that started it is
gone); --max-seconds N: exit after N seconds whatever happens.
"""

import argparse, base64, email.utils, hashlib, http.server, ipaddress, json, os, re, select, socket, socketserver, ssl, \
    sys, threading, time, urllib.parse

ARGS, LOCK, CORRUPTED_ONCE = None, threading.Lock(), set()
PIECE = 64 * 1024


def scripted_faults(path):
    """The faults a --script entry adds for `path`, consuming that entry."""
    if not ARGS.script:
        return {}
    with LOCK:
        try:
            with open(ARGS.script, encoding="utf-8") as source:
                entries = json.load(source)
        except (OSError, ValueError):
            return {}
        for index, entry in enumerate(entries):
            if entry.get("path", path) != path:
                continue
            times = int(entry.get("times", 1))
            if times == 1:
                del entries[index]
            elif times > 1:
                entry["times"] = times - 1
            with open(ARGS.script + ".new", "w", encoding="utf-8") as target:
                json.dump(entries, target)
            os.replace(ARGS.script + ".new", ARGS.script)
            return {k: str(v) for k, v in entry.items() if k not in ("path", "times")}
    return {}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # quiet
        pass

    def do_GET(self):
        if ARGS.log:
            record = {"method": self.command, "target": self.path, "range": self.headers.get("Range", ""),
                      "ifRange": self.headers.get("If-Range", "")}
            with LOCK, open(ARGS.log, "a", encoding="utf-8") as log:
                log.write(json.dumps(record) + "\n")
        try:
            self.answer()
        except OSError:  # the client hung up, or TLS failed
            self.close_connection = True

    def reply(self, code, headers=(), length=0, reason=None):
        self.send_response(code, reason)
        for name, value in headers:
            self.send_header(name, value)
        if length is not None and code >= 200 and code not in (204, 304):
            self.send_header("Content-Length", str(length))
        self.end_headers()

    def answer(self):
        parts = urllib.parse.urlsplit(self.path)
        pairs, path = urllib.parse.parse_qsl(parts.query, keep_blank_values=True), urllib.parse.unquote(parts.path)
        q = dict(pairs)
        q.update(scripted_faults(parts.path))
        full = os.path.realpath(os.path.join(ARGS.root, path.lstrip("/")))
        if "hang" in q:
            return self.hold_open()
        if "auth" in q:
            expected = "Basic " + base64.b64encode(q["auth"].encode()).decode()
            if self.headers.get("Authorization", "") != expected:
                return self.reply(401, [("WWW-Authenticate", 'Basic realm="test"')])
        if "status" in q:
            return self.reply(int(q["status"]), reason=q.get("reason") or None)
        if "redirect" in q:
            return self.redirect(parts, pairs, q["redirect"], full)
        if not full.startswith(os.path.realpath(ARGS.root) + os.sep) or not os.path.isfile(full):
            return self.reply(404)
        with open(full, "rb") as source:
            self.serve(source, os.fstat(source.fileno()), path, q)

    def redirect(self, parts, pairs, how, full):
        rest = urllib.parse.urlencode([p for p in pairs if p[0] != "redirect"])
        if how == "loop":
            target = self.path
        elif how == "file":
            target = "file://" + full
        else:
            target = (parts.path if how == "1" else how) + ("?" + rest if rest else "")
        self.reply(302, [("Location", target)])

    def validators(self, info, q):
        etag = '"%x-%x-%x"' % (info.st_size, info.st_mtime_ns, info.st_ino)
        etag = {"none": None, "weak": "W/" + etag}.get(q.get("etag"), etag)
        modified = None if q.get("lastmod") == "none" else email.utils.formatdate(info.st_mtime, usegmt=True)
        return etag, modified

    def digest_headers(self, source, how):
        if how not in ("repr", "legacy", "wrong", "wrong-legacy"):
            return []
        wrong = how.startswith("wrong")
        hasher = hashlib.sha256(b"other bytes" if wrong else b"")
        if not wrong:
            source.seek(0)
            for piece in iter(lambda: source.read(PIECE), b""):
                hasher.update(piece)
        value = base64.b64encode(hasher.digest()).decode()
        legacy = how.endswith("legacy")
        return [("Digest", "SHA-256=" + value)] if legacy else [("Repr-Digest", "sha-256=:%s:" % value)]

    def serve(self, source, info, path, q):
        size, (etag, modified) = info.st_size, self.validators(info, q)
        start, end, status = 0, size - 1, 200
        asked = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", "").strip())
        validator = self.headers.get("If-Range", "").strip()
        current = validator and ((etag and not etag.startswith("W/") and validator == etag) or validator == modified)
        if asked and q.get("norange") != "1" and (not validator or current) and \
                (not asked[2] or int(asked[2]) >= int(asked[1])):
            if int(asked[1]) >= size:
                return self.reply(416, [("Content-Range", "bytes */%d" % size)])
            start, end, status = int(asked[1]), min(size - 1, int(asked[2] or size - 1)), 206
            end = min(end, start + int(q.get("rangemax", size)) - 1)
        count = end - start + 1
        headers = [("ETag", etag)] if etag else []
        headers += [("Last-Modified", modified)] if modified else []
        if status == 206:
            first = int(q.get("crstart", start))
            headers.append(("Content-Range", "bytes %d-%d/%d" % (first, first + count - 1, size)))
        headers += [("Content-Encoding", "gzip")] if "gzip" in q else []
        headers += self.digest_headers(source, q.get("digest"))
        announced = None if "nolength" in q else int(q.get("length", count))
        if announced != count:
            headers.append(("Connection", "close"))
        self.reply(status, headers, announced)
        limit = min([count] + [int(q[k]) for k in ("drop", "stall") if k in q])
        self.send(source, start, limit, path, q)
        if "stall" in q and limit < count:
            self.hold_open()
        if limit < count or announced != count:
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)

    def send(self, source, start, count, path, q):
        """Sends `count` bytes of `source` from `start`, at no more than the
        trickle rate (and --rate) bytes per second, corrupting as asked."""
        rate = min(r for r in (int(q.get("trickle", 0)), ARGS.rate, 1 << 62) if r > 0)
        at = int(q.get("corrupt", -1))
        corrupt = start <= at < start + count
        if corrupt:
            with LOCK:
                corrupt = q.get("once") != "1" or path not in CORRUPTED_ONCE
                CORRUPTED_ONCE.add(path)
        if rate == 1 << 62 and not corrupt:
            if count > 0:
                self.connection.sendfile(source, start, count)
            return
        piece, started, sent = max(1, min(PIECE, rate // 10)), time.monotonic(), 0
        source.seek(start)
        while sent < count:
            data = bytearray(source.read(min(piece, count - sent)))
            if not data:
                break
            if corrupt and start + sent <= at < start + sent + len(data):
                data[at - start - sent] ^= 0xFF
            self.wfile.write(data)
            sent += len(data)
            time.sleep(max(0.0, started + sent / rate - time.monotonic()))

    def hold_open(self):
        self.close_connection = True
        select.select([self.connection], [], [], 120)  # until the client leaves, or 120 s


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        if not isinstance(sys.exc_info()[1], OSError):  # hang-ups and failed handshakes are routine
            super().handle_error(request, client_address)


def exit_when(condition):
    def watch():
        condition()
        os._exit(0)
    threading.Thread(target=watch, daemon=True).start()


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description="Scriptable HTTP(S) file server for tests (loopback only)")
    parser.add_argument("--root", required=True)
    parser.add_argument("--exit-on-eof", action="store_true")
    for name, default in (("--bind", "127.0.0.1"), ("--port", 0), ("--rate", 0), ("--tls-cert", ""),
                          ("--tls-key", ""), ("--log", ""), ("--script", ""), ("--max-seconds", 0)):
        parser.add_argument(name, default=default, type=type(default))
    ARGS = parser.parse_args()
    if not ipaddress.ip_address(ARGS.bind).is_loopback:
        parser.error("--bind must be a loopback address")
    if ":" in ARGS.bind:
        Server.address_family = socket.AF_INET6
    server = Server((ARGS.bind, ARGS.port), Handler)
    if ARGS.tls_cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(ARGS.tls_cert, ARGS.tls_key)
        # The handshake runs in the request's thread, not in the accept loop.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    if ARGS.exit_on_eof:
        exit_when(lambda: sys.stdin.buffer.read())
    if ARGS.max_seconds > 0:
        exit_when(lambda: time.sleep(ARGS.max_seconds))
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever(poll_interval=0.2)
