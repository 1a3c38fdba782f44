#!/usr/bin/env bash
# Configures and builds one preset ("default", "ci", "asan", "tsan" or "fuzz"). Prints the build
# folder for a script that reads it (dir=$(scripts/build.sh ...)), and says where the build is to a
# terminal.
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
if [[ -t 1 ]]; then
    echo "built in ./$dir (programs in ./$dir/bin)"
else
    echo "$dir"
fi
