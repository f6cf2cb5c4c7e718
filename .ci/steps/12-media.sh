#!/usr/bin/env bash
# The split and the rebuild on real file systems: ext2 and ext4 images on loop
# devices, a size-limited tmpfs, exFAT images through FUSE, and the suite's own
# pass-through FUSE file system (python3-fusepy) playing a medium that damages
# what it stores or is unmounted during a write. CI runs as root with loop
# devices and FUSE, so here a medium that cannot be mounted fails the suite
# instead of skipping it.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/scripts/ensure-packages.sh" e2fsprogs exfatprogs exfat-fuse mount util-linux \
  fuse python3-fusepy
"$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=RelWithDebInfo
SLICERY_MEDIA_REQUIRED=1 ctest --test-dir "$root/build" -R '^media\.' --verbose
