# Deleted files written in pieces on an undamaged FAT16 volume: the body is fat_frag_tree.sh.
. "$(dirname "${BASH_SOURCE[0]}")/fat_frag_tree.sh"
