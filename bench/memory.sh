#!/usr/bin/env bash
# Peak memory of `quarrow scan --json` on the two disks that show whether memory grows with what
# was found and nothing else: the 1 GiB FAT32 disk of bench/scan_vs_dd.sh (a few thousand folders
# and files) and a chain of 7,645 folders nested one in another (each named "D"), whose JSON holds
# every path, so its size grows with the square of the depth while the tree itself does not.
#
#   bench/memory.sh [BUILD_DIR]      (default: build; needs BUILD_DIR/quarrow and python3)
#
# Prints each disk's peak resident memory, the JSON's size and their ratio. A change that makes
# memory grow with the disk, or build paths from the root for every file, shows up as a ratio far
# above the one before it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
quarrow="$build/quarrow"
[ -x "$quarrow" ] || { echo "memory.sh: no $quarrow (build first)" >&2; exit 2; }
dir="$build/bench"
mkdir -p "$dir"
[ -f "$dir/fat32_1g.img" ] || RUNS=1 bash "$here/scan_vs_dd.sh" "$build" >/dev/null

deep="$dir/deep_7645.img"
if [ ! -f "$deep" ]; then
  # A 64 MiB FAT32 volume of one sector per cluster in an MBR partition from sector 2048; folder k
  # (k = 1 ... 7645) is cluster k + 2, holding ".", ".." and the entry "D" of folder k + 1.
  truncate -s 64M "$deep.part"
  echo "start=2048, type=0c" | sfdisk -q "$deep.part"
  mkfs.fat -F 32 -s 1 --offset 2048 "$deep.part" $(( (64 * 2048 - 2048) / 2 )) >/dev/null
  perl -e '
    use strict; my ($img) = @ARGV; open(my $f, "+<:raw", $img) or die;
    my $start = 2048; seek($f, $start * 512, 0); read($f, my $boot, 512);
    my $reserved = unpack("v", substr($boot, 14, 2)); my $fatSectors = unpack("V", substr($boot, 36, 4));
    my $fat = $start + $reserved; my $cluster0 = $fat + 2 * $fatSectors - 2;
    my $entry = sub { my ($name, $cluster) = @_;
      pack("A11 C C C v v v v v v v V", $name, 0x10, 0, 0, 0x6000, 0x5621, 0x5621, $cluster >> 16,
           0x6000, 0x5621, $cluster & 0xFFFF, 0) };
    my $depth = 7645;
    seek($f, ($cluster0 + 2) * 512, 0); print $f $entry->("D", 3);   # the root names folder 1
    for my $k (1 .. $depth) {
      my $self = $k + 2; my $parent = $k == 1 ? 0 : $self - 1;
      my $dir = $entry->(".", $self) . $entry->("..", $parent);
      $dir .= $entry->("D", $self + 1) if $k < $depth;
      seek($f, ($cluster0 + $self) * 512, 0); print $f $dir . ("\0" x (512 - length $dir));
    }
    for my $copy (0, 1) {  # every folder a cluster long
      for my $c (2 .. $depth + 2) { seek($f, ($fat + $copy * $fatSectors) * 512 + 4 * $c, 0); print $f pack("V", 0x0FFFFFFF) }
    }' "$deep.part"
  mv -f "$deep.part" "$deep"
fi

peak() {  # IMAGE: prints "peak_kib json_bytes seconds"
  python3 - "$quarrow" "$1" "$dir/memory.json" <<'PY'
import resource, subprocess, sys, time
quarrow, image, out = sys.argv[1:4]
t0 = time.monotonic()
with open(out, "wb") as f:
    subprocess.run([quarrow, "scan", image, "--partition", "1", "--json"], stdout=f, check=True)
t = time.monotonic() - t0
import os
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, os.path.getsize(out), "%.2f" % t)
PY
}
for image in "$dir/fat32_1g.img" "$deep"; do
  read -r kib bytes seconds < <(peak "$image")
  awk -v n="$(basename "$image")" -v k="$kib" -v b="$bytes" -v s="$seconds" 'BEGIN {
    printf "%-16s peak %7.1f MB, JSON %7.1f MB, peak / JSON %5.2f, %s s\n", n, k / 1024, b / 1048576, k * 1024 / b, s }'
done
