# A 32 MiB FAT16 volume without a partition table (2 KiB clusters) whose photos, documents and
# archives no structure describes any more: they were copied into MEDIA, then both FATs, the root
# directory and MEDIA's directory were zeroed. Only KEEP (a folder with a note, whose directory
# stays) ties the boot sector to the data, so an Advance search identifies the volume; every file of
# MEDIA can come back only by its content. MEDIA also holds a stored zip whose member JPEG begins
# on a sector boundary inside a cluster: a start inside another file, which must not be listed.
#
# Side files: $OUTBASE.sha256 (the manifest of MEDIA's originals, "sha256  MEDIA/NAME").
# The files come from carve_media.py beside this recipe: after an edit there, touch this recipe so
# that make_disk.sh builds the image again.
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/media_files.sh"
SECTORS=65536
truncate -s $((SECTORS * 512)) "$IMG"
mkfs.fat -F 16 -s 4 -n CARVED "$IMG" $((SECTORS / 2)) >/dev/null
M="$IMG"

mkdir -p orig/MEDIA keep
files=()
n=0
for kind in JPG PNG PDF ZIP JPG PNG JPG PDF JPG ZIP JPG PNG; do
  n=$((n + 1))
  files+=("orig/MEDIA/F$n.$kind" "$(media_size "$n" 3000 90000)" "$n")
done
files+=("nested:orig/MEDIA/NESTED.ZIP" 6000 99)
python3 "$here/carve_media.py" "${files[@]}"
echo "a note that keeps its folder" >keep/NOTE.TXT
mmd -i "$M" ::/KEEP ::/MEDIA
mcopy -i "$M" keep/NOTE.TXT ::/KEEP/
mcopy -i "$M" orig/MEDIA/* ::/MEDIA/

# Where MEDIA's directory, the FATs and the root directory lie, as fsstat and istat give them.
media=$(fls -o 0 "$IMG" | awk '$3 == "MEDIA" { sub(":", "", $2); print $2 }')
media_sectors=$(istat -o 0 "$IMG" "$media" | awk '/^Sectors:/ { on = 1; next } on { print }')
[ -n "$media_sectors" ] || { echo "fat_carve: MEDIA's directory not found" >&2; exit 1; }
read -r fats_begin root_end < <(fsstat -o 0 "$IMG" |
  awk '/^\* FAT 0: / { b = $4 } /^\*\* Root Directory: / { e = $6 } END { print b, e }')
[ -n "$fats_begin" ] && [ -n "$root_end" ] || { echo "fat_carve: no layout from fsstat" >&2; exit 1; }
(cd orig && manifest .) >"$OUTBASE.sha256"
dd if=/dev/zero of="$IMG" bs=512 seek="$fats_begin" count=$((root_end - fats_begin + 1)) conv=notrunc status=none
for s in $media_sectors; do
  [ "$s" = 0 ] || dd if=/dev/zero of="$IMG" bs=512 seek="$s" count=1 conv=notrunc status=none
done
# Nothing may describe MEDIA's files any more.
if fls -r -o 0 "$IMG" 2>/dev/null | grep -q 'MEDIA\|F1\.JPG'; then
  echo "fat_carve: the volume still describes MEDIA" >&2
  exit 1
fi
