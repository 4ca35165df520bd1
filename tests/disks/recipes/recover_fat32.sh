# A 272 MiB disk (a sparse file) with one FAT32 partition of 4 KiB clusters, the least that holds
# the 65525 clusters of a FAT32 volume while its root directory (a cluster chain) has room for
# every entry without growing into the holes the recipe makes; filled for the recovery tests by
# the shared body recover_tree.sh.
FAT_BITS=32 DISK_MIB=272 PART_TYPE=0c CLUSTER_SECTORS=8
. "$(dirname "${BASH_SOURCE[0]}")/recover_tree.sh"
