#!/usr/bin/env python3
"""Writes the seed descriptors in corpus/: small, each a few KB at most,
valid ones and ones with a single fault. Run from anywhere; rewrites corpus/."""
import hashlib
import pathlib
import struct
import zlib

HERE = pathlib.Path(__file__).resolve().parent / "corpus"
BLOCK = 4096


def text(value: bytes, fill: bytes = b" ") -> bytes:
    return value[:256].ljust(256, fill)


def descriptor(data: bytes, servers, name=b"file.bin", info=b"", version=1.2, size=None,
               start=0, entries=None, zero_slots=True) -> bytes:
    size = len(data) if size is None else size
    out = struct.pack("<hi", start, size) + text(info) + text(name)
    for i in range(10):
        if i < len(servers):
            out += text(servers[i])
        else:
            out += b"\0" * 256 if zero_slots else b" " * 256
    out += struct.pack("<f", version)
    crcs = []
    for at in range(0, len(data), BLOCK):
        block = data[at:at + BLOCK]
        if version < 1.2:
            block = block[:-1]
        crcs.append(struct.pack("<I", zlib.crc32(block)))
    if entries is not None:
        crcs = crcs[:entries]
    return out + b"".join(crcs)


def trailer(data: bytes, chunk: int = 1 << 20, size=None, whole=None) -> bytes:
    """The record of SHA-256 hashes that follows the CRC list."""
    size = len(data) if size is None else size
    hashes = [hashlib.sha256(data[at:at + chunk]).digest() for at in range(0, len(data), chunk)]
    out = b"OVDXSHA2" + struct.pack("<QII", size, chunk, len(hashes)) + b"".join(hashes)
    out += hashlib.sha256(data).digest() if whole is None else whole
    out += hashlib.sha256(out).digest()
    return out + struct.pack("<Q", len(out) + 8)


def main() -> None:
    HERE.mkdir(exist_ok=True)
    for old in HERE.iterdir():
        old.unlink()
    data = bytes((i * 7 + 3) & 0xFF for i in range(3 * BLOCK + 100))
    one = [b"http://127.0.0.1:8080/file.bin"]
    two = [b"Main|http://127.0.0.1/f", b"Backup|https://[::1]:8443/f|extra"]
    seeds = {
        "valid-one-server": descriptor(data, one),
        "valid-two-servers-v1.1": descriptor(data, two, version=1.1, start=-1, info=b"Caf\xe9 \x80"),
        "valid-version-1.04": descriptor(data[:5000], one, version=1.04),
        "spaces-in-empty-slots": descriptor(data, two, zero_slots=False),
        "truncated-header": descriptor(data, one)[:1500],
        "header-only": descriptor(data, one, entries=0),
        "crc-list-short": descriptor(data, one, entries=2),
        "crc-list-torn": descriptor(data, one)[:-2],
        "size-minus-one": descriptor(data, one, size=-1),
        "size-huge": descriptor(data, one, size=0x7FFFFFFF),
        "no-servers": descriptor(data, []),
        "ftp-server": descriptor(data, [b"ftp://127.0.0.1/f"]),
        "file-redirect-server": descriptor(data, [b"A|http://a/f", b"B|file:///etc/passwd"]),
        "hostile-name": descriptor(data, one, name=b"../../\x1b]0;x\x07\x81evil.exe"),
        "dots-name": descriptor(data, one, name=b".."),
        "old-version": descriptor(data, one, version=1.0),
        "nan-version": descriptor(data, one)[:3078] + struct.pack("<I", 0x7FC00001) + descriptor(data, one)[3082:],
    }
    sealed = descriptor(data, one) + trailer(data)
    seeds.update({
        "trailer-valid": sealed,
        "trailer-small-chunks": descriptor(data, one) + trailer(data, chunk=BLOCK),
        "trailer-cut": sealed[:-9],
        "trailer-damaged": sealed[:-50] + bytes([sealed[-50] ^ 1]) + sealed[-49:],
        "trailer-other-size": descriptor(data, one) + trailer(data, size=len(data) + 1),
        "trailer-wrong-whole-hash": descriptor(data, one) + trailer(data, whole=b"\x42" * 32),
        "trailer-under-large-marker": descriptor(data, one, size=-1) + trailer(data),
        "trailer-signature-only": descriptor(data, one) + b"OVDX",
    })
    for name, content in seeds.items():
        (HERE / name).write_bytes(content)


if __name__ == "__main__":
    main()
