# A 40 MiB disk whose NTFS partition at sector 2048 (4 KiB clusters) was filled like a camera card
# (camera_files, through ntfs-3g), then quick-formatted NTFS again by mkntfs: a new $MFT of the
# system files and an empty root lie where the old $MFT began; the old records past the new
# $MFT's first records, the files' clusters and the folders' index blocks are left as they were.
#
# Side files: $OUTBASE.start, $OUTBASE.sectors, $OUTBASE.fls (fls -r -p -l of the NTFS volume
# before the new format) and $OUTBASE.sha256 (manifest of the files copied in).
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
. "$here/media_files.sh"
START=2048
SECTORS=$((40 * 2048 - START))
echo "start=$START, size=$SECTORS, type=07" | new_disk $((40 * 2048))
camera_files tree 400
fill() { cp -r tree/. "$1/"; }
format_ntfs "$START" "$SECTORS" CAMERA fill
echo "$START" >"$OUTBASE.start"
echo "$SECTORS" >"$OUTBASE.sectors"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
manifest tree >"$OUTBASE.sha256"
# mkntfs -f writes only its own structures: run it on a copy of the old partition and copy that
# back, so that the rest of the old volume's sectors stay as they were.
dd if="$IMG" of=part.img bs=512 skip="$START" count="$SECTORS" status=none
mkntfs -F -q -f -p "$START" -H 255 -S 63 -L NEWCARD part.img
dd if=part.img of="$IMG" bs=512 seek="$START" conv=notrunc status=none
rm -f part.img
