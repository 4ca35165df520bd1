# A 40 MiB disk with one FAT32 partition at 2048 (one sector per cluster) holding the shared tree,
# whose main boot sector was then zeroed: only the backup boot sector 6 sectors later names the
# volume. Side files of the undamaged volume: $OUTBASE.start and $OUTBASE.p1.fls, .fsstat, .dirs.
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
. "$here/advance_tree.sh"

new_disk 81920 <<<'start=2048, size=79872, type=0c'
format_fat 32 1 2048 79872
fill_tree 2048 p1
echo 2048 >"$OUTBASE.start"
save_reference 2048 p1

dd if=/dev/zero of="$IMG" bs=512 seek=2048 count=1 conv=notrunc status=none
