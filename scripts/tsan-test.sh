#!/usr/bin/env bash
# Builds the audio library's and the platform's tests with ThreadSanitizer and runs the tests
# whose point is real threads: the capture device's and the multimedia timer's beside the loop's,
# the loop woken from other threads, the sound-file input's converting thread and the cache
# entries it writes and reads, and the relay's reader beside its process; prints how long the
# step took.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
cmake --preset tsan >/dev/null
cmake --build build-tsan -j "${JOBS:-$(nproc)}" --target test_wavorix test_platform
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
build-tsan/bin/test_wavorix --gtest_filter='RealClockTest.*'
build-tsan/bin/test_platform \
  --gtest_filter='RealLoopTest.*:LoopFixture.PostsRunOnTheLoopThreadInOrderAtTheNextPump:WaveFileSamplesTest.*:WaveFileCacheTest.*:WaveTest.*:WineWindowsTest.*'
echo "ThreadSanitizer step took $((SECONDS - start)) s"
