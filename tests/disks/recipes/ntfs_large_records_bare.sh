# An NTFS volume of 4096-byte sectors and records (mkntfs -s 4096) on the whole 24 MiB image,
# without a partition table, filled by fill_large_records.
#
# Side files: $OUTBASE.start ("0"), $OUTBASE.sectors, $OUTBASE.fls (fls -r -p -l of the volume).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"

SECTORS=$((24 * 2048))
format_ntfs 0 "$SECTORS" BARE4096 fill_large_records "" 4096
check_large_records 0 4096
fls -r -p -l "$IMG" >"$OUTBASE.fls"
echo 0 >"$OUTBASE.start"
echo "$SECTORS" >"$OUTBASE.sectors"
