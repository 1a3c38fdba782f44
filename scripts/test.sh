#!/usr/bin/env bash
# Installs what is missing, builds everything (program, tests, benchmarks) if needed, and runs
# the whole test suite (arguments go to ctest, e.g. -LE wine to leave out the tests under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# CI builds with warnings as errors.
preset=default
if [ "${CI:-}" = "true" ]; then preset=ci; fi
echo "test.sh: building everything with the \"$preset\" preset" >&2
dir=$(scripts/build.sh "$preset")
cd "$dir"
echo "test.sh: running the test suite in $dir" >&2
ctest --output-on-failure -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" --timeout 600 "$@"
