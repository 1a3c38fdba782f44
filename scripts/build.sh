#!/usr/bin/env bash
# Configures and builds one preset ("default", "ci", "asan", "tsan" or "fuzz"); prints the build folder.
#   scripts/build.sh [PRESET [TARGET...]]   (TARGETs: only those and what they need)
# CMAKE_BUILD_PARALLEL_LEVEL sets the number of compile jobs (default: one per core).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
shift || true
cmake --preset "$preset" >&2
dir=$(case "$preset" in asan) echo build-asan ;; tsan) echo build-tsan ;; fuzz) echo build-fuzz ;; *) echo build ;; esac)
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$dir" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" "${targets[@]}" >&2
echo "$dir"
