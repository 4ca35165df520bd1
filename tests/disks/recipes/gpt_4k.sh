# A 64 MiB disk of 4096-byte logical sectors with a GUID partition table, as a 4Kn disk or an
# enclosure that reports 4096-byte sectors has one: the header lies at byte 4096 (LBA 1 of that
# size). sfdisk writes it through a loop device set to 4096-byte sectors, so this needs losetup
# (and root); without it the recipe says so and exits 77.
#   1 "four k data"   basic data, FAT16 of 4096-byte sectors
#   2 "four k ntfs"   basic data, NTFS of 4096-byte sectors (empty)
# Side file: $OUTBASE.mmls (mmls -b 4096).
truncate -s 64M "$IMG"
if ! L=$(losetup --sector-size 4096 -f --show "$IMG" 2>losetup.err); then
  cat losetup.err >&2
  echo "recipe: no loop device with 4096-byte sectors here" >&2
  exit 77
fi
trap 'losetup -d "$L" 2>/dev/null || true' EXIT
sfdisk -q --no-reread --no-tell-kernel "$L" <<'TABLE' 2>sfdisk.err || grep -q "Re-reading" sfdisk.err
label: gpt
start=256, size=8192, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, name="four k data"
start=8448, size=4096, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, name="four k ntfs"
TABLE
sync
losetup -d "$L"
trap - EXIT

truncate -s 32M fat.img
mkfs.fat -F 16 -S 4096 -s 1 -n FOURK fat.img >/dev/null
dd if=fat.img of="$IMG" bs=4096 seek=256 conv=notrunc status=none
truncate -s 16M ntfs.img
mkntfs -F -q -f -s 4096 -p 8448 -H 255 -S 63 ntfs.img
dd if=ntfs.img of="$IMG" bs=4096 seek=8448 conv=notrunc status=none
rm -f fat.img ntfs.img
mmls -b 4096 "$IMG" >"$OUTBASE.mmls"
grep -q "four k ntfs" "$OUTBASE.mmls"
