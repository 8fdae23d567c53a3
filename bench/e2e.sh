#!/usr/bin/env bash
# End-to-end figures: generates datastores of 100k and 1M jobs (sizes can be
# given: bench/e2e.sh BUILD_DIR [JOBS...]) and runs olb-host on each as an
# operator does, at debug level 1.
#
# One whole run (all five operations in one olb-host, as an operator runs
# them; an operation cannot run alone, it needs what the earlier ones
# learned). While it runs, /proc is sampled every 50 ms, and at each
# operation's line in the debug log the figures are taken: the operation's
# wall time as olb-host reports it, its CPU time (user + system of olb-host
# and of the sqlplus stand-in it ran, which it has reaped by then), and the
# peak resident size of each process during the operation (olb-host's peak
# is reset at each boundary; a stand-in that ends within 50 ms may go
# unseen). Rows read are the lines of the tool's output file for the
# operation, records olb-host's own counts, bytes the sizes of the message
# files it wrote. The stand-in's peak is also measured alone on the two large
# queries. Wall times depend on what else the machine runs; CPU times less.
set -euo pipefail

build=${1:-build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100000 1000000)
case $build in /*) ;; *) build=$(pwd)/$build ;; esac
host=$build/app/olb-host
gen=$build/datastore/olb-dpa-gen
sqlplus=$build/standin/bin/sqlplus
for program in "$host" "$gen" "$sqlplus"; do
  [ -x "$program" ] || { echo "e2e: $program is missing; build first" >&2; exit 2; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/olb-e2e.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cp "$(cd "$(dirname "$0")/.." && pwd)/datastore/demo-registry.ini" "$scratch/reg.ini"

ops=(config clients jobs media policies)
# The tool output file each operation reads.
declare -A rowsFile=([config]="" [clients]="olb_dpa_server.txt olb_dpa_node.txt olb_dpa_group.txt"
  [jobs]=olb_dpa_jobs.txt [media]="olb_dpa_disklibs.txt olb_dpa_libraries.txt" [policies]="")

# Non-empty lines of the named files in directory $1.
rows() {
  local dir=$1 n=0 f
  shift
  for f in "$@"; do
    [ -f "$dir/$f" ] && n=$((n + $(grep -c . "$dir/$f" || true)))
  done
  echo $n
}

# The plug-in's two large queries, as its script files hold them.
standin_alone() {
  local db=$1 name query
  for name in group jobs; do
    if [ $name = group ]; then
      query="select distinct bj.f_group_name ||','|| bj.f_client_name ||','|| bj.f_media_server ||','|| gc.f_policy_type from datamine.backupjob bj, datamine.group_config gc  where gc.f_group_name = bj.f_group_name"
    else
      query="select distinct f_group_name ||','|| bj.f_client_name ||','|| bj.f_nfiles ||','|| bj.f_jobid ||','|| bj.f_sizetransferred ||','|| bj.f_storage_unit ||','|| bj.f_status ||','|| bj.f_starttime ||','|| (bj.f_endtime - bj.f_starttime) ||','|| bj.f_level from datamine.backupjob bj, config.nodes node where bj.f_group_name = node.f_name and node.f_type = 516 and bj.f_jobid is not null "
    fi
    printf 'set colsep , \nset trimspool on \nset heading off \nset echo off \nset linesize 32767 \nSET FEEDBACK OFF\nWHENEVER SQLERROR EXIT FAILURE\n%s;\nexit\n' \
      "$query" > "$scratch/$name.sql"
    OLB_DPA_DATASTORE=$db /usr/bin/time -f "%e %U %S %M" -o "$scratch/time" \
      "$sqlplus" -S dpa/dpa-demo-58 as SYSDBA @"$scratch/$name.sql" > /dev/null
    read -r wall user sys rss < "$scratch/time"
    printf '  stand-in alone, %-5s query: %6.2f s wall, %6.2f s CPU, %5d MB peak\n' \
      $name "$wall" "$(echo "$user + $sys" | bc)" $((rss / 1024))
  done
}

# utime + stime + cutime + cstime of process $1, in clock ticks.
cputicks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 + $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
hwm() { awk '/^VmHWM/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
tick=$(getconf CLK_TCK)

status=0
for jobs in "${sizes[@]}"; do
  db=$scratch/dpa-$jobs.db
  "$gen" --out "$db" --clients 5000 --policies 400 --jobs "$jobs" --libraries 20 --pools 40 \
    > /dev/null
  echo "== olb-host, all five operations, $jobs jobs (5000 clients in 1-3 of 400 policies," \
    "20 libraries, 40 pools; datastore $(( $(stat -c %s "$db") / 1048576 )) MB)"
  out=$scratch/out work=$scratch/work log=$scratch/debug.log
  rm -rf "$out" "$work" "$log"
  /usr/bin/time -f "%e %U %S %M" -o "$scratch/time" "$host" --registry "$scratch/reg.ini" \
    --datastore "$db" --out "$out" --work-dir "$work" --log "$log" --debug-level 1 \
    > "$scratch/host.txt" 2>&1 &
  timer=$!
  pid=""
  for ((i = 0; i < 100; ++i)); do
    pid=$(cat /proc/$timer/task/*/children 2>/dev/null | awk '{ print $1 }')
    [ -z "$pid" ] || break
    sleep 0.01
  done
  done_ops=0 cpu0=0 hostPeak=0 toolPeak=0
  declare -A opCpu=() opHost=() opTool=()
  while [ -n "$pid" ] && kill -0 "$pid" 2> /dev/null; do
    cpu=$(cputicks "$pid")
    h=$(hwm "$pid")
    [ "${h:-0}" -gt $hostPeak ] && hostPeak=$h
    for child in $(cat /proc/$pid/task/*/children 2> /dev/null); do
      c=$(hwm "$child")
      [ "${c:-0}" -gt $toolPeak ] && toolPeak=$c
    done
    n=$(grep -c 'L1 olb-host: [a-z]* *\(ok\|FAILED\) ' "$log" 2> /dev/null || true)
    while [ "${n:-0}" -gt $done_ops ]; do
      op=${ops[$done_ops]}
      opCpu[$op]=$((cpu - cpu0)) opHost[$op]=$hostPeak opTool[$op]=$toolPeak
      cpu0=$cpu hostPeak=$h toolPeak=0
      { echo 5 > "/proc/$pid/clear_refs"; } 2> /dev/null || true
      done_ops=$((done_ops + 1))
    done
    sleep 0.05
  done
  if ! wait $timer; then
    echo "  olb-host failed:" && sed 's/^/    /' "$scratch/host.txt"
    status=1
    continue
  fi
  read -r wall user sys rss < "$scratch/time"
  total=$(echo "($user + $sys) * $tick / 1" | bc)
  # What the last samples missed belongs to the operations not yet seen.
  for ((k = done_ops; k < ${#ops[@]}; ++k)); do
    opCpu[${ops[$k]}]=$((k == done_ops ? total - cpu0 : 0)) opHost[${ops[$k]}]=$hostPeak
    opTool[${ops[$k]}]=$toolPeak
  done
  printf '  %-9s %8s %8s %9s %9s %10s  %-42s %6s %8s\n' operation "wall s" "CPU s" "host MB" \
    "tool MB" "rows read" records files "MB out"
  # The message files in the order written; each operation's are the next
  # as many as it reports.
  mapfile -t sizes_written < <(cd "$out" && ls -1 | { grep -v '^olb-debug.log$' || true; } |
    sort | while read -r f; do stat -c %s "$f"; done)
  next=0
  for op in "${ops[@]}"; do
    line=$(grep -E "^$op +(ok|FAILED) " "$scratch/host.txt" || true)
    opWall=$(echo "$line" | awk '{ print $3 }')
    records=$(echo "$line" | sed -E 's/^[a-z]+ +[A-Za-z]+ +[0-9.]+ s *//;
      s/ +[0-9]+ files?: .*$//; s/ +no files.*$//' | cut -c1-42)
    mine=$(echo "$line" | grep -oE '[0-9]+ files?:' | grep -oE '[0-9]+' || echo 0)
    bytes=0
    for ((i = 0; i < mine; ++i)); do bytes=$((bytes + ${sizes_written[next + i]:-0})); done
    next=$((next + mine))
    printf '  %-9s %8.2f %8.2f %9d %9d %10d  %-42s %6d %8.1f\n' "$op" "${opWall:-0}" \
      "$(echo "${opCpu[$op]:-0} / $tick" | bc -l)" $((${opHost[$op]:-0} / 1024)) \
      $((${opTool[$op]:-0} / 1024)) "$(rows "$work" ${rowsFile[$op]})" "$records" "$mine" \
      "$(echo "$bytes / 1048576" | bc -l)"
  done
  printf '  %-9s %8.2f %8.2f %9d   (whole run, largest process; per job %.2f us wall, %.2f us CPU;\n' \
    all "$wall" "$(echo "$user + $sys" | bc)" $((rss / 1024)) \
    "$(echo "$wall * 1000000 / $jobs" | bc -l)" "$(echo "($user + $sys) * 1000000 / $jobs" | bc -l)"
  printf '  %-9s %8s %8s %9s    %d MB of messages, debug log at level 1 %d KB)\n' "" "" "" "" \
    $(($(du -sb "$out" | awk '{ print $1 }') / 1048576)) $(($(stat -c %s "$log") / 1024))
  rm -rf "$out" "$work" "$log"
  standin_alone "$db"
  rm -f "$db"
done
exit $status
