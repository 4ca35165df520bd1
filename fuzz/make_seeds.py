#!/usr/bin/env python3
"""Writes seed inputs for the fuzz targets from disk images made by the test-disk recipes.

    python3 fuzz/make_seeds.py [--base SECTOR] [--nonzero] [--nonblank] TARGET NAME IMAGE SECTOR[-SECTOR] ...

Writes fuzz/corpus/TARGET/NAME in the FuzzDisk format (fuzz/fuzz_disk.h): the image's sector
count, then each listed sector (or range of sectors) with its number. A sector can be given as
PARTITION_START+OFFSET to name sectors relative to a partition. With --base, sector numbers are
written less the base (and the count is the image's from there): a volume that starts at the
base lands at sector 0 of the fuzz disk. With --nonzero, sectors of zeros are left out (they
read as zeros anyway), which keeps the seed of a whole small volume small; with --nonblank,
sectors of one byte repeated are left out too (an NTFS $LogFile is 0xFF through).
"""
import os
import struct
import sys


def main():
    args = sys.argv[1:]
    base = 0
    nonzero = False
    nonblank = False
    while args[:1] in (['--base'], ['--nonzero'], ['--nonblank']):
        if args[0] == '--base':
            base = eval(args[1], {})
            args = args[2:]
        elif args[0] == '--nonblank':
            nonblank = True
            args = args[1:]
        else:
            nonzero = True
            args = args[1:]
    if len(args) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    target, name, image = args[0:3]
    size = os.path.getsize(image)
    out = bytearray(struct.pack('<Q', size // 512 - base))
    with open(image, 'rb') as f:
        for spec in args[3:]:
            first, _, last = spec.partition('-')
            first = eval(first, {})  # small sums such as 2048+6
            last = eval(last, {}) if last else first
            for sector in range(first, last + 1):
                f.seek(sector * 512)
                data = f.read(512).ljust(512, b'\0')
                if nonzero and not any(data):
                    continue
                if nonblank and data.count(data[0]) == len(data):
                    continue
                out += struct.pack('<I', sector - base) + data
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(out)
    return 0


if __name__ == '__main__':
    sys.exit(main())
