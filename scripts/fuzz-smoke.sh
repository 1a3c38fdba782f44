#!/usr/bin/env bash
# Builds every libFuzzer target with clang and runs each for a short while (FUZZ_SECONDS, 20 by
# default) from its corpus in tests/data/fuzz, so that none of them can stop building or
# running unnoticed. New inputs go to a scratch folder, not into the corpus. Prints how long the
# step took.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
seconds="${FUZZ_SECONDS:-20}"
targets=(fuzz_swf fuzz_picture fuzz_inifile fuzz_idlelist fuzz_playlist fuzz_soundfile)
dir=$(scripts/build.sh fuzz "${targets[@]}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for t in "${targets[@]}"; do
  corpus="tests/data/fuzz/${t#fuzz_}"
  mkdir -p "$scratch/$t"
  echo "-- $t: ${seconds} s from $corpus"
  # A finding is written into the scratch folder and fails the step.
  "$dir/bin/$t" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$scratch/$t/" \
    "$scratch/$t" "$corpus" 2>"$scratch/$t.log" || {
    tail -n 60 "$scratch/$t.log"
    echo "$t failed; its input:"
    ls "$scratch/$t/"crash-* "$scratch/$t/"leak-* "$scratch/$t/"timeout-* 2>/dev/null || true
    exit 1
  }
  grep -E "^stat::number_of_executed_units|^#[0-9]+ +DONE" "$scratch/$t.log" | tail -n 2 || true
done
echo "Fuzz smoke runs took $((SECONDS - start)) s"
