# The body shared by recover_fat12.sh, recover_fat16.sh and recover_fat32.sh (sourced by them,
# with FAT_BITS, DISK_MIB, PART_TYPE and CLUSTER_SECTORS set, and PART_SECTORS for a partition
# that does not fill the disk). Not a recipe of its own. After an
# edit here, touch the three recipes so that make_disk.sh builds their images again.
#
# One MBR partition from sector 2048, formatted with mkfs.fat and filled with mtools the way a user
# fills a stick, one copy at a time so that the order of writes decides where files land: files of
# 0 bytes, one cluster exactly, many clusters and more than 512 KiB; a file fragmented by writing
# it into the hole a deleted file left; deleted files left alone, deleted files whose clusters a
# later file took (the first of them, or only the second), and names outside ASCII.
#
# Side files: $OUTBASE.start (partition start sector), $OUTBASE.fls (fls -r -p -l),
# $OUTBASE.estimates ("path<TAB>estimate" of each deleted file) and $OUTBASE.originals/, every
# file as it was written, at its path (a deleted 8.3 name under the name the volume now shows).

: "${FAT_BITS:?}" "${DISK_MIB:?}" "${PART_TYPE:?}" "${CLUSTER_SECTORS:?}"
START=2048
OFF=$((START * 512))
SECTORS=${PART_SECTORS:-$((DISK_MIB * 2048 - START))}
C=$((CLUSTER_SECTORS * 512))
export MTOOLS_SKIP_CHECK=1 TZ=UTC
M="$IMG@@$OFF"
ORIG="$OUTBASE.originals"
rm -rf "$ORIG"
mkdir -p "$ORIG"

truncate -s "${DISK_MIB}M" "$IMG"
echo "start=$START, size=$SECTORS, type=$PART_TYPE" | sfdisk -q "$IMG"
mkfs.fat -F "$FAT_BITS" -s "$CLUSTER_SECTORS" -n RECOVER --offset "$START" "$IMG" $((SECTORS / 2)) >/dev/null

# Deterministic contents that differ from file to file: the name, then a counter, repeated.
make_file() {  # path size
  mkdir -p "$(dirname "$1")"
  awk -v s="$1" -v n="$2" 'BEGIN { i = 0; out = ""; while (length(out) < n) { out = out s " " i++ "\n" }
    printf "%s", substr(out, 1, n) }' >"$1"
}

# FAT32: mtools allocates after the FSInfo next-free hint; marking it unknown makes it search from
# cluster 2, as FAT12 and FAT16 allocation does, so holes are filled in order.
forget_hint() {
  if [ "$FAT_BITS" = 32 ]; then
    printf '\377\377\377\377' | dd of="$IMG" bs=1 seek=$((OFF + 512 + 492)) conv=notrunc status=none
  fi
}

# put PATH SIZE [TOUCH_DATE]: makes the file, keeps the original, copies it in at its path.
put() {
  make_file "src/$1" "$2"
  touch -d "${3:-2023-04-05 06:07:08}" "src/$1"
  mkdir -p "$(dirname "$ORIG/$1")"
  cp -p "src/$1" "$ORIG/$1"
  forget_hint
  local dir="" part
  IFS=/ read -ra parts <<<"$(dirname "$1")"
  for part in "${parts[@]}"; do
    [ "$part" = . ] && continue
    dir="$dir/$part"
    mmd -D s -i "$M" "::$dir" 2>/dev/null || true
  done
  LC_ALL=C.UTF-8 mcopy -m -i "$M" "src/$1" "::/$1"
}

# gone PATH SHOWN: deletes a file; its original is kept under the name the volume now shows.
gone() {
  mdel -i "$M" "::/$1"
  mkdir -p "$(dirname "$ORIG/$2")"
  if [ "$1" != "$2" ]; then mv "$ORIG/$1" "$ORIG/$2"; fi
}

put ONE.BIN "$C" '2024-01-05 13:07:22'
put EMPTY.TXT 0
put SMALL.TXT 100 '2019-12-31 23:59:58'
put "Long name document.txt" $((3 * C + 17)) '2020-02-29 12:00:00'
put "Photos/2024/IMG_0001.JPG" $((5 * C + 3)) '2024-06-01 08:30:10'
put "Photos/2024/IMG_0002.JPG" $((2 * C))
put BIGFILE.BIN $((700 * 1024 + 123))

# Each deleted file whose clusters a later file takes lives in a folder of its own, made before any
# of this: a file written into the folder a deleted one's entry is in would take that entry too,
# and nothing would be left to estimate.
for folder in Gone1 Gone2 Gone3; do mmd -i "$M" "::/$folder"; done
# FRAG.BIN is written into a hole: BEE.BIN's two clusters, then the clusters after CEE.BIN.
put Gone1/AYE.BIN $((2 * C))
put Gone1/BEE.BIN $((2 * C))
put Gone1/CEE.BIN $((2 * C))
gone Gone1/BEE.BIN Gone1/_EE.BIN
put FRAG.BIN $((4 * C + 100)) '2022-10-11 12:13:14'

# Overwritten: NEWER.BIN takes the clusters OLD.BIN left (all of them, so no hole is left that a
# later file would fill first).
put Gone2/OLD.BIN $((3 * C))
gone Gone2/OLD.BIN Gone2/_LD.BIN
put NEWER.BIN $((3 * C))

# Names outside ASCII, written as UTF-16 long names.
put "Ünïcode café.txt" 321
put "Привет мир.txt" 654
put "日本語のファイル.txt" 987

# Deleted after everything was written and left alone: intact.
put "gone but intact.txt" $((3 * C + 5)) '2021-03-03 03:03:04'
put "Photos/2024/DELETED.JPG" $((2 * C + 1))

# Partly overwritten, written last: two one-cluster files take PART.BIN's first two clusters, and
# the first of them is deleted again, so PART.BIN's first cluster is free and its second is not
# (and FILL1.BIN, its one cluster free, is intact). Nothing is written after this.
put Gone3/PART.BIN $((4 * C))
gone Gone3/PART.BIN Gone3/_ART.BIN
put FILL1.BIN "$C"
put FILL2.BIN "$C"
gone FILL1.BIN _ILL1.BIN

gone "gone but intact.txt" "gone but intact.txt"
gone "Photos/2024/DELETED.JPG" "Photos/2024/_ELETED.JPG"

printf '%s\t%s\n' "Gone1/_EE.BIN" "overwritten" "Gone2/_LD.BIN" "overwritten" \
  "Gone3/_ART.BIN" "partly overwritten" "_ILL1.BIN" "intact" "gone but intact.txt" "intact" \
  "Photos/2024/_ELETED.JPG" "intact" >"$OUTBASE.estimates"
echo "$START" >"$OUTBASE.start"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
