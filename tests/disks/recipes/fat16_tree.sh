# A 16 MiB disk with one FAT16 partition (2 KiB clusters) holding a nested tree of folders and
# files, some of them deleted; the shared body is fat_tree.sh.
FAT_BITS=16 DISK_MIB=16 PART_TYPE=06 CLUSTER_SECTORS=4 LABEL=QRWFAT16
. "$(dirname "${BASH_SOURCE[0]}")/fat_tree.sh"
