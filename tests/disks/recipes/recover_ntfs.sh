# A 24 MiB disk with one NTFS partition (4 KiB clusters) made by mkntfs and filled through one
# ntfs-3g mount for the recovery tests: resident and non-resident files, one cluster exactly, an
# empty file, two files written a cluster at a time in turn (each in many runs), dated files, names
# outside ASCII; NTFS-compressed files (units that shrink, units that do not, units of zeros, one
# deleted); files deleted and left alone; a file deleted before the volume was filled up to
# the last cluster, so that its clusters now belong to the filler. ntfs-3g hands out records and
# clusters forward from where it last allocated, within one mount, so no deleted record is reused.
#
# Side files: $OUTBASE.start, $OUTBASE.fls (fls -r -p -l), $OUTBASE.originals/ (every file as it
# was written, at its path) and $OUTBASE.estimates ("path<TAB>estimate" of each deleted file whose
# data is not in its record, from what blkstat says of each cluster istat lists for it).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"

START=2048
SECTORS=$((22 * 2048))
new_disk $((24 * 2048)) <<TABLE
label: dos
unit: sectors

start=$START, size=$SECTORS, type=07
TABLE
ORIG="$OUTBASE.originals"
rm -rf "$ORIG"
mkdir -p "$ORIG"
C=4096

make_file() {  # path size
  mkdir -p "$(dirname "$1")"
  awk -v s="$1" -v n="$2" 'BEGIN { i = 0; out = ""; while (length(out) < n) { out = out s " " i++ "\n" }
    printf "%s", substr(out, 1, n) }' >"$1"
}

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
  put "Long name document.txt" $((3 * C + 17)) '2020-02-29 12:00:00'
  put "Photos/2024/IMG_0001.JPG" $((5 * C + 3)) '2024-06-01 08:30:10'
  put big.bin $((700 * 1024 + 123))
  put "Café del Mar.txt" 321
  put "Привет мир/лето.txt" 6543
  put "日本語/ファイル.txt" 987

  # Written in turn, a cluster at a time: each file's clusters alternate with the other's.
  for i in $(seq 1 24); do
    make_file piece "$C"
    cat piece >>"$m/left.bin"
    # (sed | head -c would die of SIGPIPE under pipefail when sed writes after head is done)
    sed 's/^/R/' piece >piece.r
    head -c "$C" piece.r >>"$m/right.bin"
  done
  touch -d '2022-10-11 12:13:14' "$m/left.bin" "$m/right.bin"
  cp -p "$m/left.bin" "$m/right.bin" "$ORIG/"

  # Compressed: ntfs-3g compresses what is written in a folder that carries the attribute.
  mkdir "$m/Packed"
  setfattr -h -v 0x00000800 -n system.ntfs_attrib_be "$m/Packed"
  put "Packed/words.txt" $((200 * 1024 + 77)) '2018-08-08 08:08:08'
  put "Packed/short.txt" 1500
  head -c $((70 * 1024 + 5)) /dev/urandom >"$m/Packed/noise.bin"
  { make_file piece $((40 * 1024)); head -c $((160 * 1024)) /dev/zero; cat piece; } >"$m/Packed/holes.dat"
  put "Packed/gone packed.txt" $((90 * 1024 + 1))
  cp -p "$m/Packed/noise.bin" "$m/Packed/holes.dat" "$ORIG/Packed/"

  # Overwritten: OLD.BIN's clusters are freed, then the filler takes every free cluster.
  put "Gone/OLD.BIN" $((3 * C))
  put "gone but intact.txt" $((3 * C + 5)) '2021-03-03 03:03:04'
  put "Photos/2024/DELETED.JPG" $((2 * C + 1))
  put "gone note.txt" 77
  rm "$m/Gone/OLD.BIN"
  dd if=/dev/zero of="$m/filler" bs=64k status=none 2>/dev/null || true
  sync
  # Deleted after everything was written and left alone: intact.
  rm "$m/gone but intact.txt" "$m/Photos/2024/DELETED.JPG" "$m/gone note.txt" "$m/Packed/gone packed.txt"
}

format_ntfs "$START" "$SECTORS" RECOVER fill
echo "$START" >"$OUTBASE.start"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"

# The recipe is only worth its name when left.bin really is in pieces.
runs=$(istat -o "$START" "$IMG" "$(ifind -o "$START" -n /left.bin "$IMG")" |
  awk '/^Type: \$DATA/ { on = 1; next } on && /^[0-9 ]+$/ { for (i = 1; i <= NF; i++) print $i }' |
  awk 'NR > 1 && $1 != prev + 1 { jumps++ } { prev = $1 } END { print jumps + 0 }')
[ "$runs" -ge 4 ] || { echo "left.bin is in $((runs + 1)) pieces only" >&2; exit 1; }

# And the compressed ones only when ntfs-3g really compressed them.
for f in words.txt holes.dat "gone packed.txt"; do
  istat -o "$START" "$IMG" "$(ifind -o "$START" -n "/Packed/$f" "$IMG")" | grep -c 'Non-Resident, Compressed' >/dev/null ||
    { echo "Packed/$f is not compressed" >&2; exit 1; }
done

record_ntfs_estimates "$START"
grep -q $'^Gone/OLD.BIN\toverwritten$' "$OUTBASE.estimates" ||
  { echo "OLD.BIN was not overwritten:" >&2; cat "$OUTBASE.estimates" >&2; exit 1; }
