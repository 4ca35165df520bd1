#!/usr/bin/env python3
"""Writes files whose format structure is whole from first byte to last, for the carving recipe:
a baseline JPEG (JFIF header, tables, one scan of seeded bytes with FF stuffed, EOI), a PNG (IHDR,
IDAT chunks of seeded bytes, IEND, every CRC right), a PDF (objects, a stream, xref, trailer,
%%EOF) and a zip archive (stored and deflated entries, central directory, end record). The bytes
between come from a generator seeded by SEED, so every file differs and the recipe makes the same
files each time.

usage: carve_media.py PATH SIZE SEED [PATH SIZE SEED ...]
  The kind comes from PATH's extension; SIZE is roughly met. A PATH written "nested:NAME.ZIP" is a
  stored zip of one JPEG of SIZE bytes whose data begins 512 bytes into the archive (its local
  header and a 482-byte name): a file start inside another file.
"""
import io
import random
import struct
import sys
import zipfile
import zlib


def jpeg(rng, size):
    out = bytearray(b"\xFF\xD8")
    out += b"\xFF\xE0" + struct.pack(">H", 16) + b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00"
    out += b"\xFF\xDB" + struct.pack(">H", 67) + b"\x00" + bytes(rng.randrange(1, 100) for _ in range(64))
    out += b"\xFF\xC0" + struct.pack(">HBHHB", 11, 8, 64, 64, 1) + b"\x01\x11\x00"
    out += b"\xFF\xC4" + struct.pack(">H", 2 + 17 + 2) + b"\x00" + b"\x00\x02" + b"\x00" * 14 + b"\x03\x04"
    out += b"\xFF\xDA" + struct.pack(">H", 8) + b"\x01\x01\x00\x00\x3F\x00"
    # Entropy-coded data in runs of 4096 bytes, an FF stuffed with 00, a restart marker after each.
    n = 0
    while len(out) < size - 2:
        run = rng.randbytes(min(4096, size - 2 - len(out))).replace(b"\xFF", b"\xFF\x00")
        out += run
        n += 1
        if len(out) < size - 2:
            out += bytes([0xFF, 0xD0 + n % 8])
    out += b"\xFF\xD9"
    return bytes(out)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(rng, size):
    out = bytearray(b"\x89PNG\r\n\x1a\n")
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", 256, 192, 8, 2, 0, 0, 0))
    while len(out) < size - 12 - 12:
        n = min(8192, size - 24 - len(out) - 12)
        out += chunk(b"IDAT", rng.randbytes(max(n, 1)))
    out += chunk(b"IEND", b"")
    return bytes(out)


def pdf(rng, size):
    head = b"%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
    head += b"2 0 obj\n<< /Type /Pages /Count 0 >>\nendobj\n"
    letters = b"0123456789abcdefghijklmnopqrstuvwxyz \n"
    body = bytes(letters[b % len(letters)] for b in rng.randbytes(max(size - 300, 16)))
    stream = b"3 0 obj\n<< /Length %d >>\nstream\n" % len(body) + body + b"\nendstream\nendobj\n"
    tail = b"xref\n0 4\n0000000000 65535 f \ntrailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (
        len(head) + len(stream))
    return head + stream + tail


def archive(rng, size):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        k = 0
        while buf.tell() < size * 3 // 4:
            info = zipfile.ZipInfo("part%02d.bin" % k, date_time=(2024, 1, 5, 13, 7, 22))
            info.compress_type = zipfile.ZIP_STORED if k % 2 == 0 else zipfile.ZIP_DEFLATED
            z.writestr(info, rng.randbytes(max(size // 4, 100)))
            k += 1
        z.comment = b"carve test"
    return buf.getvalue()


def nested(rng, size):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        z.writestr(zipfile.ZipInfo("n" * 482, date_time=(2024, 1, 5, 13, 7, 22)), jpeg(rng, size))
    return buf.getvalue()


def main():
    args = sys.argv[1:]
    for i in range(0, len(args) - 2, 3):
        path, size, seed = args[i], int(args[i + 1]), int(args[i + 2])
        rng = random.Random(seed)
        if path.startswith("nested:"):
            path, make = path[len("nested:"):], nested
        else:
            make = {"jpg": jpeg, "png": png, "pdf": pdf, "zip": archive}[path.rsplit(".", 1)[-1].lower()]
        with open(path, "wb") as f:
            f.write(make(rng, size))


main()
