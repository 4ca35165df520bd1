# A 48 MiB disk with one NTFS partition made by mkntfs and filled through an ntfs-3g mount the way
# a user fills a stick: nested folders, long and non-ASCII names, a folder of 600 entries (its
# index spills out of its record into INDX blocks), a sparse file, a file fragmented into hundreds
# of runs (its record needs an attribute list), then files deleted with rm and a folder deleted
# with its contents. Nothing is created after the first deletion, so no deleted record is reused.
#
# Side files: $OUTBASE.start (partition start sector), $OUTBASE.sectors (its size in sectors),
# $OUTBASE.fls (fls -r -p -l), $OUTBASE.fragmented and $OUTBASE.sparse (the record numbers of the
# fragmented and the sparse file, as ifind finds them), $OUTBASE.estimates (record_ntfs_estimates).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"

START=2048
SECTORS=$((46 * 2048))
new_disk $((48 * 2048)) <<TABLE
label: dos
unit: sectors

start=$START, size=$SECTORS, type=07
TABLE

# A file whose bytes depend only on its name and size.
make_file() {  # path size
  mkdir -p "$(dirname "$1")"
  awk -v s="$1" -v n="$2" 'BEGIN { l = s "\n"; while (n > 0) { k = n < length(l) ? n : length(l);
    printf "%s", substr(l, 1, k); n -= k } }' >"$1"
}

fill() {
  local m=$1 i
  make_file "$m/README.TXT" 300
  make_file "$m/empty.dat" 0
  make_file "$m/Documents/Reports/2023/Q1/summary.txt" 640
  make_file "$m/Documents/Reports/2023/Q1/notes.txt" 10
  make_file "$m/Documents/Reports/2023/Q2 figures.xls" 7000
  make_file "$m/Documents/Letters/to the bank.doc" 2222
  make_file "$m/Music/Some Artist/Album (2024)/Disc 1/01 - first track.mp3" 9000
  make_file "$m/Music/Some Artist/Album (2024)/cover.jpg" 2500
  make_file "$m/$(printf 'A very long file name %.0s' 1 2 3 4 5 6 7 8) that ends here.txt" 123
  make_file "$m/$(printf 'x%.0s' $(seq 251)).txt" 55
  make_file "$m/Привет мир/Фотографии/лето.jpg" 4000
  make_file "$m/文件夹/文档.txt" 333
  make_file "$m/Café del Mar.mp3" 3000
  make_file "$m/naïve résumé.doc" 1500
  make_file "$m/Emoji 😀 folder/smile.txt" 20
  mkdir -p "$m/Big Folder"
  for i in $(seq -w 1 600); do : >"$m/Big Folder/entry number $i.txt"; done
  make_file "$m/Trash Folder/top file.txt" 50
  make_file "$m/Trash Folder/Sub One/mid file.txt" 1500
  make_file "$m/Trash Folder/Sub One/Sub Two/deep file.txt" 2600
  make_file "$m/OLDNOTE.TXT" 77
  make_file "$m/a deleted long name.txt" 5000
  make_file "$m/Documents/Letters/draft.doc" 4444

  # A sparse file: 20 MiB long, one block of data in the middle.
  truncate -s 20M "$m/sparse.bin"
  printf 'the only data' | dd of="$m/sparse.bin" bs=1 seek=$((7 * 1048576)) conv=notrunc status=none

  # Fragmentation: single-cluster files, the rest of the volume filled, every other file removed;
  # the next file can only go into the holes.
  mkdir -p "$m/frag"
  for i in $(seq 1 800); do head -c 4096 /dev/zero >"$m/frag/piece $i"; done
  dd if=/dev/zero of="$m/filler" bs=1M status=none 2>/dev/null || true
  for i in $(seq 2 2 800); do rm "$m/frag/piece $i"; done
  head -c $((360 * 4096)) /dev/zero | tr '\0' 'f' >"$m/fragmented.bin"
  rm "$m/filler"
  for i in $(seq 1 2 800); do rm "$m/frag/piece $i"; done

  # Deleted the way a user deletes.
  rm "$m/OLDNOTE.TXT" "$m/a deleted long name.txt" "$m/Documents/Letters/draft.doc"
  rm -r "$m/Trash Folder"
}

format_ntfs "$START" "$SECTORS" QRWNTFS fill
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
record_ntfs_estimates "$START"
echo "$START" >"$OUTBASE.start"
echo "$SECTORS" >"$OUTBASE.sectors"
frag=$(ifind -o "$START" -n /fragmented.bin "$IMG")
# The recipe is only worth its name when the file really needs an attribute list.
# (grep -c reads to the end: grep -q could leave istat to die of SIGPIPE under pipefail)
istat -o "$START" "$IMG" "$frag" | grep -c '\$ATTRIBUTE_LIST' >/dev/null || { echo "fragmented.bin has no attribute list" >&2; exit 1; }
istat -o "$START" "$IMG" "$(ifind -o "$START" -n "/Big Folder" "$IMG")" | grep -c '\$INDEX_ALLOCATION' >/dev/null ||
  { echo "Big Folder has no index allocation" >&2; exit 1; }
echo "$frag" >"$OUTBASE.fragmented"
ifind -o "$START" -n /sparse.bin "$IMG" >"$OUTBASE.sparse"
