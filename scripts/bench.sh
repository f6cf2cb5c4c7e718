#!/usr/bin/env bash
# Builds the Release benchmark in build-bench and runs it.
#   scripts/bench.sh [OPTION...]          the three standard configurations:
#       1 GiB onto 256 MiB volumes (time), 64 MiB onto 256 MiB (memory),
#       100 MiB onto 1.44 MB volumes (per-volume cost), 3 runs each
#   scripts/bench.sh --large [OPTION...]  5 GiB sparse file onto 3 GiB volumes
# Extra options go to every run and override its own (slicery_bench --help).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/ensure-packages.sh" g++ cmake make libgtest-dev coreutils
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-bench" --target slicery_bench -j2 >/dev/null
bench="$root/build-bench/bench/slicery_bench"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- |
  sed 's/^ *//'), $(awk '/MemTotal/ {printf "%.1f GiB RAM", $2 / 1048576}' /proc/meminfo)"
echo "/dev/shm: $(df -h --output=fstype,size,avail /dev/shm | tail -n1 | xargs)"
echo

for arg in "$@"; do
  if [ "$arg" = "--large" ]; then
    exec "$bench" "$@"
  fi
done
"$bench" --size 1G --volume 268435456 --runs 3 "$@"
echo
"$bench" --size 64M --volume 268435456 --runs 3 "$@"
echo
"$bench" --size 100M --volume 1457664 --runs 3 "$@"
