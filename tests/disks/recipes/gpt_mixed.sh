# A 52 MiB disk with a GUID partition table made by sgdisk, as a stick partitioned on a recent
# Windows or Mac has one:
#   1 "Stick Data"    basic data (0700), FAT32 with a few folders and files, one deleted
#   2 "Ünïcode NTFS"  basic data (0700), NTFS (empty)
#   3 "linux"         Linux filesystem (8300), unformatted: not listed
#   4 "EFI system"    EFI system (ef00), FAT16
# Side files: $OUTBASE.mmls (mmls), $OUTBASE.fls (fls -r -p -l of partition 1), and the same disk
# as an evidence file in three segments, $OUTBASE.E01 .. $OUTBASE.E03 (ewfacquire).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"

truncate -s $((106496 * 512)) "$IMG"
sgdisk -n 1:2048:+34M -t 1:0700 -c 1:"Stick Data" -n 2:71680:+8M -t 2:0700 -c 2:"Ünïcode NTFS" \
  -n 3:88064:+4M -t 3:8300 -c 3:linux -n 4:96256:+4M -t 4:ef00 -c 4:"EFI system" "$IMG" >/dev/null

format_fat 32 1 2048 69632 GPTDATA
format_ntfs 71680 16384
format_fat 16 1 96256 8192 EFI

export MTOOLS_SKIP_CHECK=1
M="$IMG@@$((2048 * 512))"
mkdir -p t/DCIM/100PHOTO t/Documents
head -c 70000 /dev/urandom >t/DCIM/100PHOTO/IMG_0001.JPG
head -c 9000 /dev/urandom >t/DCIM/100PHOTO/IMG_0002.JPG
printf 'a note kept on the stick\n' >"t/Documents/read me first.txt"
head -c 30000 /dev/urandom >t/Documents/gone.bin
mcopy -s -m -i "$M" t/* ::/
mdel -i "$M" ::/Documents/gone.bin

mmls "$IMG" >"$OUTBASE.mmls"
fls -r -p -l -o 2048 "$IMG" >"$OUTBASE.fls"
rm -f "$OUTBASE".E0?
ewfacquire -u -q -c none -S 20MiB -t "$WORK/ewf" "$IMG" >/dev/null
for segment in "$WORK"/ewf.E0?; do mv "$segment" "$OUTBASE.${segment##*.}"; done
