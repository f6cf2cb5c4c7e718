#!/usr/bin/env bash
# Cross-compiles the Windows build with MinGW-w64: slicery.exe (statically
# linked, with its icon and version record) and the test executables.
#   scripts/build-windows.sh [folder, default build-win] [cmake options...]
# Then run its tests under Wine: tests/windows/run-under-wine.sh [folder]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/ensure-packages.sh" cmake make g++-mingw-w64-x86-64 googletest
dir="${1:-build-win}"
[ $# -eq 0 ] || shift
cmake -S "$root" -B "$root/$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$root/$dir" -j"$(nproc)"
