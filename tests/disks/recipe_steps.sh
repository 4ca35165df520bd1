# Steps the disk recipes share (sourced by them; not a recipe of its own). After an edit here,
# touch the recipes that source it so that make_disk.sh builds their images again.

# new_disk SECTORS: an empty image of that many sectors with the MBR table read from stdin
# (an sfdisk script).
new_disk() {
  truncate -s $(($1 * 512)) "$IMG"
  sfdisk -q "$IMG"
}

# format_fat BITS SECTORS_PER_CLUSTER START SIZE [LABEL]: mkfs.fat inside the image. mkfs.fat
# warns that small FAT32 volumes are small for FAT32; its output is shown only when it fails.
format_fat() {
  local label=()
  [ $# -ge 5 ] && label=(-n "$5")
  mkfs.fat -F "$1" -s "$2" "${label[@]}" --offset "$3" "$IMG" $(($4 / 2)) >/dev/null 2>mkfs.err ||
    { cat mkfs.err >&2; exit 1; }
}

# format_ntfs START SIZE [LABEL] [FILL] [CLUSTER_BYTES] [SECTOR_BYTES]: mkntfs in a partition
# image of its own (clusters of mkntfs's choice and 512-byte sectors unless given; mkntfs writes
# file records as large as a sector of 2048 or 4096 bytes), filled through a FUSE mount by the
# function named FILL (given the mount point) when there is one, then copied into the disk image
# at START. Exits 77 when this machine cannot mount it.
format_ntfs() {
  local start=$1 size=$2 label=${3:-} fill=${4:-} cluster=${5:-} sector=${6:-}
  truncate -s $((size * 512)) ntfs.img
  mkntfs -F -q -f -p "$start" -H 255 -S 63 ${label:+-L "$label"} ${cluster:+-c "$cluster"} \
    ${sector:+-s "$sector"} ntfs.img
  if [ -n "$fill" ]; then
    mkdir -p mnt
    if ! ntfs-3g ntfs.img mnt 2>ntfs-3g.err; then
      cat ntfs-3g.err >&2
      echo "recipe: ntfs-3g cannot mount (no FUSE here)" >&2
      exit 77
    fi
    # A failing fill ends the recipe; the mount must not outlive it.
    trap 'umount mnt 2>/dev/null || true' EXIT
    "$fill" mnt
    umount mnt
    trap - EXIT
  fi
  dd if=ntfs.img of="$IMG" bs=512 seek="$start" conv=notrunc status=none
  rm -f ntfs.img
}

# record_layout "1 FAT16" "2 FAT32" ...: the side files every table recipe leaves, the table as
# sfdisk dumps it ($OUTBASE.sfdisk) and what each partition number was formatted with ($OUTBASE.fs).
record_layout() {
  sfdisk -d "$IMG" >"$OUTBASE.sfdisk"
  printf '%s\n' "$@" >"$OUTBASE.fs"
}

# record_ntfs_estimates START: $OUTBASE.estimates, "path<TAB>estimate" of each deleted file of the
# NTFS volume at START that has clusters of its own (fls -r -p lists it, istat its clusters):
# overwritten when blkls says its first cluster is allocated again, partly overwritten when a
# later one is, intact when none is. Needs $OUTBASE.fls.
record_ntfs_estimates() {
  local start=$1 head path inode
  blkls -e -l -o "$start" "$IMG" | awk -F'|' '$2 == "a" { print $1 }' >allocated.txt
  : >"$OUTBASE.estimates"
  grep -P '^[-r]/r \* [0-9]+-128-[0-9]+:\t' "$OUTBASE.fls" | while IFS=$'\t' read -r head path _; do
    inode=${head#?/r \* }
    inode=${inode%%:*}
    istat -o "$start" "$IMG" "$inode" |
      awk -v path="$path" 'FILENAME != "-" { used[$1] = 1; next }
           /^Type: \$DATA \(128-[0-9]+\) +Name: N\/A +Non-Resident/ { on = 1; next } /^Type:/ { on = 0 }
           on && /^[0-9 ]+$/ { for (i = 1; i <= NF; i++) if ($i != 0) {
             if (!n++) estimate = "intact";
             if (estimate == "intact" && used[$i]) estimate = n == 1 ? "overwritten" : "partly overwritten" } }
           END { if (n) printf "%s\t%s\n", path, estimate }' allocated.txt - >>"$OUTBASE.estimates"
  done
}

# format_exfat IMAGE [LABEL] [FILL]: mkfs.exfat over a whole image file (4 KiB clusters), filled
# through an exfat-fuse mount by the function named FILL (given the mount point) when there is
# one. exfat-fuse wants a block device: a loop device is attached for the fill and detached after
# it, also when the fill fails. Exits 77 when this machine cannot attach or mount it.
format_exfat() {
  local image=$1 label=${2:-} fill=${3:-} loop
  mkfs.exfat -c 4K ${label:+-L "$label"} "$image" >/dev/null
  [ -n "$fill" ] || return 0
  mkdir -p mnt
  if ! loop=$(losetup -f --show "$image" 2>losetup.err); then
    cat losetup.err >&2
    echo "recipe: no loop device for exfat-fuse" >&2
    exit 77
  fi
  if ! mount.exfat-fuse "$loop" mnt 2>exfat.err; then
    cat exfat.err >&2
    losetup -d "$loop"
    echo "recipe: exfat-fuse cannot mount (no FUSE here)" >&2
    exit 77
  fi
  # A failing fill ends the recipe; neither the mount nor the loop device may outlive it.
  trap "umount mnt 2>/dev/null || true; losetup -d $loop 2>/dev/null || true" EXIT
  "$fill" mnt
  umount mnt
  losetup -d "$loop"
  trap - EXIT
}

# fill_large_records MOUNT: the tree of the NTFS volumes of large records: a few folders, long and
# non-ASCII names, a file of seven names, a deleted file and a deleted folder, and "Photos/2024 Summer — Ålesund/large.dat"
# (320000 bytes) written into a sieve of 12 KiB holes of a full volume, so that its data lies in
# several runs. The holes left are files of their own, the others deleted.
fill_large_records() {
  local m=$1 i
  mkdir -p "$m/Docs/Letters" "$m/Photos/2024 Summer — Ålesund" "$m/Old stuff/inner" "$m/写真"
  printf 'a letter\n' >"$m/Docs/Letters/Überweisung für März résumé.txt"
  printf 'short\n' >"$m/Docs/readme.txt"
  awk 'BEGIN { for (i = 0; i < 400; i++) printf "draft line %d\n", i }' >"$m/Docs/draft to delete.txt"
  printf 'kept for a while\n' >"$m/Old stuff/inner/old.txt"
  printf 'ニュース\n' >"$m/写真/日本語のファイル名.txt"
  # Seven long names of one file: their $FILE_NAME attributes push its $DATA past the first 1024
  # bytes of its record.
  mkdir "$m/Links"
  printf 'one file, seven names\n' >"$m/Links/a file with several names, this being the first of them.txt"
  for i in 2 3 4 5 6 7; do
    ln "$m/Links/a file with several names, this being the first of them.txt" \
      "$m/Links/a file with several names, this being name number $i of them.txt"
  done
  awk 'BEGIN { for (i = 0; i < 5000; i++) printf "log %d\n", i }' \
    >"$m/Docs/a file whose name is quite a bit longer than eight dot three allows.log"
  for i in $(seq 1 60); do head -c 12288 /dev/zero | tr '\0' 'h' >"$m/hole$i.bin"; done
  dd if=/dev/zero of="$m/fill" bs=64K status=none 2>/dev/null || true
  for i in $(seq 1 2 60); do rm "$m/hole$i.bin"; done
  awk 'BEGIN { for (i = 0; i < 20000; i++) printf "%015d\n", i }' >"$m/Photos/2024 Summer — Ålesund/large.dat"
  rm "$m/fill" "$m/Docs/draft to delete.txt"
  rm -r "$m/Old stuff"
}

# check_large_records START SECTOR_BYTES: the volume at START is only worth its recipe when its
# records are as large as its sector and large.dat lies in more than one run.
check_large_records() {
  local start=$1 sector=$2 inode
  fsstat -o "$start" "$IMG" | grep -q "Size of MFT Entries: $sector bytes" ||
    { echo "the records at $start are not $sector bytes" >&2; exit 1; }
  inode=$(ifind -o "$start" -n "Photos/2024 Summer — Ålesund/large.dat" "$IMG")
  istat -o "$start" "$IMG" "$inode" | awk '/^Type: \$DATA/ { on = 1; next } /^Type:/ { on = 0 }
    on && /^[0-9 ]+$/ { for (i = 1; i <= NF; i++) { if (n && $i != prev + 1) runs++; prev = $i; n++ } }
    END { exit runs > 0 ? 0 : 1 }' ||
    { echo "large.dat at $start lies in one run" >&2; exit 1; }
}
