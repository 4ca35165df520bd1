# A 72 MiB disk (a sparse file) whose one FAT32 partition was formatted with 1 KiB clusters and
# filled like a camera card (camera_files), a photo and a document deleted, then formatted again,
# quick, with the same clusters: the new boot sector, FATs and root lie where the old ones did, so
# no FAT is left that describes the old files, and the old root is an empty one; the old folders
# and the data area are left as they were.
#
# Side files: $OUTBASE.start (partition start sector), $OUTBASE.fls (fls -r -p -l of the old
# volume before the new format) and $OUTBASE.sha256 (manifest of the old volume's files, the
# deleted ones under the name the volume showed).
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
. "$here/media_files.sh"
START=2048
SECTORS=$((72 * 2048 - START))
M="$IMG@@$((START * 512))"
echo "start=$START, size=$SECTORS, type=0c" | new_disk $((72 * 2048))
format_fat 32 2 "$START" "$SECTORS" CAMERA
camera_files tree 300
mcopy -s -m -i "$M" tree/* ::/
mdel -i "$M" ::/DCIM/100CANON/IMG_0005.JPG ::/MISC/DOC_3.PDF
mv tree/DCIM/100CANON/IMG_0005.JPG tree/DCIM/100CANON/_MG_0005.JPG
mv tree/MISC/DOC_3.PDF tree/MISC/_OC_3.PDF
echo "$START" >"$OUTBASE.start"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
manifest tree >"$OUTBASE.sha256"
format_fat 32 2 "$START" "$SECTORS" NEWCARD
