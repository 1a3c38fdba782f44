#!/usr/bin/env bash
# Installs what is missing, builds from scratch if needed, and runs the whole test suite
# (arguments go to ctest, e.g. -LE wine to leave out the tests under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# CI builds with warnings as errors.
preset=default
if [ "${CI:-}" = "true" ]; then preset=ci; fi
dir=$(scripts/build.sh "$preset")
cd "$dir"
ctest --output-on-failure -j "$(nproc)" --timeout 600 "$@"
