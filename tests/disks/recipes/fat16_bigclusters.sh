# The tree of fat_tree.sh on a FAT16 volume of 32 KiB clusters (64 sectors), as SD cards and
# sticks are often formatted: the Standard search reads such a data area one sector a cluster.
FAT_BITS=16 DISK_MIB=160 PART_TYPE=06 CLUSTER_SECTORS=64 LABEL=QRWBIG16
. "$(dirname "${BASH_SOURCE[0]}")/fat_tree.sh"
