#!/usr/bin/env bash
# Fetches Debian's kernel for the floppy machine and unpacks it into a cache
# folder (never installing it): its image and the modules the suite loads.
# Does nothing when the cache already holds one.
#   SLICERY_FLOPPY_KERNEL  the cache folder (default ~/.cache/slicery/floppy-kernel)
set -euo pipefail
cache="${SLICERY_FLOPPY_KERNEL:-${XDG_CACHE_HOME:-$HOME/.cache}/slicery/floppy-kernel}"
if compgen -G "$cache/boot/vmlinuz-*" > /dev/null && [ -d "$cache/lib/modules" ]; then
  exit 0
fi
package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
[ -n "$package" ] || { echo "floppy-kernel: no kernel package behind linux-image-amd64" >&2; exit 1; }
download=$(mktemp -d)
trap 'rm -rf "$download"' EXIT
# apt's own user cannot write to a folder of root's; the download is checked
# against the archive's signatures all the same.
(cd "$download" && apt-get download -qq "$package" 2>/dev/null)
rm -rf "$cache.new"
mkdir -p "$cache.new"
dpkg-deb -x "$download"/*.deb "$cache.new"
rm -rf "$cache"
mv "$cache.new" "$cache"
echo "floppy-kernel: $package in $cache"
