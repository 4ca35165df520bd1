#!/usr/bin/env bash
# Installs every Debian package that building and testing Quarrow needs. Safe to run again:
# packages already present are left alone and the package lists are refreshed at most once.
#   bash scripts/setup.sh          what the build and the test suite need
#   bash scripts/setup.sh fuzz     and clang with its libFuzzer runtime, for scripts/fuzz.sh
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  libcli11-dev nlohmann-json3-dev
  fdisk dosfstools mtools ntfs-3g attr sleuthkit exfatprogs exfat-fuse
  gdisk libewf-dev ewf-tools gddrescue
  # The wizard's window, and a display server for its screenshots.
  qt6-base-dev xvfb xauth
  # The Windows build (mingw-w64, GoogleTest from its sources) and wine to run it.
  g++-mingw-w64-x86-64 googletest wine wine64
)
if [ "${1:-}" = fuzz ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
