#!/usr/bin/env bash
# WRITERS desktops saving at once for SECONDS against kdr-server, then the check that nothing
# acknowledged was lost (bench_server_load says what it does).
# bench/server_load.sh [BUILD_DIR] [sqlite | postgresql] [WRITERS] [SECONDS]
# postgresql: a scratch database in the cluster KDR_TEST_PG names (scripts/pg-cluster starts one).
set -euo pipefail
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
echo "engine $engine:"
"$build/bin/bench_server_load" "$port" "$writers" "$seconds"
