# A 48 MiB disk whose FAT32 partition at sector 2048 (512-byte clusters) was filled like a camera
# card (camera_files), then given a new table whose one partition begins at sector 8192, as card
# readers lay cards out, formatted FAT32 again: the old boot sector and FATs are left, but no
# table entry points at them, and the new volume's boot sector, FATs and root lie over about
# 700 KiB of the old data area.
#
# Side files: $OUTBASE.start (the old partition's start sector), $OUTBASE.sectors (its size),
# $OUTBASE.fls (fls -r -p -l of the old volume before the new table) and $OUTBASE.sha256 (manifest
# of the files copied in).
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
. "$here/media_files.sh"
START=2048
SECTORS=$((48 * 2048 - START))
echo "start=$START, size=$SECTORS, type=0c" | new_disk $((48 * 2048))
format_fat 32 1 "$START" "$SECTORS" CAMERA
camera_files tree 200
mcopy -s -m -i "$IMG@@$((START * 512))" tree/* ::/
echo "$START" >"$OUTBASE.start"
echo "$SECTORS" >"$OUTBASE.sectors"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
manifest tree >"$OUTBASE.sha256"
echo "start=8192, size=$((48 * 2048 - 8192)), type=0c" | sfdisk -q "$IMG"
format_fat 32 1 8192 $((48 * 2048 - 8192)) NEWCARD
