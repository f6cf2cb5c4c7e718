#!/usr/bin/env bash
# Builds Slicery and runs it on a demo volume: a scratch folder that behaves as
# a 1.44 MB floppy disk and keeps its files between runs, as a disk would. A
# sample file to split waits beside it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/ensure-packages.sh" g++ cmake make libgtest-dev
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target slicery -j"$(nproc)" >/dev/null
demo="$root/build/demo"
mkdir -p "$demo/volume"
[ -f "$demo/sample.bin" ] || head -c 3000000 /dev/urandom >"$demo/sample.bin"
cat <<EOT
Demo volume: $demo/volume (1457664 bytes). A file to split: sample.bin
To change disks, move the volume's files elsewhere (from another terminal)
before answering an insert request; to rebuild, bring them back one by one.
EOT
cd "$demo"
SLICERY_VOLUME="$demo/volume" SLICERY_VOLUME_SIZE=1457664 exec "$root/build/slicery"
