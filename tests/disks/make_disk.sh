#!/usr/bin/env bash
# Builds the test disk image NAME into OUTDIR/NAME.img by running tests/disks/recipes/NAME.sh.
# The image is made once: a second call returns at once while the image is newer than the
# scripts of this folder (its recipe, the steps recipes share, this script). Concurrent callers
# (ctest -j) wait on a lock instead of building twice, and the image appears under its final name
# only when the recipe has finished.
#
# A recipe gets IMG (the temporary image to write), WORK (an empty scratch folder, removed
# afterwards) and OUTBASE (OUTDIR/NAME, for side files such as NAME.fls). It exits 0 when done,
# or 77 when this machine cannot make the image (for example no FUSE for ntfs-3g).
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: make_disk.sh NAME OUTDIR" >&2
  exit 2
fi
name=$1
outdir=$2
here=$(cd "$(dirname "$0")" && pwd)
recipe="$here/recipes/$name.sh"
[ -f "$recipe" ] || { echo "make_disk.sh: no recipe $recipe" >&2; exit 2; }

mkdir -p "$outdir"
# Recipes run in their scratch folder, so every path handed to them must be absolute.
outdir=$(cd "$outdir" && pwd)
final="$outdir/$name.img"

# Newer than every script of the test-disk folder: recipes source shared steps.
up_to_date() {
  [ -f "$final" ] || return 1
  local script
  for script in "$here"/*.sh "$here"/recipes/*.sh; do
    [ "$final" -nt "$script" ] || return 1
  done
}
up_to_date && exit 0

exec 9>"$outdir/$name.lock"
flock 9
up_to_date && exit 0

work=$(mktemp -d "$outdir/$name.work.XXXXXX")
trap 'rm -rf "$work"' EXIT
export IMG="$work/$name.img.part" WORK="$work/scratch" OUTBASE="$outdir/$name"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C TZ=UTC PATH="$PATH:/usr/sbin:/sbin"
mkdir -p "$WORK"

set +e
# The lock's descriptor stays out of the recipe: a daemon it starts (ntfs-3g) would inherit it
# and, left running after a failure, hold the lock for every later caller.
(cd "$WORK" && bash -euo pipefail "$recipe") >"$work/log" 2>&1 9>&-
rc=$?
set -e
if [ $rc -ne 0 ]; then
  cat "$work/log" >&2
  [ $rc -eq 77 ] && exit 77
  echo "make_disk.sh: recipe $name failed ($rc)" >&2
  exit 1
fi
[ -f "$IMG" ] || { echo "make_disk.sh: recipe $name wrote no image" >&2; exit 1; }
mv -f "$IMG" "$final"
