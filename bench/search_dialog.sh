#!/usr/bin/env bash
# The client search dialog (Qt, offscreen) against a server of N bulk clients: the time to its
# first rows and to the rows of a typed filter, ROUNDS times (bench_search_dialog says how).
#   bench/search_dialog.sh BUILD_DIR [sqlite | postgresql] [ROUNDS] [CLIENTS]   default sqlite, 5, 1000000
# Uses the bulk database bench_server_lookup fills (KDR_BENCH_DIR, or kdr_lookup_N in the
# cluster KDR_BENCH_PG names). Prints "dialog-first MS" and "dialog-filtered MS" per round.
set -euo pipefail
build="$1"
engine="${2:-sqlite}"
rounds="${3:-5}"
clients="${4:-1000000}"
bin="$build/bin"
source "$(dirname "$0")/common.sh"
bench_begin search-dialog
export QT_QPA_PLATFORM=offscreen

# The database exists once bench_server_lookup has measured at that size.
"$bin/bench_server_lookup" --benchmark_filter="GetClienteByNumber/$engine/$clients\$" --benchmark_min_time=0.01 \
  >/dev/null 2>&1
if [ "$engine" = sqlite ]; then
  url="sqlite:${KDR_BENCH_DIR:-/tmp}/kdr_lookup_$clients.db"
else
  url=$(echo "$KDR_BENCH_PG" | sed "s#/postgres?#/kdr_lookup_$clients?#")
fi
start_server --db "$url"
for r in $(seq "$rounds"); do
  "$bin/bench_search_dialog" "$port" "ente 4321" 2>/dev/null >"$work/out"
  first=$(awk '$1 == "first-rows" { print $2 }' "$work/out")
  filtered=$(awk '$1 == "filtered-rows" { print $2 }' "$work/out")
  echo "  round $r: first rows ${first} ms, rows of \"ente 4321\" ${filtered} ms ($engine, $clients clients)"
  echo "dialog-first $first"
  echo "dialog-filtered $filtered"
done
