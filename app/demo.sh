#!/usr/bin/env bash
# The demo: builds the embedded demo datastore, writes a registry for it and
# runs every discovery operation through olb-host into a fresh output
# directory.
#   app/demo.sh BUILD_DIR       in the source tree (make demo): into demo-out/
#   <prefix>/share/olb/demo.sh  installed: into $OLB_DEMO_OUT (default
#                               ./olb-demo-out)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ $# -eq 0 ] && [ -f "$here/schema.sql" ]; then
  prefix=$(cd "$here/../.." && pwd)
  host=$prefix/bin/olb-host
  dbtool=$prefix/bin/olb-dpa-db
  sqldir=$here
  out=${OLB_DEMO_OUT:-$PWD/olb-demo-out}
  case $out in /*) ;; *) out=$PWD/$out ;; esac
  state=$out.state
else
  root=$(cd "$here/.." && pwd)
  build=${1:?usage: app/demo.sh BUILD_DIR}
  case $build in /*) ;; *) build=$root/$build ;; esac
  host=$build/app/olb-host
  dbtool=$build/datastore/olb-dpa-db
  sqldir=$root/datastore
  out=$root/demo-out
  state=$build/demo
fi
for program in "$host" "$dbtool"; do
  if [ ! -x "$program" ]; then
    echo "demo: $program is missing; build first (make build)" >&2
    exit 2
  fi
done

rm -rf "$out"
mkdir -p "$out"
mkdir -p "$state"
chmod 700 "$state"

db=$state/dpa-demo.db
echo "Creating the demo datastore $db"
"$dbtool" "$db" "$sqldir/schema.sql" "$sqldir/demo.sql"

# The agent's registry as the host would keep it (datastore/demo-registry.ini):
# the login of the demo datastore, where psql would lie (unused by the
# SQL*Plus collectors), the database type and port.
registry=$state/registry.ini
(
umask 077
cp "$sqldir/demo-registry.ini" "$registry"
)

echo "Running every discovery operation (olb-host --datastore ...)"
echo
status=0
"$host" --registry "$registry" --datastore "$db" --out "$out" --debug-level 5 \
  config clients jobs media policies || status=$?

echo
echo "Message files: $out"
ls -1 "$out" | sed 's/^/  /'
exit $status
