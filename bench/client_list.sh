#!/usr/bin/env bash
# The automatic registration's client list (Qt, offscreen) over a local copy of N bulk clients:
# the time to its first rows, the time to mark two clients found by typing and confirm, and the
# peak memory of the process, ROUNDS times (bench_client_list says how).
#   bench/client_list.sh BUILD_DIR [ROUNDS] [CLIENTS]      default 5, 1000000
# The local copy is filled once by the host's own first load (bench_host_cache load) from a server
# over the bulk database bench_server_lookup fills, and kept in KDR_BENCH_DIR as local_N.db.
# Prints one line per round and "list-shown MS", "list-chosen MS", "list-peak MB" and
# "list-typed-worst MS" (the slowest of several kinds of filter to show its rows) for scripts/bench.
set -euo pipefail
build="$1"
rounds="${2:-5}"
clients="${3:-1000000}"
bin="$build/bin"
source "$(dirname "$0")/common.sh"
bench_begin client-list
data="${KDR_BENCH_DIR:-$work}"
export QT_QPA_PLATFORM=offscreen

local_db="$data/local_$clients.db"
if [ ! -s "$local_db" ]; then
  "$bin/bench_server_lookup" --benchmark_filter="GetClienteByNumber/sqlite/$clients\$" \
    --benchmark_min_time=0.01 >/dev/null 2>&1
  start_server --db "sqlite:$data/kdr_lookup_$clients.db"
  "$bin/bench_host_cache" load "$port" "$local_db.part"
  stop_server
  mv "$local_db.part" "$local_db"
fi

for r in $(seq "$rounds"); do
  "$bin/bench_client_list" "$local_db" >"$work/out"
  shown=$(awk '$1 == "list-shown" { print $2 }' "$work/out")
  rows=$(awk '$1 == "list-shown" { print $3 }' "$work/out")
  chosen=$(awk '$1 == "list-chosen" { print $2 }' "$work/out")
  peak=$(awk '$1 == "peak-mb" { print $2 }' "$work/out")
  echo "  round $r: list shown in ${shown} ms (${rows} rows), two found and confirmed in ${chosen} ms, peak ${peak} MB ($clients clients)"
  echo "list-shown $shown"
  echo "list-chosen $chosen"
  echo "list-peak $peak"
  # Each kind of text a user types, each showing its first rows: one and two characters and a
  # long text no client holds, LIKE's own characters, few clients, many.
  "$bin/bench_client_list" "$local_db" q qz Fornecedor _ "50%" "Cliente 98765" "Cliente 9" >"$work/out"
  awk '$1 == "list-typed" { t = $4; for (i = 5; i <= NF; i++) t = t " " $i;
         printf "  round %s: \"%s\" shows %d rows in %s ms\n", r, t, $3, $2 }' r="$r" "$work/out"
  awk '$1 == "list-typed" && $2 > worst { worst = $2 } END { print "list-typed-worst " worst }' "$work/out"
done
