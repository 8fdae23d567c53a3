#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time, each on a copy
# of its seed corpus in a temporary directory (the committed corpus is not
# changed). Fails when a target is missing or any run ends with a crash, a
# leak, a sanitizer finding or a failed check; the input that did it is
# kept in BUILD_DIR/fuzz-artifacts/.
#
# Usage: fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET] [TARGET...]
#   (make fuzz passes FUZZ_SECONDS, default 8)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET] [TARGET...]}
seconds=${2:-8}
shift $(( $# >= 2 ? 2 : 1 ))
case $build in /*) ;; *) build=$root/$build ;; esac

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$root"/fuzz/*_fuzz.cpp; do
    name=$(basename "$src" .cpp)
    targets+=("${name%_fuzz}")
  done
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/olb-fuzz-run-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
artifacts=$build/fuzz-artifacts
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
printf '%-22s %12s %10s %8s  %s\n' target executions exec/s corpus result
for name in "${targets[@]}"; do
  bin=$build/fuzz/${name}_fuzz
  seeds=$root/fuzz/corpus/$name
  if [ ! -x "$bin" ]; then
    printf '%-22s %s\n' "$name" "MISSING ($bin; build with make fuzz)"
    failed+=("$name")
    continue
  fi
  corpus=$tmp/$name
  mkdir -p "$corpus" "$tmp/artifacts"
  [ -d "$seeds" ] && cp "$seeds"/. "$corpus"/ -r
  log=$tmp/$name.log
  (cd "$tmp" && "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=30 \
      -print_final_stats=1 -artifact_prefix="$tmp/artifacts/$name-" "$corpus") >"$log" 2>&1
  status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  files=$(find "$corpus" -type f | wc -l)
  if [ $status -eq 0 ] && ! grep -q -E 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|FUZZ CHECK FAILED' "$log"; then
    printf '%-22s %12s %10s %8s  %s\n' "$name" "${execs:-?}" "${rate:-?}" "$files" ok
  else
    printf '%-22s %12s %10s %8s  %s\n' "$name" "${execs:-?}" "${rate:-?}" "$files" "FAILED (status $status)"
    failed+=("$name")
    mkdir -p "$artifacts"
    cp "$tmp"/artifacts/"$name"-* "$artifacts"/ 2>/dev/null
    cp "$log" "$artifacts/$name.log"
    echo "---- $name: last lines of the log (whole log and inputs in $artifacts) ----"
    tail -n 60 "$log"
    echo "----"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets ran ${seconds} s each without a finding"
