# A 32 MiB exFAT card without a partition table (4 KiB clusters), made by mkfs.exfat and filled
# through one exfat-fuse mount: long names and names outside ASCII (a character outside the basic
# plane among them), a folder of 2500 files whose directory spans many clusters, two files
# written a cluster at a time in turn (each in many pieces), files deleted and a folder tree
# deleted whole.
#
# Side files: $OUTBASE.fls (fls -r -p -l), $OUTBASE.originals/ (every file as it was written, at
# its path, deleted ones too).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"

truncate -s $((32 * 1024 * 1024)) "$IMG"
ORIG="$OUTBASE.originals"
rm -rf "$ORIG"
mkdir -p "$ORIG"
C=4096

make_file() {  # path size
  mkdir -p "$(dirname "$1")"
  awk -v s="$1" -v n="$2" 'BEGIN { i = 0; out = ""; while (length(out) < n) { out = out s " " i++ "\n" }
    printf "%s", substr(out, 1, n) }' >"$1"
}

LONG="A long name that goes on and on $(printf 'and on %.0s' $(seq 1 20))until it ends.txt"

fill() {
  local m=$1 i
  # put PATH SIZE [DATE]: the file in the volume, and its original kept.
  put() {
    make_file "$m/$1" "$2"
    touch -d "${3:-2023-04-05 06:07:08}" "$m/$1"
    mkdir -p "$(dirname "$ORIG/$1")"
    cp -p "$m/$1" "$ORIG/$1"
  }
  put small.txt 100 '2019-12-31 23:59:58'
  put empty.dat 0
  put "one cluster.bin" "$C" '2024-01-05 13:07:22'
  put "$LONG" $((3 * C + 17)) '2020-02-29 12:00:00'
  put "DCIM/100CAMERA/IMG_0001.JPG" $((5 * C + 3)) '2024-06-01 08:30:10'
  put big.bin $((700 * 1024 + 123))
  put "Café del Mar.txt" 321
  put "Привет мир/лето.txt" 6543
  put "日本語/ファイル.txt" 987
  put "smile 😀 face.txt" 55

  # Many files: the directory's entry sets take some sixty clusters.
  mkdir "$m/Many"
  for i in $(seq -w 1 2500); do : >"$m/Many/file_$i.txt"; done
  put "Many/last one.txt" 2000

  # Written in turn, a cluster at a time: each file's clusters alternate with the other's.
  for i in $(seq 1 24); do
    make_file piece "$C"
    cat piece >>"$m/left.bin"
    sed 's/^/R/' piece >piece.r
    head -c "$C" piece.r >>"$m/right.bin"
  done
  touch -d '2022-10-11 12:13:14' "$m/left.bin" "$m/right.bin"
  cp -p "$m/left.bin" "$m/right.bin" "$ORIG/"

  # Deleted: single files, and a folder tree whole.
  put "gone but intact.txt" $((3 * C + 5)) '2021-03-03 03:03:04'
  put "DCIM/100CAMERA/IMG_0002.JPG" $((7 * C + 1))
  put "Trip/notes.txt" 777
  put "Trip/Day 1/beach.jpg" $((4 * C))
  put "Trip/Day 2/hills.jpg" $((2 * C + 9))
  rm "$m/gone but intact.txt" "$m/DCIM/100CAMERA/IMG_0002.JPG"
  rm -r "$m/Trip"
  sync
}

format_exfat "$IMG" CARD fill
fls -r -p -l "$IMG" >"$OUTBASE.fls"
