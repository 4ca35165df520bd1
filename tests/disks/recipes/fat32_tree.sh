# A 44 MiB disk with one FAT32 partition (one sector per cluster, so more than 65525 clusters)
# holding a nested tree of folders and files, some of them deleted, and a folder tree beyond cluster
# 65535; the shared body is fat_tree.sh.
FAT_BITS=32 DISK_MIB=44 PART_TYPE=0c CLUSTER_SECTORS=1 LABEL=QRWFAT32 HIGH_FILLER_MIB=33
. "$(dirname "${BASH_SOURCE[0]}")/fat_tree.sh"
