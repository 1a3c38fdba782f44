#!/usr/bin/env bash
# Builds only the audio library's tests with ThreadSanitizer and runs the tests whose point is
# real threads (the capture device's and the multimedia timer's, beside the loop's); prints how
# long the step took.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
cmake --preset tsan >/dev/null
cmake --build build-tsan -j "${JOBS:-$(nproc)}" --target test_wavorix
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
  build-tsan/bin/test_wavorix --gtest_filter='RealClockTest.*'
echo "ThreadSanitizer step took $((SECONDS - start)) s"
