# A FAT16 volume whose root directory holds 65,535 entries, the most its 16-bit count allows:
# the volume label and 65,534 empty files F0000001.TXT ... F0065534.TXT. 65,535 entries take
# 4,096 sectors (65,535 x 32 bytes, rounded up). mkfs.fat makes at most 32,768 root entries, so
# its volume is rearranged: the reserved area gives up 2,048 sectors, the FATs move down into
# them, and the root grows into the room they leave, ending where the data area began. 64 MiB, one
# MBR partition from sector 2048. Side files: $OUTBASE.start, $OUTBASE.fls.
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"
START=2048
SIZE=$((64 * 2048 - START))
echo "start=$START, size=$SIZE, type=06" | new_disk $((64 * 2048))
mkfs.fat -F 16 -s 4 -R 2052 -r 32768 -n FULLROOT --offset "$START" "$IMG" $((SIZE / 2)) >/dev/null
range_of() { fsstat -o "$START" "$IMG" | sed -n "s/^\** *$1: \([0-9]*\) - \([0-9]*\)\$/\1 \2/p" | sed -n 1p; }
read -r fat0 _ < <(range_of 'FAT 0')
read -r root0 root1 < <(range_of 'Root Directory')
read -r data0 _ < <(range_of 'Cluster Area')
[ $((data0 - root0)) -eq 2048 ] && [ "$fat0" -ge 2052 ] || { echo "fat16_fullroot: unexpected layout" >&2; exit 1; }
# The FATs move 2048 sectors down; the root is then the 4096 sectors in front of the data area.
dd if="$IMG" of=fats.bin bs=512 skip=$((START + fat0)) count=$((root0 - fat0)) status=none
dd if=fats.bin of="$IMG" bs=512 seek=$((START + fat0 - 2048)) conv=notrunc status=none
# Entries as a system writes them: 2023-01-01 12:00 as the creation, access and write times.
perl -e 'binmode STDOUT; my ($t, $d) = (0x6000, 0x5621);
  print pack("A11 C x20", "FULLROOT", 0x08);
  for my $i (1 .. 65534) { print pack("A11 C C C v v v v v v v V", sprintf("F%07dTXT", $i), 0x20, 0, 0,
                                      $t, $d, $d, 0, $t, $d, 0, 0) }' >root.bin
dd if=root.bin of="$IMG" bs=512 seek=$((START + data0 - 4096)) conv=notrunc status=none
# Reserved sectors (16 bits at 14) and root entries (16 bits at 17) of the boot sector.
perl -e 'binmode STDOUT; print pack("v", $ARGV[0])' $((fat0 - 2048)) | dd of="$IMG" bs=1 seek=$((START * 512 + 14)) conv=notrunc status=none
perl -e 'binmode STDOUT; print pack("v", 65535)' | dd of="$IMG" bs=1 seek=$((START * 512 + 17)) conv=notrunc status=none
echo "$START" >"$OUTBASE.start"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
