# A 4 MiB disk with one FAT16 partition and a single file: the smallest real disk, used to check
# the test-disk machinery itself.
truncate -s 4M "$IMG"
echo 'start=2048, type=06' | sfdisk -q "$IMG"
mkfs.fat -F 16 -s 1 --offset 2048 "$IMG" 3072 >/dev/null
echo hello >hello.txt
mcopy -i "$IMG@@$((2048 * 512))" hello.txt ::/HELLO.TXT
