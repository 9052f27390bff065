#!/usr/bin/env bash
# The desktop's memory with the billing screen open against an empty Qt window: peak resident
# memory (/usr/bin/time -v) of kdr-host in its Qt windows (offscreen platform) running a scenario
# that opens the screen and looks up one client, beside bench_empty_window on the same platform.
# The server holds N bulk clients (SQLite); the host's local copy of the cached tables is filled
# by a run of kdr-host without a script (it ends once every table is whole), so each measured start
# finds it current. The two alternate each round. Each round also shows a first start (a new local
# file: the copy loads behind the screen), for the note, outside the ratio.
#   bench/host_memory.sh BUILD_DIR [ROUNDS] [CLIENTS]     default 5, 10000
# Prints one line per round and "memory-ratio R" (host / empty window) for scripts/bench.
# KDR_BENCH_DIR keeps the server database between runs (shared with bench_server_lookup).
set -euo pipefail
build="$1"
rounds="${2:-5}"
clients="${3:-10000}"
bin="$build/bin"
source "$(dirname "$0")/common.sh"
bench_begin host-memory
data="${KDR_BENCH_DIR:-$work}"
export QT_QPA_PLATFORM=offscreen

start_server --db "sqlite:$data/kdr_lookup_$clients.db" --seed "bulk:$clients"

cat >"$work/screen.kdr" <<'KDR'
call IniProc
type 20000000000002
focus dbgPadrao
assert edtNmCliente.Text = "Cliente 2"
close
KDR

peak_mb() { # command...: its peak resident memory in MB
  /usr/bin/time -v "$@" >"$work/out" 2>"$work/time" || { cat "$work/out" "$work/time" >&2; exit 1; }
  awk -F': ' '/Maximum resident set size/ { printf "%.1f\n", $2 / 1024 }' "$work/time"
}
host() { # [LOCAL_DB]
  peak_mb "$bin/kdr-host" --server 127.0.0.1 --port "$port" --local-db "${1:-$work/local.db}" --script "$work/screen.kdr"
}
empty() { peak_mb "$bin/bench_empty_window"; }

# A run with a script ends after it, before a first load of the copy is whole (and a load cut
# short is not kept): only a run without one fills the copy.
"$bin/kdr-host" --headless --server 127.0.0.1 --port "$port" --local-db "$work/local.db" >/dev/null
for r in $(seq "$rounds"); do
  if [ $((r % 2)) -eq 1 ]; then h=$(host); e=$(empty); else e=$(empty); h=$(host); fi
  rm -f "$work/first.db"
  f=$(host "$work/first.db")
  echo "  round $r: host with the screen open ${h} MB, empty Qt window ${e} MB (first start, copy loading: ${f} MB)"
  echo "memory-ratio $(awk -v h="$h" -v e="$e" 'BEGIN { print h / e }')"
done
