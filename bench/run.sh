#!/usr/bin/env bash
# Runs every benchmark program of a build directory and prints its figures,
# then the end-to-end run of olb-host on generated datastores (bench/e2e.sh).
set -euo pipefail
build=${1:-build}
status=0
for b in "$build"/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true || status=1
done
"$(dirname "$0")/e2e.sh" "$build" || status=1
exit $status
