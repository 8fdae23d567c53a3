#!/usr/bin/env bash
# End-to-end figures: generates datastores of 100k and 1M jobs (sizes can be
# given: bench/e2e.sh BUILD_DIR [JOBS...]) and runs olb-host on each as an
# operator does, at debug level 1.
#
# olb-host keeps what one operation learns for the next (clients before jobs,
# jobs before media), so an operation cannot run alone. The figures per
# operation therefore come from runs of growing prefixes of the operation
# list on the same datastore: "config", "config clients", ... up to all five.
# An operation's wall and CPU time (user + system, olb-host and the sqlplus
# stand-in together) are the difference between the prefix that ends with it
# and the one before; its peak resident size is that of the prefix run (the
# largest single process of the tree, olb-host or the stand-in). Rows read are
# the lines of the tool's output file for the operation, records are
# olb-host's own counts, bytes the sizes of the message files it wrote. The
# last prefix is the whole run. The stand-in's own peak is also measured
# alone on the two large queries.
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
cat > "$scratch/reg.ini" <<'INI'
[kRelayUnit]
sDPAUSER=dpa
sDPAPASSWORD=dpa-demo-58
sDPADBNAME=apollo
sDPAINSTALLDIR=/opt/emc/dpa/services/datastore/engine/bin
sDPAEXENAME=psql
[~kRelayUnit]
nDPADBTYPE=1
nDPADBPORT=9003
INI

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

status=0
for jobs in "${sizes[@]}"; do
  db=$scratch/dpa-$jobs.db
  "$gen" --out "$db" --clients 5000 --policies 400 --jobs "$jobs" --libraries 20 --pools 40 \
    > /dev/null
  echo "== olb-host, all five operations, $jobs jobs (5000 clients in 1-3 of 400 policies," \
    "20 libraries, 40 pools; datastore $(( $(stat -c %s "$db") / 1048576 )) MB)"
  printf '  %-9s %8s %8s %8s %10s  %-44s %8s %7s\n' operation "wall s" "CPU s" "peak MB" \
    "rows read" records files "MB out"
  prevWall=0 prevCpu=0 prevFiles=""
  for ((k = 0; k < ${#ops[@]}; ++k)); do
    op=${ops[$k]}
    out=$scratch/out-$k work=$scratch/work-$k
    rm -rf "$out" "$work"
    if ! /usr/bin/time -f "%e %U %S %M" -o "$scratch/time" "$host" --registry "$scratch/reg.ini" \
      --datastore "$db" --out "$out" --work-dir "$work" --debug-level 1 "${ops[@]:0:k+1}" \
      > "$scratch/host.txt" 2>&1; then
      echo "  $op: olb-host failed:" && sed 's/^/    /' "$scratch/host.txt"
      status=1
      break
    fi
    read -r wall user sys rss < "$scratch/time"
    cpu=$(echo "$user + $sys" | bc)
    # This operation's files: those the previous prefix had not written.
    files=$(cd "$out" && ls -1 | { grep -v "^olb-debug.log$" || true; } | sort)
    mine=$(comm -13 <(echo "$prevFiles") <(echo "$files") | grep . || true)
    bytes=0
    for f in $mine; do bytes=$((bytes + $(stat -c %s "$out/$f"))); done
    # olb-host's counts for the operation: the words between its time and
    # its files ("5001 clients, 14964 policies").
    records=$({ grep -E "^$op +ok " "$scratch/host.txt" || true; } | sed -E 's/^[a-z]+ +ok +[0-9.]+ s *//;
      s/ +[0-9]+ files?: .*$//; s/ +no files.*$//' | cut -c1-44)
    printf '  %-9s %8.2f %8.2f %8d %10d  %-44s %8d %7.1f\n' "$op" "$(echo "$wall - $prevWall" | bc)" \
      "$(echo "$cpu - $prevCpu" | bc)" $((rss / 1024)) "$(rows "$work" ${rowsFile[$op]})" \
      "$records" "$(echo "$mine" | grep -c . || true)" "$(echo "$bytes / 1048576" | bc -l)"
    prevWall=$wall prevCpu=$cpu prevFiles=$files
    [ $k -gt 0 ] && rm -rf "$scratch/out-$((k - 1))" "$scratch/work-$((k - 1))"
  done
  if [ $status -eq 0 ]; then
    log=$(stat -c %s "$out/olb-debug.log")
    printf '  %-9s %8.2f %8.2f %8d   (whole run; %.2f us wall per job; debug log %d KB)\n' all \
      "$prevWall" "$prevCpu" $((rss / 1024)) "$(echo "$prevWall * 1000000 / $jobs" | bc -l)" \
      $((log / 1024))
  fi
  rm -rf "$scratch"/out-* "$scratch"/work-*
  standin_alone "$db"
  rm -f "$db"
done
exit $status
