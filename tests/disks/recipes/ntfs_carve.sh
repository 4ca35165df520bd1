# A 32 MiB NTFS volume without a partition table, filled through ntfs-3g with photos and documents
# (carve_media.py), then the file records of LOST1.JPG, LOST2.PDF and LOST3.PNG zeroed: their names
# stay as keys of the root's index, but nothing says where their data is. Only their content can
# bring them back; the files whose records stay are listed as they are and must not be carved.
#
# Side files: $OUTBASE.sha256 (the manifest of the three lost files, "sha256  LOST/NAME").
# After an edit to carve_media.py, touch this recipe so that make_disk.sh builds the image again.
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
SECTORS=65536
truncate -s $((SECTORS * 512)) "$IMG"
mkdir -p orig/LOST
python3 "$here/carve_media.py" orig/KEPT.JPG 40000 1 orig/KEPT.PDF 25000 2 orig/LOST/LOST1.JPG 50000 3 \
  orig/LOST/LOST2.PDF 30000 4 orig/LOST/LOST3.PNG 45000 5
fill() {
  cp orig/KEPT.JPG orig/KEPT.PDF orig/LOST/* "$1"/
  sync
}
format_ntfs 0 "$SECTORS" CARVED fill
(cd orig && find LOST -type f | LC_ALL=C sort | while IFS= read -r p; do
  printf '%s  %s\n' "$(sha256sum <"$p" | cut -d' ' -f1)" "$p"
done) >"$OUTBASE.sha256"
mft=$(fsstat "$IMG" | awk '/First Cluster of MFT:/ { print $NF }')
cluster=$(fsstat "$IMG" | awk '/Cluster Size:/ { print $NF }')
for name in LOST1.JPG LOST2.PDF LOST3.PNG; do
  inode=$(fls "$IMG" | awk -v n="$name" '$NF == n { sub(/-.*/, "", $2); print $2 }')
  [ -n "$inode" ] || { echo "ntfs_carve: $name not found" >&2; exit 1; }
  dd if=/dev/zero of="$IMG" bs=1024 seek=$(((mft * cluster) / 1024 + inode)) count=1 conv=notrunc status=none
done
