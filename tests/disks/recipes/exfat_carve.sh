# A 32 MiB exFAT card without a partition table (4 KiB clusters), filled through exfat-fuse with
# photos and documents (carve_media.py), then the entry sets of LOST1.JPG, LOST2.PDF and LOST3.PNG
# zeroed in the root directory: no entry names their clusters any more, so only their content can
# bring them back; the files whose entries stay are listed as they are and must not be carved.
#
# Side files: $OUTBASE.sha256 (the manifest of the three lost files, "sha256  LOST/NAME").
# After an edit to carve_media.py, touch this recipe so that make_disk.sh builds the image again.
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
truncate -s 32M "$IMG"
mkdir -p orig/LOST
python3 "$here/carve_media.py" orig/KEPT.JPG 40000 1 orig/KEPT.PDF 25000 2 orig/LOST/LOST1.JPG 50000 3 \
  orig/LOST/LOST2.PDF 30000 4 orig/LOST/LOST3.PNG 45000 5
fill() {
  cp orig/KEPT.JPG orig/KEPT.PDF orig/LOST/* "$1"/
  sync
}
format_exfat "$IMG" CARVED fill
(cd orig && find LOST -type f | LC_ALL=C sort | while IFS= read -r p; do
  printf '%s  %s\n' "$(sha256sum <"$p" | cut -d' ' -f1)" "$p"
done) >"$OUTBASE.sha256"
# A set is a File entry (0x85), a Stream entry and Name entries; these short names take one each.
python3 - "$IMG" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
for name in ("LOST1.JPG", "LOST2.PDF", "LOST3.PNG"):
    at = data.find(b"\xC1\x00" + name.encode("utf-16-le"))
    if at < 64 or data[at - 64] != 0x85:
        sys.exit("exfat_carve: no entry set of " + name)
    data[at - 64:at + 32] = bytes(96)
open(path, "wb").write(data)
PY
