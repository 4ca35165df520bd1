#!/usr/bin/env bash
# Checks that every #include "..." under src/ runs down the floors of the house (or stays on its
# own floor), never up. The floors, lowest first; folders on one line share a floor. DESIGN.md
# draws the same order.
set -euo pipefail
cd "$(dirname "$0")/.."

floors=(
  "core"
  "disk carve"
  "results scanlog"
  "scan"
  "partition fat exfat ntfs recovery"
  "session"
  "app"
  "cli gui"
)

declare -A floor_of
for i in "${!floors[@]}"; do
  for folder in ${floors[$i]}; do floor_of[$folder]=$i; done
done

status=0
while IFS= read -r file; do
  folder=${file#src/}
  folder=${folder%%/*}
  own=${floor_of[$folder]:-}
  if [ -z "$own" ]; then
    echo "check_layers: $file: folder src/$folder/ is on no floor (add it to scripts/check_layers.sh)" >&2
    status=1
    continue
  fi
  while IFS= read -r included; do
    target=${included%%/*}
    [ "$target" = "$included" ] && continue  # a header of the same folder, named without one
    theirs=${floor_of[$target]:-}
    [ -z "$theirs" ] && continue             # not one of ours
    if [ "$theirs" -gt "$own" ]; then
      echo "check_layers: $file includes \"$included\": $folder/ (floor $own) may not use $target/ (floor $theirs)" >&2
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

[ $status -eq 0 ] && echo "check_layers: every include runs down the floors"
exit $status
