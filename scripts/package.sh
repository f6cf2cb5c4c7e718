#!/usr/bin/env bash
# Makes Slicery's packages in out/: the Debian package from a Release build of
# the program (build-package/) and the Windows .zip, slicery.exe with the
# README, from a MinGW-w64 cross-compiled one (build-package-win/).
#   scripts/package.sh [deb|zip]   (both when no argument is given)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
what="${1:-all}"
case "$what" in
  deb | zip | all) ;;
  *)
    echo "usage: scripts/package.sh [deb|zip]" >&2
    exit 2
    ;;
esac
mkdir -p "$root/out"

# Configures $1 with the options after it, builds the program and runs CPack.
package() {
  local dir="$root/$1"
  shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DSLICERY_BUILD_TESTS=OFF "$@" >/dev/null
  cmake --build "$dir" --target slicery -j"$(nproc)" >/dev/null
  (cd "$dir" && cpack -B "$root/out" >/dev/null)
  rm -rf "$root/out/_CPack_Packages"
}

if [ "$what" != zip ]; then
  "$root/scripts/ensure-packages.sh" g++ cmake make dpkg-dev libisal-dev libxxhash-dev
  package build-package
fi
if [ "$what" != deb ]; then
  "$root/scripts/ensure-packages.sh" cmake make g++-mingw-w64-x86-64 libxxhash-dev xz-utils
  # ISA-L's portable C, compiled into slicery.exe from Debian's sources.
  isal="$("$root/scripts/isal-source.sh" "$root/build-package-win/isal-source")"
  package build-package-win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DSLICERY_ISAL_SOURCE="$isal"
fi
ls -l "$root/out"
