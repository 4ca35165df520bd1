# The body shared by fat16_tree.sh and fat32_tree.sh (sourced by them, with FAT_BITS, DISK_MIB,
# PART_TYPE, CLUSTER_SECTORS and LABEL set, and HIGH_FILLER_MIB to put a folder tree behind a
# filler file of that size). Not a recipe of its own. After an edit here, touch the
# two recipes so that make_disk.sh builds their images again.
#
# One MBR partition from sector 2048 is formatted with mkfs.fat and filled with mtools the way a
# user fills a stick: nested folders, long and 8.3 names, files of 0 bytes, less than a cluster and
# many clusters, a folder whose directory spans (fragmented) clusters; then files and folders are
# deleted with mdel and mdeltree, and one deleted folder gets its cluster reused by a new file.
#
# Side files: $OUTBASE.start (partition start sector), $OUTBASE.fls (fls -r -p -l), $OUTBASE.fsstat,
# and $OUTBASE.orphans: "name<TAB>size" of each deleted file whose folder survives while the
# folder's parent lost its cluster, so it can only be reached through the catch-all folder.

: "${FAT_BITS:?}" "${DISK_MIB:?}" "${PART_TYPE:?}" "${CLUSTER_SECTORS:?}" "${LABEL:?}"
START=2048
OFF=$((START * 512))
SECTORS=$((DISK_MIB * 2048 - START))
CLUSTER_BYTES=$((CLUSTER_SECTORS * 512))
export MTOOLS_SKIP_CHECK=1 TZ=UTC
M="$IMG@@$OFF"

truncate -s "${DISK_MIB}M" "$IMG"
echo "start=$START, size=$SECTORS, type=$PART_TYPE" | sfdisk -q "$IMG"
mkfs.fat -F "$FAT_BITS" -s "$CLUSTER_SECTORS" -n "$LABEL" --offset "$START" "$IMG" $((SECTORS / 2)) >/dev/null

# Deterministic contents: a file's bytes depend only on its name and size.
make_file() {  # path size
  mkdir -p "$(dirname "$1")"
  if [ "$2" -eq 0 ]; then
    : >"$1"
  else
    # (yes | head would die of SIGPIPE under pipefail)
    awk -v s="$1" -v n="$2" 'BEGIN { l = s "\n"; while (n > 0) { k = n < length(l) ? n : length(l);
      printf "%s", substr(l, 1, k); n -= k } }' >"$1"
  fi
}

t=tree
make_file "$t/README.TXT" 300
make_file "$t/empty.dat" 0
make_file "$t/small.txt" 100
make_file "$t/Mixed.Txt" $((CLUSTER_BYTES - 1))
make_file "$t/Report 13.doc" $((CLUSTER_BYTES))
make_file "$t/Twenty six chars name.jpeg" $((CLUSTER_BYTES + 1))
make_file "$t/OLDNOTE.TXT" 77
make_file "$t/a deleted long name.txt" 5000
make_file "$t/Deleted 26 chars names.jpg" 1234
make_file "$t/DCIM/100CANON/IMG_0001.JPG" 12345
make_file "$t/DCIM/100CANON/IMG_0002.JPG" $((3 * CLUSTER_BYTES + 1))
make_file "$t/DCIM/100CANON/MVI_0003.MOV" 0
make_file "$t/Music/Some Artist/Album (2024)/Disc 1/01 - first track.mp3" 9000
make_file "$t/Music/Some Artist/Album (2024)/Disc 1/02 - second track with a much longer name than most.mp3" 4321
make_file "$t/Music/Some Artist/Album (2024)/cover.jpg" 2500
make_file "$t/Documents/Reports/2023/Q1/SUMMARY.TXT" 640
make_file "$t/Documents/Reports/2023/Q1/notes.txt" 10
make_file "$t/Documents/Reports/2023/Q2 figures.xls" 7000
make_file "$t/Documents/Old Drafts/draft one.txt" 333
make_file "$t/Documents/Old Drafts/DRAFT2.TXT" 444
make_file "$t/Trash Folder/top file.txt" 50
make_file "$t/Trash Folder/Sub One/mid file.txt" 1500
make_file "$t/Trash Folder/Sub One/Sub Two/deep file.txt" 2600
# Sixty long names: the directory needs several clusters, allocated between the files' own clusters.
for i in $(seq -w 1 60); do
  make_file "$t/Big Folder/file number $i.txt" $((10#$i * 97))
done
# Fixed time stamps, different per folder, so dates and times can be compared with fls.
find "$t" -type f -path '*/DCIM/*' -exec touch -d '2024-01-05 13:07:22' {} +
find "$t" -type f -path '*/Music/*' -exec touch -d '2023-11-30 08:59:58' {} +
find "$t" -type f -path '*/Documents/*' -exec touch -d '2022-02-28 23:45:10' {} +
find "$t" -type f ! -path '*/DCIM/*' ! -path '*/Music/*' ! -path '*/Documents/*' \
  -exec touch -d '2021-07-14 10:30:00' {} +

mcopy -s -m -i "$M" "$t"/* ::/

# Names as people's disks hold them: long names with accents, Cyrillic, Greek and CJK letters
# (stored in UTF-16), and names that fit 8.3 written in lower case, which
# mcopy stores as short entries with the case flags of byte 12 and no long name.
mkdir -p intl/"Ünïcode folder" intl/"Фото 2024" intl/"音楽" intl/src
make_file intl/"Ünïcode folder/inner.txt" 120
make_file intl/"Café del Mar.mp3" 3000
make_file intl/"Фото 2024/снимок.jpg" 1500
make_file intl/"音楽/歌.mp3" 2100
make_file intl/"Ελληνικά.txt" 64
make_file intl/notes.txt 33
make_file intl/desktop.ini 20
make_file intl/src/main.c 48
touch -d '2020-05-05 05:05:06' intl/*/* intl/*.*
LC_ALL=C.UTF-8 mcopy -s -m -i "$M" intl/* ::/

# An 8.3 name with bytes above 127 in it, as a system set up for another language writes it: the
# short entry of OEMNAME.TXT gets the bytes 8F 80 84 9A in place of "OEMN" (code page 437 reads
# them "ÅÇäÜ", code page 866 "ПАДЪ"). Side file: the names each code page gives it.
make_file OEMNAME.TXT 11
touch -d '2020-05-05 05:05:06' OEMNAME.TXT
mcopy -m -i "$M" OEMNAME.TXT ::/OEMNAME.TXT
oem_at=$(grep -obUaP 'OEMNAME TXT' "$IMG" | sed -n 1p | cut -d: -f1)
printf '\x8F\x80\x84\x9A' | dd of="$IMG" bs=1 seek="$oem_at" conv=notrunc status=none
printf 'ÅÇäÜAME.TXT\tПАДЪAME.TXT\t11\n' >"$OUTBASE.oem"

if [ "${HIGH_FILLER_MIB:-0}" -gt 0 ]; then
  # Past cluster 65535 a FAT32 cluster number needs the entry's high 16 bits: a filler file
  # pushes a folder tree there.
  head -c $((HIGH_FILLER_MIB * 1048576)) /dev/zero >filler.bin
  make_file high/"High Clusters/Nested High/far file.txt" $((2 * CLUSTER_BYTES + 5))
  make_file high/"High Clusters/gone high.txt" 900
  touch -d '2019-12-31 23:59:58' high/"High Clusters"/*.txt high/"High Clusters"/*/*.txt
  mcopy -m -i "$M" filler.bin ::/FILLER.BIN
  mcopy -s -m -i "$M" high/* ::/
fi

# The folder whose cluster gets reused is copied last, so that its clusters are the lowest ones
# freed by the mdeltree below: the next file written takes the folder's own directory cluster.
make_file lost/"Lost Album/Disc 2/track 1.mp3" 700
make_file lost/"Lost Album/Disc 2/track 2.mp3" 800
touch -d '2021-03-03 03:03:04' lost/"Lost Album"/*/*
mcopy -s -m -i "$M" lost/* ::/
mdeltree -i "$M" "::/Lost Album"
if [ "$FAT_BITS" = 32 ]; then
  # mtools allocates after the FSInfo next-free hint; marking the hint unknown (as a system that
  # does not trust it would) makes it search from cluster 2, like the FAT16 allocator does.
  printf '\377\377\377\377' | dd of="$IMG" bs=1 seek=$((OFF + 512 + 492)) conv=notrunc status=none
fi
make_file NEW.BIN "$CLUSTER_BYTES"
mcopy -m -i "$M" NEW.BIN ::/NEW.BIN
printf 'track 1.mp3\t700\ntrack 2.mp3\t800\n' >"$OUTBASE.orphans"

# Deleted the way a user deletes: single files, a file in a sub-folder, a folder tree at the root
# and one inside a living folder.
mdel -i "$M" ::/OLDNOTE.TXT "::/a deleted long name.txt" "::/Deleted 26 chars names.jpg"
mdel -i "$M" ::/DCIM/100CANON/IMG_0002.JPG
if [ "${HIGH_FILLER_MIB:-0}" -gt 0 ]; then
  mdel -i "$M" "::/High Clusters/gone high.txt"
fi
mdeltree -i "$M" "::/Trash Folder"
mdeltree -i "$M" "::/Documents/Old Drafts"

echo "$START" >"$OUTBASE.start"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
fsstat -o "$START" "$IMG" >"$OUTBASE.fsstat"
