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

# Platform code lives in backend files only, named by their platform: posix_*, sysfs_* (Linux)
# and win32_*, wmi_*, registry_* (Windows); CMake builds each set on its own platform. Anywhere
# else a platform header, a test of which platform this is, or a call of one platform's C library
# fails the check. Headers that must name a platform for an ABI say why below.
backend='/(posix|sysfs|win32|wmi|registry)_[^/]*$'
declare -A platform_allowed=(
  # The legacy library's entry point is a standard call on 32-bit Windows: a calling convention
  # in the type, not platform code.
  [src/disk/legacy_disk_library.h]=1
)
platform_headers='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(windows\.h|winioctl\.h|wbemidl\.h|shlobj\.h|io\.h|direct\.h|unistd\.h|fcntl\.h|dirent\.h|dlfcn\.h|termios\.h|poll\.h|pthread\.h|pwd\.h|sys/[^>]*|linux/[^>]*)>'
platform_tests='\b(_WIN32|_WIN64|__linux__|__unix__|__APPLE__|_MSC_VER|__MINGW32__)\b'
platform_calls='(^|[^[:alnum:]_.>])(::)?(open|openat|mkdirat|renameat|unlinkat|fstatat|pread|pwrite|fsync|close|isatty|fileno|getpid|geteuid|gethostname|localtime_r|gmtime_r|localtime_s|gmtime_s|strerror_r|setenv|unsetenv|realpath|mkstemp|timegm|_mkgmtime|ioctl|CreateFile[AW]?|CloseHandle|LoadLibrary[AW]?|GetProcAddress|Reg[A-Z][A-Za-z]*Ex[AW]?|CoInitializeEx)[[:space:]]*\('
while IFS= read -r file; do
  [[ "$file" =~ $backend ]] && continue
  [ -n "${platform_allowed[$file]:-}" ] && continue
  while IFS= read -r hit; do
    echo "check_layers: $hit: platform code outside a backend file (posix_*, win32_*...)" >&2
    status=1
  done < <(grep -nE "$platform_headers|$platform_tests|$platform_calls" "$file" | grep -vE '^[0-9]+:[[:space:]]*//' |
             sed "s|^\([0-9]*\):.*|$file:\1|")
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

[ $status -eq 0 ] && echo "check_layers: every include runs down the floors; platform code stays in backend files"
exit $status
