#!/usr/bin/env bash
# Cross-compiles the Windows build with MinGW-w64: slicery.exe (statically
# linked, with its icon and version record) and the test executables.
#   scripts/build-windows.sh [folder, default build-win] [cmake options...]
# Then run its tests under Wine: tests/windows/run-under-wine.sh [folder]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/ensure-packages.sh" cmake make g++-mingw-w64-x86-64 googletest libxxhash-dev \
  xz-utils
dir="${1:-build-win}"
[ $# -eq 0 ] || shift
# ISA-L's portable C is compiled into slicery.exe from Debian's sources.
isal="$("$root/scripts/isal-source.sh" "$root/$dir/isal-source")"
cmake -S "$root" -B "$root/$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSLICERY_ISAL_SOURCE="$isal" "$@" >/dev/null
cmake --build "$root/$dir" -j"$(nproc)"
