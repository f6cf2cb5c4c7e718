#!/usr/bin/env bash
# Fuzzes the record parsers and the console readers for a bounded time.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/scripts/ensure-packages.sh" clang libclang-rt-14-dev cmake make libgtest-dev libisal-dev libxxhash-dev
bash "$root/tests/fuzz/run.sh"
