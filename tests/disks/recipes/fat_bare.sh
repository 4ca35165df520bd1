# A FAT16 volume formatted on the whole image, without a partition table, as sticks and cards
# often are and as `dd if=/dev/sdb1` images of one partition are. 32 MiB.
# Side file: $OUTBASE.fls (fls -r -p -l of the volume).
truncate -s 32M "$IMG"
mkfs.fat -F 16 -s 4 -n BAREVOL "$IMG" >/dev/null
mkdir -p t/Photos/2024 t/Music
echo "a stick without a table" >t/README.TXT
head -c 9000 /dev/zero | tr '\0' 'p' >t/Photos/2024/beach.jpg
head -c 3000 /dev/zero | tr '\0' 'm' >"t/Music/a song with a long name.mp3"
find t -exec touch -d '2023-03-03 10:00:00' {} +
mcopy -s -m -i "$IMG" t/* ::/
mdel -i "$IMG" ::/README.TXT
fls -r -p -l "$IMG" >"$OUTBASE.fls"
