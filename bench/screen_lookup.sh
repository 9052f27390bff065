#!/usr/bin/env bash
# A client lookup through the billing screen against its bare round trips, on a server of N bulk
# clients (SQLite). The screen: kdr-host --headless runs a scenario that types LOOKUPS
# registration numbers into the screen and leaves the edit after each (GetCliente by number, then
# GetParamFatCli of the client found, decoded into the screen's datasets and grid); the same
# scenario without the lookups is timed too, and the difference is the lookups' time. The bare
# round trips: the same calls posted directly (bench_wire_calls). The two alternate each round.
#   bench/screen_lookup.sh BUILD_DIR [ROUNDS] [CLIENTS] [LOOKUPS]     default 5, 10000, 1000
# Prints one line per round and "screen-ratio R" (screen time / bare time) for scripts/bench.
# KDR_BENCH_DIR keeps the server database between runs (shared with bench_server_lookup).
set -euo pipefail
build="$1"
rounds="${2:-5}"
clients="${3:-10000}"
lookups="${4:-1000}"
bin="$build/bin"
source "$(dirname "$0")/common.sh"
bench_begin screen-lookup
data="${KDR_BENCH_DIR:-$work}"

start_server --db "sqlite:$data/kdr_lookup_$clients.db" --seed "bulk:$clients"

# Bulk client I has the registration number 20000000000000 + I; clients spread over the table.
{
  echo "call IniProc"
  for i in $(seq "$lookups"); do
    client=$((1 + (i * 7919) % clients))
    [ "$i" -gt 1 ] && { echo "focus medNrInsJurClie"; for _ in $(seq 14); do echo "key Backspace"; done; }
    echo "type $((20000000000000 + client))"
    echo "focus dbgPadrao"
    echo "assert edtNmCliente.Text = \"Cliente $client\""
    echo "/KDR03020.rdmParamFatCli/GetCliente {\"args\":[\"$((20000000000000 + client))\",\"\"]}" >>"$work/calls"
    echo "/KDR03020.rdmParamFatCli/GetParamFatCli {\"args\":[\"$client\"]}" >>"$work/calls"
  done
  echo "close"
} >"$work/lookups.kdr"
printf 'call IniProc\nclose\n' >"$work/open.kdr"

host() { # script: prints its seconds
  local start
  start=$(date +%s.%N)
  "$bin/kdr-host" --headless --server 127.0.0.1 --port "$port" --local-db "$work/local.db" --script "$1" \
    >"$work/host.out" 2>&1 || { cat "$work/host.out" >&2; exit 1; }
  awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }'
}
screen() { echo "$(host "$work/lookups.kdr") $(host "$work/open.kdr")" | awk '{ print $1 - $2 }'; }
bare() { "$bin/bench_wire_calls" "$port" "$work/calls"; }

host "$work/open.kdr" >/dev/null # fills the host's local copy of the cached tables
for r in $(seq "$rounds"); do
  if [ $((r % 2)) -eq 1 ]; then s=$(screen); b=$(bare); else b=$(bare); s=$(screen); fi
  awk -v r="$r" -v s="$s" -v b="$b" -v n="$lookups" \
    'BEGIN { printf "  round %d: screen %.2f ms, bare %.2f ms per lookup\n", r, s * 1000 / n, b * 1000 / n }'
  echo "screen-ratio $(awk -v s="$s" -v b="$b" 'BEGIN { print s / b }')"
done
