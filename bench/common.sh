# Sourced by the benchmark scripts: a scratch folder and one kdr-server on a free loopback port,
# both gone when the script ends however it ends, and the bulk copy's order.
#   bench_begin NAME [AT_EXIT]  work=$TMPDIR/kdr-NAME.XXXXXX; at exit: the server stopped, the
#                               command AT_EXIT run, the folder removed
#   start_server ARGS...        $bin/kdr-server ARGS --port 0 in the background; sets server_pid
#                               and port (the caller sets bin, the folder of the programs), signs in
#                               as the data's supervisor and exports the key as KDR_BENCH_SESSION
#                               (curl: -H "$auth"); kdr-host signs in through KDR_OPERATOR/KDR_PASSWORD
#   sign_in PORT                the supervisor's session key
#   stop_server
#   copy_order                  the GeraAutomParam order of every billing type, with new texts
#   bench_database ENGINE NAME  sets db to an empty scratch database: $work/NAME.db on sqlite; on
#                               postgresql NAME made anew in KDR_BENCH_PG's cluster, else in a
#                               throwaway one (stopped at exit when AT_EXIT says kdr_pg_stop);
#                               admin: that cluster's URL
bench_begin() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/kdr-$1.XXXXXX")
  server_pid=""
  bench_at_exit="${2:-true}"
  trap 'stop_server; $bench_at_exit; rm -rf "$work"' EXIT
  export KDR_OPERATOR=supervisor KDR_PASSWORD=supervisor
}

start_server() {
  "$bin/kdr-server" "$@" --port 0 >"$work/server.out" 2>"$work/server.err" &
  server_pid=$!
  port=""
  until [ -n "$port" ]; do
    kill -0 "$server_pid" 2>/dev/null || { echo "kdr-server did not start:" >&2; cat "$work/server.err" >&2; exit 1; }
    sleep 0.2
    port=$(sed -n 's/.*listening on [^:]*:\([0-9][0-9]*\)$/\1/p' "$work/server.out")
  done
  KDR_BENCH_SESSION=$(sign_in "$port")
  export KDR_BENCH_SESSION
  auth="Authorization: Bearer $KDR_BENCH_SESSION"
}

sign_in() { # PORT: the key of a session of the data's supervisor (demo and bulk data have one)
  curl -s -X POST -H 'Content-Type: application/json' -d '{"operator":"supervisor","password":"supervisor"}' \
    "http://127.0.0.1:$1/session" | sed -n 's/.*"session":"\([^"]*\)".*/\1/p'
}

stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
  rm -f "$work/server.out"
}

copy_order() {
  local rows="" t
  for t in 1 2 3 4 5 6; do
    rows="$rows${rows:+,}{\"status\":\"inserted\",\"values\":[\"$t\",\"Modelo $t\",\"Boleto modelo $t\"]}"
  done
  echo "{\"fields\":[$(copy_field IDTPFATUCLIE 1),$(copy_field DSFATURCLIE 400),$(copy_field DSBOLETCLIE 400)],\"rows\":[$rows]}"
}
copy_field() { echo "{\"name\":\"$1\",\"type\":\"string\",\"size\":$2,\"required\":false}"; }

bench_database() {
  if [ "$1" = sqlite ]; then
    db="sqlite:$work/$2.db"
    return
  fi
  admin="${KDR_BENCH_PG:-}"
  if [ -z "$admin" ]; then
    kdr_pg_start || { echo "no PostgreSQL cluster could be started"; exit 1; }
    admin="$KDR_TEST_PG"
  fi
  psql "$admin" -qc "DROP DATABASE IF EXISTS $2" -qc "CREATE DATABASE $2"
  db="${admin/\/postgres\?//$2?}"
}
