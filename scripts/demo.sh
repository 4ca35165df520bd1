#!/usr/bin/env bash
# The demonstration: sets the machine up, builds quarrow into build/, makes the sample disk
# (a FAT16, a FAT32 and an extended partition with an NTFS and a FAT16 drive) and lists its
# partitions, then runs the Standard search of its FAT32 partition and copies what it found
# into build/demo-recovered.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target quarrow -j "$(nproc 2>/dev/null || echo 2)"
# make_disk.sh runs its recipe in a scratch folder, so it gets an absolute output folder.
bash tests/disks/make_disk.sh sample "$PWD/build/test-disks"
echo
echo "\$ build/quarrow partitions build/test-disks/sample.img"
build/quarrow partitions build/test-disks/sample.img
echo
echo "\$ build/quarrow scan build/test-disks/sample.img --partition 2"
build/quarrow scan build/test-disks/sample.img --partition 2
echo
echo "\$ build/quarrow recover build/test-disks/sample.img --partition 2 --to build/demo-recovered"
rm -rf build/demo-recovered
build/quarrow recover build/test-disks/sample.img --partition 2 --to build/demo-recovered
