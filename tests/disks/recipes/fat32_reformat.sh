# A 130 MiB disk (a sparse file) whose one FAT32 partition was formatted with 2 KiB clusters and
# filled like a camera card (folders of a hundred photos and fewer, PNG, PDF and ZIP-like files,
# some of them 80 MiB into the card; a file written into the hole a deleted file left, so in
# pieces; two files deleted), then formatted again, quick, with 8 KiB clusters (mkfs.fat warns
# that so few clusters are few for FAT32). The new format's first FAT lies where the old first FAT began, its second FAT and its
# root over the rest of the old first FAT; the old second FAT and the old data area are left as
# they were.
#
# Side files: $OUTBASE.start (partition start sector), $OUTBASE.fls (fls -r -p -l of the old
# volume before the new format), $OUTBASE.originals/ (the old volume's files, deleted ones under
# the name the volume showed) and $OUTBASE.sha256 (their manifest).
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
. "$here/media_files.sh"
START=2048
SECTORS=$((130 * 2048 - START))
OFF=$((START * 512))
M="$IMG@@$OFF"
ORIG="$OUTBASE.originals"
rm -rf "$ORIG"
mkdir -p "$ORIG"
echo "start=$START, size=$SECTORS, type=0c" | new_disk $((130 * 2048))
format_fat 32 4 "$START" "$SECTORS" CAMERA

# mtools allocates after the FSInfo next-free hint: set_hint CLUSTER makes the next copy begin
# there; set_hint 4294967295 (unknown) makes it search from cluster 2, so that it fills the first
# hole.
set_hint() {
  printf "$(printf '\\%03o' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)))" |
    dd of="$IMG" bs=1 seek=$((OFF + 512 + 492)) conv=notrunc status=none
}

# Most of the card in one copy: three folders of photos and a folder of documents.
seed=0
files=()
for folder in 100CANON 101CANON 102CANON; do
  count=92
  [ $folder = 102CANON ] && count=60
  for i in $(seq 1 $count); do
    seed=$((seed + 1))
    name=$(printf 'IMG_%04d.JPG' "$seed")
    [ $((seed % 23)) = 0 ] && name=$(printf 'SCR_%04d.PNG' "$seed")
    files+=("tree/DCIM/$folder/$name" "$(media_size "$seed" 3000 16000)" "$seed")
  done
done
for i in $(seq 1 12); do
  seed=$((seed + 1))
  ext=PDF
  [ $((i % 3)) = 0 ] && ext=ZIP
  files+=("tree/MISC/DOC_$i.$ext" "$(media_size "$seed" 5000 30000)" "$seed")
done
make_media "${files[@]}"
find tree -type f -exec touch -d '2024-07-08 09:10:11' {} +
cp -a tree/. "$ORIG/"
# The last folder and the documents far into the card, past the clusters the new format's FAT
# counts.
mkdir -p later/DCIM
mv tree/DCIM/102CANON later/DCIM/
mv tree/MISC later/
mcopy -s -m -i "$M" tree/* ::/
set_hint 40000
mcopy -s -m -i "$M" later/* ::/

# Files in pieces: in a folder of their own, three files; the middle one deleted and a larger one
# written into its hole and on after the third (its entry takes the deleted one's place too).
mmd -i "$M" ::/FRAG
put() {  # put PATH SIZE SEED
  make_media "src/$1" "$2" "$3"
  touch -d '2024-07-09 10:00:00' "src/$1"
  mkdir -p "$(dirname "$ORIG/$1")"
  cp -p "src/$1" "$ORIG/$1"
  set_hint 4294967295
  mcopy -m -i "$M" "src/$1" "::/$1"
}
put FRAG/ONE.JPG 5000 901
put FRAG/TWO.JPG 7000 902
put FRAG/THREE.PNG 4000 903
mdel -i "$M" ::/FRAG/TWO.JPG
rm "$ORIG/FRAG/TWO.JPG"
put FRAG/BIG.ZIP 20000 904
put FRAG/ALSO.PDF 3000 905
# Deleted and left alone.
mdel -i "$M" ::/DCIM/101CANON/IMG_0100.JPG ::/MISC/DOC_4.PDF
mv "$ORIG/DCIM/101CANON/IMG_0100.JPG" "$ORIG/DCIM/101CANON/_MG_0100.JPG"
mv "$ORIG/MISC/DOC_4.PDF" "$ORIG/MISC/_OC_4.PDF"

echo "$START" >"$OUTBASE.start"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
manifest "$ORIG" >"$OUTBASE.sha256"

format_fat 32 16 "$START" "$SECTORS" NEWCARD
