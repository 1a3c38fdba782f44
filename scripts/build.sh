#!/usr/bin/env bash
# Configures and builds one preset ("default", "ci" or "asan"); prints the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
cmake --preset "$preset" >&2
dir=$(case "$preset" in asan) echo build-asan ;; *) echo build ;; esac)
cmake --build "$dir" -j "$(nproc)" >&2
echo "$dir"
