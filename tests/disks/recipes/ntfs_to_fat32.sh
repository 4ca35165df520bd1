# A 40 MiB disk whose NTFS partition at sector 2048 (4 KiB clusters) was filled like a camera card
# (camera_files, through ntfs-3g), then formatted FAT32 (512-byte clusters) in place with a new
# type byte: the new FATs lie over the $MFT, so no file record is left; the files' clusters, the
# folders' index blocks, the $MFT mirror's first records and the NTFS backup boot sector at the
# partition's end are left as they were.
#
# Side files: $OUTBASE.start, $OUTBASE.sectors, $OUTBASE.fls (fls -r -p -l of the NTFS volume
# before the new format) and $OUTBASE.sha256 (manifest of the files copied in).
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
. "$here/media_files.sh"
START=2048
SECTORS=$((40 * 2048 - START))
echo "start=$START, size=$SECTORS, type=07" | new_disk $((40 * 2048))
camera_files tree 300
fill() { cp -r tree/. "$1/"; }
format_ntfs "$START" "$SECTORS" CAMERA fill
echo "$START" >"$OUTBASE.start"
echo "$SECTORS" >"$OUTBASE.sectors"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
manifest tree >"$OUTBASE.sha256"
echo "start=$START, size=$SECTORS, type=0c" | sfdisk -q "$IMG"
format_fat 32 1 "$START" "$SECTORS" NEWCARD
