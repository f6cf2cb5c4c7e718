#!/usr/bin/env bash
# Builds Slicery and runs every test suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# tmux drives the demo's test.
"$root/scripts/ensure-packages.sh" tmux
"$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir "$root/build" --output-on-failure
