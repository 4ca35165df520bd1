# The volume of fat_frag_tree.sh with both FATs zeroed afterwards (the boot sector and the
# directories stay): no chain is left, every file is read from its first cluster on.
. "$(dirname "${BASH_SOURCE[0]}")/fat_frag_tree.sh"
read -r fats_begin fats_end < <(fsstat -o "$START" "$IMG" |
  awk '/^\* FAT 0: / { b = $4 } /^\* FAT 1: / { e = $6 } END { print b, e }')
dd if=/dev/zero of="$IMG" bs=512 seek=$((START + fats_begin)) count=$((fats_end - fats_begin + 1)) \
  conv=notrunc status=none
