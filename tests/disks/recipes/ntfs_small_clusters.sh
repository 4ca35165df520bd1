# A 40 MiB disk with one NTFS partition of 512-byte clusters (mkntfs -c 512), so that the $MFT's
# runs can hold an odd number of sectors and an MFT record can begin in one run and end in the
# next. The fill makes the volume's free space a sieve of one- and three-cluster holes before it
# creates enough folders to make the $MFT grow into them; each folder holds one small file.
#
# Side files: $OUTBASE.start (partition start sector), $OUTBASE.sectors (its size in sectors),
# $OUTBASE.fls (fls -r -p -l).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"

START=2048
SECTORS=$((36 * 2048))
new_disk $((40 * 2048)) <<TABLE
label: dos
unit: sectors

start=$START, size=$SECTORS, type=07
TABLE

# A sieve of holes in the free space, then folders until the volume is full.
fill() {
  local m=$1 i
  for i in $(seq 1 300); do head -c 1536 /dev/zero | tr '\0' 's' >"$m/s$i.bin"; done
  dd if=/dev/zero of="$m/fill" bs=1M status=none 2>/dev/null || true
  for i in $(seq 1 2 300); do rm "$m/s$i.bin"; done
  made=0
  for i in $(seq 1 1500); do
    mkdir "$m/folder $i" 2>/dev/null || break
    printf 'the file of folder %d\n' "$i" >"$m/folder $i/file $i.txt" 2>/dev/null || break
    made=$i
  done
  rm "$m/fill"
}

format_ntfs "$START" "$SECTORS" SMALLCL fill 512
[ "$made" -ge 100 ] || { echo "only $made folders were made" >&2; exit 1; }

# The recipe is only worth its name when a record of the $MFT lies across two of its runs: a run
# of an odd number of clusters that is not the last.
istat -o "$START" "$IMG" 0 | awk '/^Type: \$DATA/ { on = 1; next } /^Type:/ { on = 0 }
  on && /^[0-9 ]+$/ { for (i = 1; i <= NF; i++) { if (n && $i != prev + 1) { runs[++r] = len; len = 0 }
    prev = $i; len++; n++ } }
  END { for (k = 1; k <= r; k++) if (runs[k] % 2) exit 0; exit 1 }' ||
  { echo "no run of the \$MFT holds an odd number of clusters" >&2; exit 1; }

fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
echo "$START" >"$OUTBASE.start"
echo "$SECTORS" >"$OUTBASE.sectors"
