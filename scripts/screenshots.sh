#!/usr/bin/env bash
# Takes the pictures of the wizard's pages the README shows:
#   bash scripts/screenshots.sh [OUTDIR]      (default docs/screenshots)
# Builds the wizard and its tour into build/, makes the sample disk, and runs the tour in a real
# window under Xvfb: the disk page, the partition page, the file-system choice of an Advance
# search, the results with a folder listed and checked, the About dialog, the results after a
# save, the No device dialog (and the Saving dialog when a save shows one).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)

command -v xvfb-run >/dev/null || { echo "screenshots.sh: xvfb-run is missing (bash scripts/setup.sh installs it)" >&2; exit 1; }
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUARROW_TEST_DISKS_DIR="$PWD/build/test-disks" >/dev/null
cmake --build build --target quarrow-wizard quarrow_wizard_tour -j "$(nproc 2>/dev/null || echo 2)"
bash tests/disks/make_disk.sh sample "$PWD/build/test-disks"

# A screen of a common size, with the desktop's usual depth; -a picks a free display number.
xvfb-run -a -s "-screen 0 1280x800x24" env -u QT_QPA_PLATFORM \
  build/tests/quarrow_wizard_tour "$PWD/build/test-disks/sample.img" "$out"
