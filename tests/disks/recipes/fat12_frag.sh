# A FAT12 volume (mkfs.fat -F 12, 2 KiB clusters, about 3000 clusters) in an MBR partition of type
# 01, whose files are fragmented the way a full stick fragments them: small files are written,
# every other one deleted, and larger files written into the gaps. 16 MiB (a smaller disk would
# put its partition within the 24576 sectors of the end that mark a table as corrupted).
# Side files: $OUTBASE.start and $OUTBASE.fls (fls -r -p -l).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"
START=2048
SIZE=$((6 * 2048))
M="$IMG@@$((START * 512))"
echo "start=$START, size=$SIZE, type=01" | new_disk $((16 * 2048))
format_fat 12 4 "$START" "$SIZE" FRAG12
mkdir small big
for i in $(seq -w 1 40); do head -c $((2048 * (1 + 10#$i % 3) + 100)) /dev/zero | tr '\0' "$(printf %x $((10#$i % 16)))" >small/S$i.BIN; done
mcopy -m -i "$M" small/* ::/
for i in $(seq -w 1 2 40); do mdel -i "$M" ::/S$i.BIN; done
mmd -i "$M" ::/DIR
for i in $(seq 1 6); do head -c $((2048 * 9 + 7 * i)) /dev/urandom >big/BIG$i.DAT; done
mcopy -m -i "$M" big/BIG1.DAT big/BIG2.DAT big/BIG3.DAT ::/
mcopy -m -i "$M" big/BIG4.DAT big/BIG5.DAT big/BIG6.DAT ::/DIR/
echo "$START" >"$OUTBASE.start"
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
