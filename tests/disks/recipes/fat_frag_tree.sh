# The body shared by fat_frag_deleted.sh and fat_frag_zeroed.sh (sourced by them; not a recipe of
# its own). After an edit here, touch the two recipes so that make_disk.sh builds their images
# again.
#
# A 16 MiB disk with one FAT16 partition of 6 MiB from sector 2048 (1 KiB clusters), filled with mtools one
# copy at a time, so that the order of writes decides where files land (mtools takes the first
# free clusters), with camera-like files (JPEG, PNG, PDF and ZIP-like bytes) and files written in
# pieces on purpose:
#   X1/A.PNG X2/B.PDF X3/C.ZIP are written, B is deleted, X4/D.JPG fills B's clusters and goes on
#     after C's, then D is deleted: B's clusters hold D's bytes, D's run from its first cluster
#     holds C.
#   X1/E.JPG X7/F.JPG X3/G.JPG: the same with X5/H.PDF in F's place, and then H and G deleted too:
#     G is whole, F holds H's bytes and H's run holds G's.
#   X1/P.JPG X8/Q.JPG X3/R.JPG: the same with X6/FRAG.ZIP, which stays: Q lost its clusters to it.
#   DCIM/100TEST: live photos; DCIM/101TEST: photos deleted after everything, left alone.
# Every file has a write time later than the files written before it, as a camera gives them.
# Each deleted file that a later file replaces lives in a folder of its own, made first: a file
# written into its folder would take its entry too.
#
# Side files: $OUTBASE.start (partition start sector), $OUTBASE.fls (fls -r -p -l),
# $OUTBASE.originals/ (every file as written, deleted ones under the name the volume now shows)
# and $OUTBASE.sha256 (the manifest of the originals).
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
. "$here/media_files.sh"
START=2048
SECTORS=$((6 * 2048))
M="$IMG@@$((START * 512))"
C=1024
ORIG="$OUTBASE.originals"
rm -rf "$ORIG"
mkdir -p "$ORIG"
echo "start=$START, size=$SECTORS, type=06" | new_disk $((16 * 2048))
format_fat 16 2 "$START" "$SECTORS" FRAGMENTS

for folder in DCIM DCIM/100TEST DCIM/101TEST X1 X2 X3 X4 X5 X6 X7 X8; do mmd -i "$M" "::/$folder"; done

minute=0
# put PATH SIZE: a file of its kind, copied in at its path with the next write time.
put() {
  minute=$((minute + 1))
  make_media "src/$1" "$2" "$minute"
  touch -d "2024-05-06 10:00:00 UTC + $minute minutes" "src/$1"
  mkdir -p "$(dirname "$ORIG/$1")"
  cp -p "src/$1" "$ORIG/$1"
  mcopy -m -i "$M" "src/$1" "::/$1"
}
# gone PATH SHOWN: deletes a file; its original is kept under the name the volume now shows.
gone() {
  mdel -i "$M" "::/$1"
  if [ "$1" != "$2" ]; then mv "$ORIG/$1" "$ORIG/$2"; fi
}

for i in 01 02 03 04 05 06; do put "DCIM/100TEST/IMG_00$i.JPG" "$(media_size "$i" 3000 9000)"; done

put X1/A.PNG $((2 * C + 100))
put X2/B.PDF $((3 * C))
put X3/C.ZIP $((2 * C + 7))
gone X2/B.PDF X2/_.PDF
put X4/D.JPG $((6 * C + 300))

put X1/E.JPG $((C + 10))
put X7/F.JPG $((2 * C))
put X3/G.JPG $((3 * C - 5))
gone X7/F.JPG X7/_.JPG
put X5/H.PDF $((5 * C + 11))

put X1/P.JPG $((C + 1))
put X8/Q.JPG $((2 * C))
put X3/R.JPG $((2 * C + 900))
gone X8/Q.JPG X8/_.JPG
put X6/FRAG.ZIP $((4 * C + 64))

for i in 07 08 09 10; do put "DCIM/101TEST/IMG_00$i.JPG" "$(media_size "$i" 2500 7000)"; done
put DCIM/100TEST/IMG_0011.JPG 4321

# Deleted last, nothing written after: the run of each begins at its own first cluster.
gone X4/D.JPG X4/_.JPG
gone X5/H.PDF X5/_.PDF
gone X3/G.JPG X3/_.JPG
for i in 07 08 09 10; do gone "DCIM/101TEST/IMG_00$i.JPG" "DCIM/101TEST/_MG_00$i.JPG"; done

echo "$START" >"$OUTBASE.start"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
manifest "$ORIG" >"$OUTBASE.sha256"
