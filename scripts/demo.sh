#!/usr/bin/env bash
# Builds Slicery and runs it on a demo volume: an empty scratch folder that
# behaves as a 1.44 MB floppy disk. A sample file to split waits beside it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=RelWithDebInfo
demo="$root/build/demo"
mkdir -p "$demo/volume"
[ -f "$demo/sample.bin" ] || head -c 3000000 /dev/urandom >"$demo/sample.bin"
echo "Demo volume: $demo/volume (1457664 bytes); a file to split: $demo/sample.bin"
cd "$demo"
SLICERY_VOLUME="$demo/volume" SLICERY_VOLUME_SIZE=1457664 exec "$root/build/slicery"
