#!/usr/bin/env bash
# CI: the Windows build, cross-compiled with MinGW-w64, and its tests under Wine
# (unit tests, the real host against a mapped drive A, the executable's
# resources and imports, and a smoke run of slicery.exe on a virtual display).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
started=$SECONDS
"$root/scripts/ensure-packages.sh" g++-mingw-w64-x86-64 googletest cmake make \
  wine wine64 xvfb xauth xdotool
echo "packages: $((SECONDS - started)) s"

step=$SECONDS
bash "$root/scripts/build-windows.sh" build-win
echo "cross-compile: $((SECONDS - step)) s"

bash "$root/tests/windows/run-under-wine.sh" "$root/build-win"
echo "Windows step: $((SECONDS - started)) s in all"
