# A 72 MiB disk (a sparse file) whose one FAT32 partition was formatted with 1 KiB clusters and
# filled like a camera card (camera_files), then formatted again, quick, with 512-byte clusters:
# the new, larger FATs cover the old ones and the first half MiB of the old data area, where the
# old root and the first folders were; the rest of the old data area is left as it was, without
# a FAT or a boot sector that describes it.
#
# Side files: $OUTBASE.start (partition start sector), $OUTBASE.fls (fls -r -p -l of the old
# volume before the new format) and $OUTBASE.sha256 (manifest of the files copied in).
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
. "$here/media_files.sh"
START=2048
SECTORS=$((72 * 2048 - START))
echo "start=$START, size=$SECTORS, type=0c" | new_disk $((72 * 2048))
format_fat 32 2 "$START" "$SECTORS" CAMERA
camera_files tree 100
mcopy -s -m -i "$IMG@@$((START * 512))" tree/* ::/
echo "$START" >"$OUTBASE.start"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
manifest tree >"$OUTBASE.sha256"
format_fat 32 1 "$START" "$SECTORS" NEWCARD
