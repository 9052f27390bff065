#!/usr/bin/env bash
# The spreadsheet import at scale: a bulk database (CLIENTS clients, two parameter rows each), its
# parameters exported, every invoice text changed, the file checked (--dry-run) and imported:
# the time and peak memory (GNU time's maximum resident set) of each, with the machine's load.
# The import reads its file a record at a time, so its memory should not grow with the file.
# Run by hand: bench/server_import.sh BUILD_DIR [sqlite|postgresql] [CLIENTS] [dry]   (default
# 500000: a million rows; "nodry" leaves the dry run out). PostgreSQL: KDR_BENCH_PG (an admin URL)
# or a throwaway cluster. Besides GNU time's peak (which counts the pages of a SQLite file the
# server maps), the largest anonymous memory (RssAnon) seen, sampled every second.
set -euo pipefail
source "$(dirname "$0")/../scripts/pg-cluster"
build="${1:?build dir}"
engine="${2:-sqlite}"
clients="${3:-500000}"
dry="${4:-dry}"
bin="$build/bin"
source "$(dirname "$0")/common.sh"
bench_begin bench-import kdr_pg_stop

bench_database "$engine" kdr_ibulk
start_server --db "$db" --seed "bulk:$clients"
stop_server
[ "$engine" = sqlite ] || psql "$db" -qc "VACUUM ANALYZE"

measure() { # LABEL COMMAND...: prints the label, seconds and peak memory of the command
  local label="$1"
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out" 2>"$work/err" &
  local pid=$! anon=0 a
  while kill -0 "$pid" 2>/dev/null; do
    a=$(awk '/^RssAnon/ { print $2 }' /proc/"$(pgrep -P "$pid" | head -n 1)"/status 2>/dev/null || echo 0)
    [ "${a:-0}" -gt "$anon" ] && anon=$a
    sleep 1
  done
  wait "$pid" || { head -n 5 "$work/err"; exit 1; }
  read -r seconds kib <"$work/time"
  echo "$label on $engine: ${seconds} s, peak $((kib / 1024)) MiB, anonymous $((anon / 1024)) MiB ($(tail -n 1 "$work/out"))"
}

"$bin/kdr-server" export --db "$db" params >"$work/params.csv"
awk -F';' 'BEGIN { OFS = ";" } NR > 1 { $6 = "Importado " NR } { print }' "$work/params.csv" >"$work/changed.csv"
echo "file: $(($(wc -l <"$work/changed.csv") - 1)) rows, $(($(stat -c %s "$work/changed.csv") / 1048576)) MiB; load: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$dry" = nodry ] || measure "import --dry-run" "$bin/kdr-server" import --db "$db" params "$work/changed.csv" --dry-run
measure "import" "$bin/kdr-server" import --db "$db" params "$work/changed.csv"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
