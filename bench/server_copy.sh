#!/usr/bin/env bash
# GeraAutomParam to every client of a bulk database (client "1" is the model, with all six
# billing types), beside plain UPDATE and INSERT ... SELECT statements writing the same rows on a
# copy of the same database, same engine, same indexes.
# Run by hand: bench/server_copy.sh [BUILD_DIR] [sqlite|postgresql] [CLIENTS]
# PostgreSQL: uses KDR_BENCH_PG (an admin URL) or, as root, starts a throwaway cluster.
set -euo pipefail
build="${1:-build/default}"
engine="${2:-sqlite}"
clients="${3:-1000000}"
work=$(mktemp -d /tmp/kdr-bench-copy.XXXXXX)
server_pid=""
pgdir=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  [ -n "$pgdir" ] && runuser -u postgres -- pg_ctl -D "$pgdir/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$work" ${pgdir:+"$pgdir"}
}
trap cleanup EXIT

now() { date +%s.%N; }

start_server() { # DB_URL [ARGS...]
  "$build/bin/kdr-server" --db "$@" --port 0 >"$work/server.out" 2>"$work/server.log" &
  server_pid=$!
  until grep -q listening "$work/server.out" 2>/dev/null; do
    kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.log"; exit 1; }
    sleep 0.2
  done
  port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/server.out")
}
stop_server() { kill "$server_pid"; wait "$server_pid" || true; server_pid=""; rm -f "$work/server.out"; }

field() { echo "{\"name\":\"$1\",\"type\":\"string\",\"size\":$2,\"required\":false}"; }
rows=""
for t in 1 2 3 4 5 6; do
  rows="$rows${rows:+,}{\"status\":\"inserted\",\"values\":[\"$t\",\"Modelo $t\",\"Boleto modelo $t\"]}"
done
order="{\"fields\":[$(field IDTPFATUCLIE 1),$(field DSFATURCLIE 400),$(field DSBOLETCLIE 400)],\"rows\":[$rows]}"

baseline_sql="
UPDATE PARCLIEKDR SET DSFATURCLIE = 'Modelo ' || IDTPFATUCLIE, DSBOLETCLIE = 'Boleto modelo ' || IDTPFATUCLIE
 WHERE CDCLIENTE <> '1';
INSERT INTO PARCLIEKDR (CDCLIENTE, IDTPFATUCLIE, CDEMPRESA, IDFATURAPFILI, IDFATMESATUCLIE, DSFATURCLIE,
  DSBOLETCLIE, CDTIPOSERV, CDGERENTEIMPCLI, IDGERANFUNIFICA, VRPERCAJUSTEINV)
SELECT C.CDCLIENTE, M.IDTPFATUCLIE, M.CDEMPRESA, M.IDFATURAPFILI, M.IDFATMESATUCLIE, M.DSFATURCLIE,
  M.DSBOLETCLIE, M.CDTIPOSERV, M.CDGERENTEIMPCLI, M.IDGERANFUNIFICA, M.VRPERCAJUSTEINV
FROM CLIENTE C CROSS JOIN (SELECT * FROM PARCLIEKDR WHERE CDCLIENTE = '1') M
WHERE C.CDCLIENTE <> '1' AND NOT EXISTS (SELECT 1 FROM PARCLIEKDR P
  WHERE P.CDCLIENTE = C.CDCLIENTE AND P.IDTPFATUCLIE = M.IDTPFATUCLIE);"

if [ "$engine" = sqlite ]; then
  url="sqlite:$work/bulk.db"
else
  admin="${KDR_BENCH_PG:-}"
  if [ -z "$admin" ]; then
    pgdir=$(mktemp -d /tmp/kdr-bench-pg.XXXXXX)
    chown postgres "$pgdir"
    runuser -u postgres -- initdb -D "$pgdir/data" -U postgres --auth=trust -E UTF8 --no-locale >/dev/null
    runuser -u postgres -- pg_ctl -D "$pgdir/data" -o "-k $pgdir -c listen_addresses='' -c max_wal_size=4GB" \
      -l "$pgdir/server.log" -w start >/dev/null
    admin="postgresql://postgres@/postgres?host=$pgdir"
  fi
  psql "$admin" -qc "CREATE DATABASE kdr_bulk"
  url="${admin/\/postgres\?//kdr_bulk?}"
fi

t0=$(now)
start_server "$url" --seed "bulk:$clients"
stop_server
echo "seed bulk:$clients on $engine: $(echo "$(now) - $t0" | bc) s"

if [ "$engine" = sqlite ]; then
  cp "$work/bulk.db" "$work/base.db"
else
  psql "$admin" -qc "CREATE DATABASE kdr_base TEMPLATE kdr_bulk"
  psql "$url" -qc "VACUUM ANALYZE"
  psql "${admin/\/postgres\?//kdr_base?}" -qc "VACUUM ANALYZE"
fi

start_server "$url"
t0=$(now)
curl -s --max-time 3600 -X POST -H 'Content-Type: application/json' \
  -d "{\"args\":[\"T\",\"1\",$order]}" "http://127.0.0.1:$port/KDR03020.rdmParamFatCli/GeraAutomParam" \
  >"$work/answer.json"
server_s=$(echo "$(now) - $t0" | bc)
stop_server
echo "GeraAutomParam: ${server_s} s, answer $(head -c 300 "$work/answer.json" | sed 's/.*"rows":\[\(.*\)\]}.*/\1/')"

t0=$(now)
if [ "$engine" = sqlite ]; then
  sqlite3 "$work/base.db" "PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL; BEGIN IMMEDIATE; $baseline_sql COMMIT;"
else
  psql "${admin/\/postgres\?//kdr_base?}" -q -v ON_ERROR_STOP=1 -c "BEGIN; $baseline_sql COMMIT;"
fi
base_s=$(echo "$(now) - $t0" | bc)
echo "plain UPDATE + INSERT ... SELECT: ${base_s} s"
echo "ratio: $(echo "scale=2; $server_s / $base_s" | bc)"
