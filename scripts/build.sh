#!/usr/bin/env bash
# Configures and builds one preset ("default", "ci", "asan" or "tsan"); prints the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
cmake --preset "$preset" >&2
dir=$(case "$preset" in asan) echo build-asan ;; tsan) echo build-tsan ;; *) echo build ;; esac)
cmake --build "$dir" -j "$(nproc)" >&2
echo "$dir"
