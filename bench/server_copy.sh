#!/usr/bin/env bash
# GeraAutomParam to every client of a bulk database (client "1" is the model, with all six
# billing types) through kdr-server, beside plain INSERT ... SELECT and UPDATE statements writing
# the same rows and the same history lines, each on its own copy of the same database (same
# engine, indexes and triggers).
# Each round takes fresh copies and alternates which of the two runs first.
#   bench/server_copy.sh BUILD_DIR [sqlite | postgresql] [CLIENTS] [ROUNDS]    default sqlite, 20000, 5
# PostgreSQL: databases in the cluster KDR_BENCH_PG names (an admin URL; scripts/bench sets it).
# KDR_BENCH_DIR keeps the seeded database between runs (SQLite file; PostgreSQL database
# kdr_copy_N as the template of each round's copies).
# Prints one line per round and "copy-ratio R" (server time / plain SQL time) for scripts/bench.
set -euo pipefail
build="${1:-build/default}"
engine="${2:-sqlite}"
clients="${3:-20000}"
rounds="${4:-5}"
source "$(dirname "$0")/common.sh"
bin="$build/bin"
drop_rounds() {
  [ "$engine" = postgresql ] || return 0
  for db in a b; do pg "DROP DATABASE IF EXISTS kdr_copy_round_$db WITH (FORCE)"; done
}
bench_begin bench-copy drop_rounds
data="${KDR_BENCH_DIR:-$work}"

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { print b - a }'; }
pg() { PGOPTIONS="-c client_min_messages=warning" psql -q -v ON_ERROR_STOP=1 "$KDR_BENCH_PG" -c "$1" >/dev/null; }
pg_url() { echo "$KDR_BENCH_PG" | sed "s#/postgres?#/$1?#"; }

order=$(copy_order)

# The same end state by the fewest set-based statements, history included as the copy writes it: one
# line per row replaced (with the texts it had) or added, in the batch's lines table.
baseline_sql="
INSERT INTO KDR_LOTE_LINHA (NRLOTE, CDCLIENTE, IDTPFATUCLIE, CDEMPRESA, IDACAO, DSFATURCLIE, DSBOLETCLIE)
SELECT 0, CDCLIENTE, IDTPFATUCLIE, CDEMPRESA, 'A', DSFATURCLIE, DSBOLETCLIE FROM PARCLIEKDR WHERE CDCLIENTE <> '1';
INSERT INTO KDR_LOTE_LINHA (NRLOTE, CDCLIENTE, IDTPFATUCLIE, CDEMPRESA, IDACAO)
SELECT 0, C.CDCLIENTE, M.IDTPFATUCLIE, M.CDEMPRESA, 'I'
FROM CLIENTE C CROSS JOIN (SELECT * FROM PARCLIEKDR WHERE CDCLIENTE = '1') M
WHERE C.CDCLIENTE <> '1' AND NOT EXISTS (SELECT 1 FROM PARCLIEKDR P
  WHERE P.CDCLIENTE = C.CDCLIENTE AND P.IDTPFATUCLIE = M.IDTPFATUCLIE);
UPDATE PARCLIEKDR SET DSFATURCLIE = 'Modelo ' || IDTPFATUCLIE, DSBOLETCLIE = 'Boleto modelo ' || IDTPFATUCLIE
 WHERE CDCLIENTE <> '1';
INSERT INTO PARCLIEKDR (CDCLIENTE, IDTPFATUCLIE, CDEMPRESA, IDFATURAPFILI, IDFATMESATUCLIE, DSFATURCLIE,
  DSBOLETCLIE, CDTIPOSERV, CDGERENTEIMPCLI, IDGERANFUNIFICA, VRPERCAJUSTEINV)
SELECT C.CDCLIENTE, M.IDTPFATUCLIE, M.CDEMPRESA, M.IDFATURAPFILI, M.IDFATMESATUCLIE, M.DSFATURCLIE,
  M.DSBOLETCLIE, M.CDTIPOSERV, M.CDGERENTEIMPCLI, M.IDGERANFUNIFICA, M.VRPERCAJUSTEINV
FROM CLIENTE C CROSS JOIN (SELECT * FROM PARCLIEKDR WHERE CDCLIENTE = '1') M
WHERE C.CDCLIENTE <> '1' AND NOT EXISTS (SELECT 1 FROM PARCLIEKDR P
  WHERE P.CDCLIENTE = C.CDCLIENTE AND P.IDTPFATUCLIE = M.IDTPFATUCLIE);"

# The seeded database, once: the server fills it and brings it to its schema.
if [ "$engine" = sqlite ]; then
  seeded="sqlite:$data/kdr_copy_$clients.db"
else
  : "${KDR_BENCH_PG:?set KDR_BENCH_PG to a PostgreSQL cluster (an admin URL)}"
  psql -q "$KDR_BENCH_PG" -c "CREATE DATABASE kdr_copy_$clients" >/dev/null 2>&1 || true
  seeded=$(pg_url "kdr_copy_$clients")
fi
start_server --db "$seeded" --seed "bulk:$clients"
stop_server

fresh_copies() { # the seeded database twice: a for the server, b for the plain SQL
  if [ "$engine" = sqlite ]; then
    cp "$data/kdr_copy_$clients.db" "$work/a.db"
    cp "$data/kdr_copy_$clients.db" "$work/b.db"
  else
    for db in a b; do
      pg "DROP DATABASE IF EXISTS kdr_copy_round_$db"
      pg "CREATE DATABASE kdr_copy_round_$db TEMPLATE kdr_copy_$clients"
      psql -q "$(pg_url "kdr_copy_round_$db")" -c "VACUUM ANALYZE" >/dev/null
    done
  fi
}

through_server() {
  if [ "$engine" = sqlite ]; then start_server --db "sqlite:$work/a.db"; else start_server --db "$(pg_url kdr_copy_round_a)"; fi
  local t0
  t0=$(now)
  curl -sf --max-time 3600 -X POST -H "$auth" -H 'Content-Type: application/json' -d "{\"args\":[\"T\",\"1\",$order]}" \
    "http://127.0.0.1:$port/KDR03020.rdmParamFatCli/GeraAutomParam" >"$work/answer.json" ||
    { cat "$work/answer.json" "$work/server.err" >&2; exit 1; }
  since "$t0"
  stop_server
}

plain_sql() {
  local t0
  t0=$(now)
  if [ "$engine" = sqlite ]; then
    sqlite3 "$work/b.db" "PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL; BEGIN IMMEDIATE; $baseline_sql COMMIT;"
  else
    psql -q -v ON_ERROR_STOP=1 "$(pg_url kdr_copy_round_b)" -c "BEGIN; $baseline_sql COMMIT;"
  fi
  since "$t0"
}

for r in $(seq "$rounds"); do
  fresh_copies
  if [ $((r % 2)) -eq 1 ]; then s=$(through_server); b=$(plain_sql); else b=$(plain_sql); s=$(through_server); fi
  echo "  round $r: GeraAutomParam ${s} s, plain SQL with the history lines ${b} s ($clients clients, $engine)"
  echo "copy-ratio $(awk -v s="$s" -v b="$b" 'BEGIN { print s / b }')"
done
