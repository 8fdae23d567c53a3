#!/usr/bin/env bash
# Runs every benchmark program of a build directory and prints its figures.
set -euo pipefail
build=${1:-build}
status=0
for b in "$build"/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true || status=1
done
exit $status
