#!/usr/bin/env bash
# Benchmark smoke run: a small file split by the Release build onto simulated
# volumes, rebuilt and compared byte for byte. Fails when the rebuilt file
# differs, or when the comparison would not notice a difference. The timing
# goals are not enforced here: CI machines are shared.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/scripts/ensure-packages.sh" g++ cmake make libgtest-dev libisal-dev libxxhash-dev coreutils
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-bench" --target slicery_bench -j2 >/dev/null
bench="$root/build-bench/bench/slicery_bench"
base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base="${TMPDIR:-/tmp}"
dir="$(mktemp -d "$base/slicery-bench-smoke.XXXXXX")"
trap 'rm -rf "$dir"' EXIT

out="$("$bench" --size 8M --volume 1M --runs 1 --dir "$dir" --timeout 60)"
echo "$out"
grep -q '^| 1 |' <<<"$out"
tail -n1 <<<"$out" | grep -Eq '^verified split [0-9]+\.[0-9]{2}x cp\+sync\+cmp, split '\
'[0-9]+\.[0-9]{2}x cat, reconstitute [0-9]+\.[0-9]{2}x cat$'

# One byte of the rebuilt file flipped before the comparison: must fail.
if err="$("$bench" --size 1M --volume 256K --runs 1 --dir "$dir" --damage-target \
  2>&1 >/dev/null)"; then
  echo "a damaged rebuilt file passed the comparison" >&2
  exit 1
fi
grep -q 'differs from' <<<"$err"

# The loop-mounted ext4 configuration, small: its image is made, mounted, used
# and removed again, or the reason it cannot be mounted here is printed.
out="$("$root/scripts/bench.sh" --ext4 --size 8M --volume 1M --runs 1 --timeout 60)"
echo "$out"
grep -Eq '^\| 1 \||^ext4 configuration skipped: ' <<<"$out"
echo "bench-smoke: 3 passed, 0 failed"
