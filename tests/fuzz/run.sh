#!/usr/bin/env bash
# Builds the record fuzzer with clang (ASan + UBSan) in build-fuzz and runs it
# for a bounded time over the committed seed corpus. Any finding fails the run;
# the input that found it is kept in build-fuzz/. FUZZ_SECONDS overrides 60.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build-fuzz"
seconds="${FUZZ_SECONDS:-60}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSLICERY_SANITIZE=ON -DSLICERY_FUZZ=ON >/dev/null
cmake --build "$build" --target record_fuzzer -j2

# New inputs go to a scratch folder; the committed seeds stay as they are.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
log="$build/record_fuzzer.log"
status=0
"$build/tests/fuzz/record_fuzzer" -max_total_time="$seconds" -max_len=1024 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/" \
  "$scratch" "$root/tests/fuzz/corpus" >"$log" 2>&1 || status=$?
tail -n 25 "$log"
runs="$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log")"
if [ "$status" -ne 0 ] || [ -z "$runs" ]; then
  echo "record_fuzzer: FAILED (status $status); see $log" >&2
  exit 1
fi
echo "record_fuzzer: $runs executions in ${seconds}s, no finding"
