#!/bin/sh
# Runs every fuzz target for a bounded time, starting from the seeds in the repository.
# Usage: run.sh BUILD_DIR SECONDS_PER_TARGET. New inputs are kept in BUILD_DIR/fuzz-corpus,
# crashes in BUILD_DIR/fuzz-artifacts; any crash, leak, time-out or broken invariant fails.
set -eu
build="$1"
seconds="$2"
here="$(cd "$(dirname "$0")" && pwd)"

for target in packet_reader config; do
  corpus="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-artifacts/$target"
  log="$build/fuzz-$target.log"
  mkdir -p "$corpus" "$artifacts"
  echo "== fuzzing $target for ${seconds}s"
  dict=""
  [ -f "$here/$target.dict" ] && dict="-dict=$here/$target.dict"
  status=0
  "$build/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 $dict -artifact_prefix="$artifacts/" "$corpus" "$here/corpus/$target" >"$log" 2>&1 ||
    status=$?
  # Progress lines are noise; the summary, the statistics and any failure are kept.
  grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|RELOAD|pulse)' "$log" || true
  if [ "$status" -ne 0 ]; then
    echo "fuzz target $target failed (exit $status); reproduce with $build/tests/fuzz/${target}_fuzz FILE" >&2
    exit 1
  fi
done
