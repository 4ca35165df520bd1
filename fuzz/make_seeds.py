#!/usr/bin/env python3
"""Writes seed inputs for the fuzz targets from disk images made by the test-disk recipes.

    python3 fuzz/make_seeds.py TARGET NAME IMAGE SECTOR[-SECTOR] ...

Writes fuzz/corpus/TARGET/NAME in the FuzzDisk format (fuzz/fuzz_disk.h): the image's sector
count, then each listed sector (or range of sectors) with its number. A sector can be given as
PARTITION_START+OFFSET to name sectors relative to a partition.
"""
import os
import struct
import sys


def main():
    if len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    target, name, image = sys.argv[1:4]
    size = os.path.getsize(image)
    out = bytearray(struct.pack('<Q', size // 512))
    with open(image, 'rb') as f:
        for spec in sys.argv[4:]:
            first, _, last = spec.partition('-')
            first = eval(first, {})  # small sums such as 2048+6
            last = eval(last, {}) if last else first
            for sector in range(first, last + 1):
                f.seek(sector * 512)
                out += struct.pack('<I', sector) + f.read(512).ljust(512, b'\0')
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(out)
    return 0


if __name__ == '__main__':
    sys.exit(main())
