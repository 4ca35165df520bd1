#!/usr/bin/env bash
# Makes the seed corpora of the fuzz targets from the test disks (run it after the test disks
# exist: build/test-disks, made by the test suite). The seeds are committed; run this again only
# when a target's input changes. Inputs that found a fault are added by hand and kept.
set -euo pipefail
cd "$(dirname "$0")/.."
D=${1:-build/test-disks}
seed() { python3 fuzz/make_seeds.py "$@"; }
range_of() { fsstat -o "$2" "$1" | sed -n "s/^\** *$3: \([0-9]*\) - \([0-9]*\)\$/\1 \2/p" | head -n 1; }

# The partition walk: the table sectors, the extended records and the boot sectors.
seed partition_walk sample "$D/sample.img" 0 2048 34816 116736 118784 135168 137216
seed partition_walk mbr_mixed "$D/mbr_mixed.img" 0 2048 10240 12288 20480 22528 30720 32768 40960 43008 51200 59392
seed partition_walk fat16_tree "$D/fat16_tree.img" 0 2048
seed partition_walk fat_bare "$D/fat_bare.img" 0-1

# Validation: each volume at sector 0, with its boot sectors and the first sectors of its FATs
# (or, on NTFS, of its MFT and mirror).
for v in "fat16_tree 2048" "fat32_tree 2048" "fat12_frag 2048"; do
  set -- $v
  read -r fat0 fat0end < <(range_of "$D/$1.img" "$2" 'FAT 0')
  seed --base "$2" validate_partition "$1" "$D/$1.img" "$2+0-$2+8" "$2+$fat0" "$2+$fat0end+1"
done
ntfs_mft=$(python3 -c "import struct;b=open('$D/sample.img','rb');b.seek(118784*512);s=b.read(512);print(struct.unpack_from('<Q',s,48)[0]*s[13], struct.unpack_from('<Q',s,56)[0]*s[13])")
set -- $ntfs_mft
seed --base 118784 validate_partition sample_ntfs "$D/sample.img" 118784 "118784+$1-118784+$1+3" "118784+$2" 135167

# Boot sectors alone.
mkdir -p fuzz/corpus/fat_boot_sector
for v in "fat16_tree 2048" "fat32_tree 2048" "fat12_frag 2048" "sample 118784" "sample 0" "fat_bare 0"; do
  set -- $v
  dd if="$D/$1.img" of="fuzz/corpus/fat_boot_sector/$1-$2" bs=512 skip="$2" count=1 status=none
done

# FAT chains: the first sectors of real FATs, as FAT12, FAT16 and FAT32 read them.
for v in "fat16_tree 2048" "fat32_tree 2048" "fat12_frag 2048"; do
  set -- $v
  read -r fat0 _ < <(range_of "$D/$1.img" "$2" 'FAT 0')
  seed --base $(($2 + fat0 - 1)) fat_chain "$1" "$D/$1.img" "$(($2 + fat0))-$(($2 + fat0 + 15))"
done

# Directories: the FAT16 root and a FAT32 folder of sixty long names.
read -r root0 _ < <(range_of "$D/fat16_tree.img" 2048 'Root Directory')
seed --base $((2048 + root0)) fat_directory fat16_root "$D/fat16_tree.img" "$((2048 + root0))-$((2048 + root0 + 15))"
read -r root32 _ < <(range_of "$D/fat32_tree.img" 2048 'Root Directory')
seed --base $((2048 + root32)) --nonzero fat_directory fat32_root "$D/fat32_tree.img" "$((2048 + root32))-$((2048 + root32 + 63))"

# Whole small volumes at sector 0, their sectors of zeros left out.
seed --base 2048 --nonzero fat_standard_search smoke_fat16 "$D/smoke_fat16.img" "2048-8191"
seed --base 2048 --nonzero fat_standard_search fat12_frag "$D/fat12_frag.img" "2048-14335"
seed --nonzero fat_standard_search fat_bare "$D/fat_bare.img" "0-2000"

# Scan logs saved by the scan itself.
mkdir -p fuzz/corpus/scan_log
for recipe in fat16_tree fat32_tree ntfs_tree; do
  build/quarrow scan "$D/$recipe.img" --partition 1 --json --save-log "fuzz/corpus/scan_log/$recipe.QLG" >/dev/null
done

# Recovery over an NTFS volume starts from the same disk as the MFT walk.
mkdir -p fuzz/corpus/recovery_ntfs_volume
cp fuzz/corpus/ntfs_mft_walk/ntfs_tree fuzz/corpus/recovery_ntfs_volume/ntfs_tree

# LZNT1: the clusters of a compression unit of each compressed file ntfs-3g wrote (a unit of 16
# clusters, so a first byte of 15), the first one that did shrink.
mkdir -p fuzz/corpus/ntfs_lznt1
start=$(cat "$D/recover_ntfs.start")
for f in words.txt holes.dat; do
  inode=$(ifind -o "$start" -n "/Packed/$f" "$D/recover_ntfs.img")
  read -r first count < <(istat -o "$start" "$D/recover_ntfs.img" "$inode" |
    awk '/^Type: \$DATA/ { on = 1; next } on && /^[0-9 ]+$/ { for (i = 1; i <= NF; i++) c[n++] = $i }
         END { for (u = 0; u < n; u += 16) { k = 0; while (k < 16 && c[u + k] != 0) k++
               if (k > 0 && k < 16) { print c[u], k; exit } } }')
  { printf '\x0f'; dd if="$D/recover_ntfs.img" bs=4096 skip=$((start / 8 + first)) count="$count" status=none; } \
    >"fuzz/corpus/ntfs_lznt1/$f"
done

# Whole small NTFS volumes: the smallest mkntfs makes (2 MiB, 512-byte clusters), filled through
# ntfs-3g with a folder whose index spills into an INDX block, resident and non-resident files,
# and a file and a folder deleted, its blank sectors left out. The recovery target also gets the
# same volume with the length of the first run of the $Bitmap's data (record 6) set to 0: a
# bitmap that names no cluster once crashed the estimate of every deleted file.
small=$(mktemp -d)
trap 'umount "$small/mnt" 2>/dev/null || true; rm -rf "$small"' EXIT
truncate -s 2M "$small/v.img"
# A small tree with a deleted file and a deleted folder, written through the mount at $small/mnt.
fill_small() {
  mkdir -p "$small/mnt/Docs/Sub" "$small/mnt/Old"
  echo small >"$small/mnt/Docs/a.txt"
  seq 1 700 >"$small/mnt/Docs/Sub/b.txt"
  seq 1000 1500 >"$small/mnt/gone.txt"
  echo x >"$small/mnt/Old/y.txt"
  for i in $(seq 1 40); do : >"$small/mnt/Docs/entry $i.txt"; done
  rm "$small/mnt/gone.txt"
  rm -r "$small/mnt/Old"
  umount "$small/mnt"
}
mkntfs -F -q -f -p 0 -H 255 -S 63 -c 512 -L SEED "$small/v.img" 2>/dev/null
mkdir "$small/mnt"
ntfs-3g "$small/v.img" "$small/mnt"
fill_small
seed --nonblank ntfs_volume small_volume "$small/v.img" "0-$(($(stat -c %s "$small/v.img") / 512 - 1))"
python3 - "$small/v.img" <<'PY'
import struct, sys
path = sys.argv[1]
with open(path, 'r+b') as f:
    boot = f.read(512)
    cluster = struct.unpack_from('<H', boot, 11)[0] * boot[13]
    record6 = struct.unpack_from('<Q', boot, 48)[0] * cluster + 6 * 1024
    f.seek(record6)
    rec = f.read(1024)
    at = struct.unpack_from('<H', rec, 20)[0]
    while struct.unpack_from('<I', rec, at)[0] not in (0x80, 0xFFFFFFFF):
        at += struct.unpack_from('<I', rec, at + 4)[0]
    assert rec[at + 8] == 1, 'the $Bitmap data is resident'
    runs = at + struct.unpack_from('<H', rec, at + 32)[0]
    f.seek(record6 + runs + 1)
    f.write(bytes(rec[runs] & 0x0F))  # as many zero bytes as the length field has
PY
seed --nonblank recovery_ntfs_volume bitmap_zero_run "$small/v.img" "0-$(($(stat -c %s "$small/v.img") / 512 - 1))"

# Volumes whose records are as large as their 4096- or 2048-byte sectors (ntfs_large_records):
# record 0 of each and the root folder's record for the record decoders and the fix-up; the
# boot sectors, the first sectors of the MFT and of its mirror and the backup in the last volume
# sector for validation; the boot sectors and their backups, and the backups alone (the table and
# the main copies gone), for the lost-partition search. The whole-volume targets get a 4 MiB
# volume of 4096-byte sectors filled as the small volume above.
for n in 1 2; do
  start=$(cat "$D/ntfs_large_records.$n.start")
  sectors=$(cat "$D/ntfs_large_records.$n.sectors")
  read -r bytes mft mirror < <(python3 -c "import struct;b=open('$D/ntfs_large_records.img','rb');b.seek($start*512);s=b.read(512);k=struct.unpack_from('<H',s,11)[0]//512*s[13];print(struct.unpack_from('<H',s,11)[0], struct.unpack_from('<Q',s,48)[0]*k, struct.unpack_from('<Q',s,56)[0]*k)")
  for f in ntfs_records ntfs_fixup; do
    dd if="$D/ntfs_large_records.img" of="fuzz/corpus/$f/rec0_$bytes" bs=512 skip=$((start + mft)) \
      count=$((bytes / 512)) status=none
    dd if="$D/ntfs_large_records.img" of="fuzz/corpus/$f/rec5_$bytes" bs=512 skip=$((start + mft + 5 * bytes / 512)) \
      count=$((bytes / 512)) status=none
  done
  seed --base "$start" validate_partition "ntfs_records_$bytes" "$D/ntfs_large_records.img" "$start" \
    "$start+$mft-$start+$mft+$((bytes / 512 - 1))" "$start+$mirror" "$((start + sectors - bytes / 512))"
done
seed lost_partition_search large_records "$D/ntfs_large_records.img" 2048 51192 51200 100348
seed lost_partition_search large_records_backups "$D/ntfs_large_records.img" 51192 100348
truncate -s 4M "$small/v4k.img"
mkntfs -F -q -f -s 4096 -p 0 -H 255 -S 63 -L SEED4K "$small/v4k.img" 2>/dev/null
ntfs-3g "$small/v4k.img" "$small/mnt"
fill_small
for f in ntfs_mft_walk recovery_ntfs_volume ntfs_volume; do
  seed --nonblank "$f" small_volume_4k "$small/v4k.img" "0-$(($(stat -c %s "$small/v4k.img") / 512 - 1))"
done

# The GUID partition table: the protective MBR, the header and the first entries, the boot
# sectors, the backup array and header; the same disk with its primary header damaged; a disk of
# 4096-byte sectors.
seed gpt gpt_mixed "$D/gpt_mixed.img" 0-3 2048 71680 88064 96256 106463-106464 106495
cp "$D/gpt_mixed.img" "$D/gpt_damaged.tmp" && printf '\0' | dd of="$D/gpt_damaged.tmp" bs=1 seek=600 conv=notrunc status=none
seed gpt gpt_primary_damaged "$D/gpt_damaged.tmp" 0-3 2048 71680 106463-106464 106495
rm -f "$D/gpt_damaged.tmp"
seed gpt gpt_4k "$D/gpt_4k.img" 0-23 2048 67584 131064-131071
# exFAT: the card's boot regions alone, its root and folders' clusters, and the volume's
# structures with its first folders for the walk (file data left out).
mkdir -p fuzz/corpus/exfat_boot_region fuzz/corpus/exfat_entry_set fuzz/corpus/exfat_advance_scan
dd if="$D/exfat_card.img" of=fuzz/corpus/exfat_boot_region/card-main bs=512 count=12 status=none
dd if="$D/exfat_card.img" of=fuzz/corpus/exfat_boot_region/card-backup bs=512 skip=12 count=12 status=none
exfat_heap=$(python3 -c "import struct;s=open('$D/exfat_card.img','rb').read(512);print(struct.unpack_from('<I',s,88)[0], 1 << s[109])")
set -- $exfat_heap
for c in 5 6 7 8; do
  dd if="$D/exfat_card.img" of="fuzz/corpus/exfat_entry_set/card-cluster-$c" bs=512 skip=$(($1 + (c - 2) * $2)) \
    count="$2" status=none
done
seed --nonzero exfat_directory_walk card "$D/exfat_card.img" 0-23 2048-2111 "$1-$(($1 + 40 * $2))"
seed --nonzero exfat_directory_walk card-boot-sector-wiped "$D/exfat_card.img" 1-23 2048-2111 "$1-$(($1 + 40 * $2))"
seed --nonzero validate_partition exfat_card "$D/exfat_card.img" 0-23 2048-2050
# The Advance search starts from the same sectors, with and without the boot region.
cp fuzz/corpus/exfat_directory_walk/card fuzz/corpus/exfat_directory_walk/card-boot-sector-wiped \
  fuzz/corpus/exfat_advance_scan/
# Index keys: churn's index records of ntfs_names (keys live, in the unused tail and in records the
# folder freed), each after the folder's record number; and one after another folder's number.
mkdir -p fuzz/corpus/ntfs_index_keys
churn=$(fls -o 2048 "$D/ntfs_names.img" | sed -n 's/^d\/d \([0-9]*\)-[0-9-]*:\tchurn$/\1/p')
icat -o 2048 "$D/ntfs_names.img" "$churn-160" >"$D/churn-index.tmp"
for block in 0 4 6 8; do
  { python3 -c "import struct,sys;sys.stdout.buffer.write(struct.pack('<I',$churn))"
    dd if="$D/churn-index.tmp" bs=4096 skip=$block count=1 status=none; } >"fuzz/corpus/ntfs_index_keys/churn-$block"
done
{ printf '\5\0\0\0'; dd if="$D/churn-index.tmp" bs=4096 skip=6 count=1 status=none; } >fuzz/corpus/ntfs_index_keys/root-owner
rm -f "$D/churn-index.tmp"

# Carving: not from the test disks. fuzz/corpus/carve holds the files tests/unit/carve_test.cpp
# writes byte by byte (those under 16 KiB, the JPEG, PNG and MP4 again with small data, a JPEG
# whose scan decodes and a PDF of one text page), a zip followed by another and a PDF followed by
# a JPEG; they were written once and are kept.
