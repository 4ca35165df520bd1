# A 16 MiB disk with one 5 MiB FAT12 partition (2 KiB clusters) filled for the recovery tests (the
# partition walk lists no entry that starts within 24576 sectors of the disk's end, so the disk is
# larger than the partition); the shared body is recover_tree.sh.
FAT_BITS=12 DISK_MIB=16 PART_SECTORS=10240 PART_TYPE=01 CLUSTER_SECTORS=4
. "$(dirname "${BASH_SOURCE[0]}")/recover_tree.sh"
