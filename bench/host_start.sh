#!/usr/bin/env bash
# kdr-host start plus one client lookup against a server of N bulk clients, in rounds:
#   an empty local file (the first copies load in the background; the host closes after the
#     lookup and abandons them),
#   the first load of the whole local copy, as the background load does it (bench_host_cache),
#   a current local copy (nothing moves), and one parameter row changed on the server (that row
#     moves).
# Prints min/median/max over the rounds of the wall time and peak memory (/usr/bin/time -v),
# then a save of one parameter row, bare and with the refresh of the local copy after it.
#   bench/host_start.sh BUILD_DIR [CLIENTS] [ROUNDS]      defaults 1000000 and 3
# KDR_BENCH_DIR keeps the seeded server database between runs (seeding a million takes a while).
set -euo pipefail
build="$1"
clients="${2:-1000000}"
rounds="${3:-3}"
bin="$build/bin"
source "$(dirname "$0")/common.sh"
bench_begin host-start
data="${KDR_BENCH_DIR:-$work}"
server_db="$data/host-start-$clients.db"

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
start_server --db "sqlite:$server_db" --seed "bulk:$clients"
echo "server ready with $clients clients after $(awk -v a="$seed_start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s"

# Runs a command under /usr/bin/time and keeps "label|seconds|MB" in the samples.
timed() { # label command...
  local label="$1"
  shift
  /usr/bin/time -v "$@" >"$work/run.out" 2>"$work/time.txt" || { cat "$work/run.out" "$work/time.txt"; exit 1; }
  awk -v label="$label" -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = (n == 3) ? t[1] * 3600 + t[2] * 60 + t[3] : t[1] * 60 + t[2] }
    /Maximum resident set size/ { kb = $2 }
    END { printf "%s|%.3f|%.1f\n", label, s, kb / 1024 }' "$work/time.txt" >>"$work/samples"
}
start() { # label
  timed "$1" "$bin/kdr-host" --headless --server 127.0.0.1 --port "$port" --local-db "$work/local.db" \
    --script "$work/lookup.kdr"
}

for round in $(seq "$rounds"); do
  rm -f "$work"/local.db*
  start "start and a lookup, empty local copy"
  timed "first load of the whole local copy" "$bin/bench_host_cache" load "$port" "$work/local.db"
  start "start and a lookup, local copy current"
  sqlite3 "$server_db" "UPDATE PARCLIEKDR SET DSFATURCLIE = 'Alterado $(date +%s%N)' WHERE CDCLIENTE = '2' AND IDTPFATUCLIE = '1'"
  start "start and a lookup, one parameter row changed"
done

# min/median/max of each label's seconds and peak memory, in the order first measured
awk -F'|' '
  !($1 in n) { order[++labels] = $1 }
  { n[$1]++; s[$1, n[$1]] = $2; m[$1, n[$1]] = $3 }
  function spread(a, label, count,   i, j, t, v) {
    for (i = 1; i <= count; i++) v[i] = a[label, i]
    for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    return sprintf("%8.2f %8.2f %8.2f", v[1], v[int((count + 1) / 2)], v[count])
  }
  END {
    printf "%-46s %-26s %s\n", "", "seconds min/median/max", "peak MB min/median/max"
    for (k = 1; k <= labels; k++) printf "%-46s %s   %s\n", order[k], spread(s, order[k], n[order[k]]), spread(m, order[k], n[order[k]])
  }' "$work/samples"

# Client 1's rows, saved as the billing screen saves them.
"$bin/bench_host_cache" save "$port" "$work/local.db" 20 1
