#!/usr/bin/env bash
# The split and the rebuild on the kernel's own floppy driver and FAT: Debian's
# kernel (fetched once into a cache, never installed) in a QEMU machine without
# hardware virtualisation, with FAT12 floppies in drives A and B and a FAT32
# stick, the disks checked again on this host with mtools. CI must run it, so a
# machine that cannot start fails the suite instead of skipping it.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/scripts/ensure-packages.sh" qemu-system-x86 busybox-static dosfstools mtools cpio
"$root/scripts/floppy-kernel.sh"
"$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=RelWithDebInfo
SLICERY_FLOPPY_REQUIRED=1 ctest --test-dir "$root/build" -R '^floppy\.' --output-on-failure --verbose
