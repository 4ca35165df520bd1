# A 48 MiB disk with one NTFS partition (4 KiB clusters) filled through ntfs-3g for the names a
# file record and a folder index can hold besides a record's first name:
# - "linked/original.txt" with two more names made by ln, in two other folders;
# - "hundred/base.dat" with 120 more names in "hundred" and "elsewhere": far more $FILE_NAME
#   attributes than one record holds, so ntfs-3g moves them into extension records named by an
#   $ATTRIBUTE_LIST;
# - "churn" with 160 files of which 70 are deleted; after a remount (ntfs-3g hands out records
#   forward from where it last allocated within one mount) 90 new files in "fresh" take the freed
#   records, so many deleted names are left only in the unused tail of churn's index records.
#
# Side files: $OUTBASE.start, $OUTBASE.sectors, $OUTBASE.fls (fls -r -p -l) and $OUTBASE.deleted
# (the path of each file the recipe deleted, one a line).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"

START=2048
SECTORS=$((46 * 2048))
new_disk $((48 * 2048)) <<TABLE
label: dos
unit: sectors

start=$START, size=$SECTORS, type=07
TABLE

rm -f "$OUTBASE.deleted"
fill() {
  local m=$1 i
  mkdir "$m/linked" "$m/second" "$m/third" "$m/hundred" "$m/elsewhere" "$m/churn" "$m/fresh"
  awk 'BEGIN { for (i = 0; i < 700; i++) printf "original line %d\n", i }' >"$m/linked/original.txt"
  ln "$m/linked/original.txt" "$m/second/second name.txt"
  ln "$m/linked/original.txt" "$m/third/third name.txt"
  awk 'BEGIN { for (i = 0; i < 3000; i++) printf "base %d\n", i }' >"$m/hundred/base.dat"
  for i in $(seq -w 1 120); do
    if [ $((10#$i % 4)) -eq 0 ]; then
      ln "$m/hundred/base.dat" "$m/elsewhere/moved name $i.dat"
    else
      ln "$m/hundred/base.dat" "$m/hundred/another name for the base $i.dat"
    fi
  done
  for i in $(seq -w 1 160); do printf 'churn file %s\n' "$i" >"$m/churn/churn file $i.txt"; done
  # The deleted batch: the upper part of the names, last first, so each removal leaves the key
  # of the one after it in the tail of the index record.
  for i in $(seq -w 160 -1 91); do
    rm "$m/churn/churn file $i.txt"
    echo "churn/churn file $i.txt" >>"$OUTBASE.deleted"
  done
  umount "$m"
  ntfs-3g ntfs.img "$m"
  for i in $(seq -w 1 90); do printf 'fresh %s\n' "$i" >"$m/fresh/f$i.txt"; done
}

format_ntfs "$START" "$SECTORS" NAMES fill

fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
echo "$START" >"$OUTBASE.start"
echo "$SECTORS" >"$OUTBASE.sectors"
