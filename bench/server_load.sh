#!/usr/bin/env bash
# WRITERS desktops saving at once for SECONDS against kdr-server, then the check that nothing
# acknowledged was lost (bench_server_load says what it does).
# bench/server_load.sh [BUILD_DIR] [sqlite | postgresql] [WRITERS] [SECONDS] [bulk]
# bulk: a copy to every client (billing types 2, 3 and 4, which the writers leave alone) runs
# through the first third of the load and its undo through the second; afterwards every client's
# parameters other than the writers' own rows must be what the seed left.
# postgresql: a scratch database in the cluster KDR_TEST_PG names (scripts/pg-cluster starts one).
set -euo pipefail
source "$(dirname "$0")/common.sh"
build="${1:-build/default}"
engine="${2:-sqlite}"
writers="${3:-32}"
seconds="${4:-60}"
work=$(mktemp -d /tmp/kdr-bench-load.XXXXXX)
server_pid=""
pg_db=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  [ -n "$pg_db" ] && psql -q "$KDR_TEST_PG" -c "DROP DATABASE IF EXISTS $pg_db WITH (FORCE)" >/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$engine" = postgresql ]; then
  : "${KDR_TEST_PG:?set KDR_TEST_PG to a PostgreSQL cluster (scripts/pg-cluster)}"
  pg_db="kdr_load_$$"
  psql -q "$KDR_TEST_PG" -c "CREATE DATABASE $pg_db ENCODING 'UTF8' TEMPLATE template0" >/dev/null
  url=$(echo "$KDR_TEST_PG" | sed "s#/postgres?#/$pg_db?#")
else
  url="sqlite:$work/kdr.db"
fi

"$build/bin/kdr-server" --db "$url" --port 0 --seed "bulk:$((writers + 10))" >"$work/server.out" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 300); do grep -q listening "$work/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/server.out")
[ -n "$port" ] || { cat "$work/server.log"; exit 1; }
KDR_BENCH_SESSION=$(sign_in "$port")
export KDR_BENCH_SESSION
echo "engine $engine:"
if [ "${5:-}" != bulk ]; then
  "$build/bin/bench_server_load" "$port" "$writers" "$seconds"
  exit
fi
# The seed's rows but the writers' type-1 and type-5 rows: what the copy and its undo must leave.
others() { "$build/bin/kdr-server" export --db "$url" params | awk -F';' '$2 != 1 && $2 != 5'; }
others >"$work/before.csv"
"$build/bin/bench_server_load" "$port" "$writers" "$seconds" &
load_pid=$!
sleep $((seconds / 6))
"$build/bin/kdr-server" copy --db "$url" --model 1 --types 2,3,4 --texts fat,bol --targets T | tee "$work/copy.out"
batch=$(sed -n 's/^Lote \([0-9]*\):.*/\1/p' "$work/copy.out")
sleep $((seconds / 3))
"$build/bin/kdr-server" undo --db "$url" "$batch"
status=0
wait "$load_pid" || status=$?
others >"$work/after.csv"
if cmp -s "$work/before.csv" "$work/after.csv"; then
  echo "copy and undo: every other row as the seed left it ($(wc -l <"$work/after.csv") lines)"
else
  echo "copy and undo: rows differ from the seed's:"; diff "$work/before.csv" "$work/after.csv" | head -20
  status=1
fi
exit "$status"
