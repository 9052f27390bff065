#!/usr/bin/env bash
# kdr-host start plus one client lookup against a server of N bulk clients, on one local database
# three times: empty (the cached tables come whole), current (only what changed comes: nothing),
# and after one parameter row changed on the server (that row comes). Prints the wall time and
# peak memory of each start, measured by /usr/bin/time -v.
#   bench/host_start.sh BUILD_DIR [CLIENTS]      default 1000000
# KDR_BENCH_DIR keeps the seeded server database between runs (seeding a million takes a while).
set -euo pipefail
build="$1"
clients="${2:-1000000}"
bin="$build/bin"
work=$(mktemp -d /tmp/kdr-host-start.XXXXXX)
data="${KDR_BENCH_DIR:-$work}"
server_db="$data/host-start-$clients.db"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Client 1 has all six billing types at company 02.
cat >"$work/lookup.kdr" <<'KDR'
call IniProc
type 20000000000001
focus dbgPadrao
assert cdsParamFatCli.RecordCount = 6
close
assert forms = 0
KDR

seed_start=$(date +%s.%N)
"$bin/kdr-server" --db "sqlite:$server_db" --seed "bulk:$clients" --port 0 >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
until grep -q "listening on" "$work/server.out" 2>/dev/null; do
  kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.err"; exit 1; }
  sleep 0.2
done
port=$(sed -n 's/.*listening on [^:]*:\([0-9]*\).*/\1/p' "$work/server.out")
echo "server ready with $clients clients after $(awk -v a="$seed_start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s"

start() { # label
  /usr/bin/time -v "$bin/kdr-host" --headless --server 127.0.0.1 --port "$port" --local-db "$work/local.db" \
    --script "$work/lookup.kdr" >"$work/host.out" 2>"$work/time.txt" || { cat "$work/host.out" "$work/time.txt"; exit 1; }
  awk -v label="$1" -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = (n == 3) ? t[1] * 3600 + t[2] * 60 + t[3] : t[1] * 60 + t[2] }
    /Maximum resident set size/ { kb = $2 }
    END { printf "%-44s %7.2f s  %7.1f MB peak\n", label, s, kb / 1024 }' "$work/time.txt"
}

start "start, empty local copy (whole tables)"
start "start, local copy current"
sqlite3 "$server_db" "UPDATE PARCLIEKDR SET DSFATURCLIE = 'Alterado $(date +%s%N)' WHERE CDCLIENTE = '2' AND IDTPFATUCLIE = '1'"
start "start, one parameter row changed on the server"
