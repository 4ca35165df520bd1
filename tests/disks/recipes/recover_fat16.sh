# A 16 MiB disk with one FAT16 partition (1 KiB clusters) filled for the recovery tests; the shared
# body is recover_tree.sh.
FAT_BITS=16 DISK_MIB=16 PART_TYPE=06 CLUSTER_SECTORS=2
. "$(dirname "${BASH_SOURCE[0]}")/recover_tree.sh"
