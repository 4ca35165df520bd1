# An NTFS volume formatted on the whole image, without a partition table. 16 MiB.
# Side file: $OUTBASE.fls (fls -r -p -l of the volume).
truncate -s 16M "$IMG"
mkntfs -F -q -f -p 0 -H 255 -S 63 -L BARENTFS "$IMG"
mkdir mnt
if ! ntfs-3g "$IMG" mnt 2>ntfs-3g.err; then
  cat ntfs-3g.err >&2
  echo "ntfs_bare: ntfs-3g cannot mount (no FUSE here)" >&2
  exit 77
fi
mkdir -p mnt/Docs
echo "an NTFS volume without a table" >mnt/Docs/readme.txt
umount mnt
fls -r -p -l "$IMG" >"$OUTBASE.fls"
